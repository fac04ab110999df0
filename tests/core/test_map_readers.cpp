// The FOU, GRD and MT1 readers against files written here and the input each must stop at;
// the text scanner's three kinds of read under the text formats, and the lenient field rule.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "../test_files.h"
#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

using namespace test_support;

// Distinct for every grid point, negative and positive, so any mix-up of order shows.
float DefaultValue(int x, int y, int z) { return float(100 * x + 10 * y + z) - 250.25f; }

// Shortest text that reads back as exactly `v`.
std::string NumberText(float v) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// `text` with `from` replaced by `to` at its one place.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    EXPECT_EQ(text.find(from), text.rfind(from)) << from;
    return text.replace(text.find(from), from.size(), to);
}

// An atom as a file gives it (its label or line) and as the map must hold it.
struct FileAtom {
    std::string text, name;
    std::array<double, 3> position;   // in the file's frame
};

// Header, grid and atoms of a map given in a crystal cell (FOU, MT1), as the tests write them.
struct CellMapContents {
    std::array<std::array<float, 3>, 3> matrix{
        {{5.5f, -3.125f, 1.25f}, {0.5f, 5.375f, -0.75f}, {-0.25f, 0.125f, 7.5f}}};
    std::array<float, 3> origin{0.125f, -0.25f, 0.5f};
    std::array<float, 6> cell{5.5f, 6.25f, 7.75f, 80.0f, 95.5f, 120.0f};
    std::array<std::array<float, 2>, 3> axes{{{-1.5f, 0.25f}, {0.5f, 0.375f}, {2.0f, 0.75f}}};   // first, step
    std::array<int, 3> n{3, 4, 2};
    int itemsPerRecord = 14;
    std::function<float(int, int, int)> value = DefaultValue;
    std::vector<FileAtom> atoms{
        {"C", "C   ", {0.1, 0.2, 0.3}}, {"Fe", "Fe  ", {0.5, -0.25, 1.125}}, {"O1", "O1  ", {-0.75, 0.875, 0.0625}}};
};

// The header as written; every value in its memory slot (x fastest, then y, then z), and the
// value range; each atom named, it and the corners of the fractional unit cell (bottom face in
// cyclic order, then the top) moved into the grid frame: matrix * (f - origin) worked in double.
void ExpectMap(const CellMapContents& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(map.cellMatrix(i, j), f.matrix[size_t(i - 1)][size_t(j - 1)]);
    EXPECT_EQ(map.mapOrigin, (Vec3{f.origin[0], f.origin[1], f.origin[2]}));
    EXPECT_EQ(map.cellParams, f.cell);
    for (int a = 1; a <= 3; ++a)
        EXPECT_EQ((std::array{map.gridParams(a), map.gridParams(3 + a), map.gridParams(6 + a)}),
                  (std::array{float(f.n[size_t(a - 1)]), f.axes[size_t(a - 1)][0], f.axes[size_t(a - 1)][1]}));
    ASSERT_EQ((std::array{map.grid.nx(), map.grid.ny(), map.grid.nz()}), f.n);
    float lowest = INFINITY, highest = -INFINITY;
    size_t slot = 0;
    for (int z = 1; z <= f.n[2]; ++z)
        for (int y = 1; y <= f.n[1]; ++y)
            for (int x = 1; x <= f.n[0]; ++x, ++slot) {
                const float v = f.value(x, y, z);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                ASSERT_EQ(map.grid.values()[slot], v) << x << "," << y << "," << z;
            }
    EXPECT_EQ(map.gridParams.minValue(), lowest);
    EXPECT_EQ(map.gridParams.maxValue(), highest);
    ASSERT_EQ(map.atoms.size(), f.atoms.size());
    std::vector<std::pair<Vec3, std::array<double, 3>>> places;   // as read, as in the file
    for (size_t k = 0; k < f.atoms.size(); ++k) {
        EXPECT_EQ(map.atoms[k].name, f.atoms[k].name);
        places.push_back({map.atoms[k].position, f.atoms[k].position});
    }
    const std::array<double, 3> corners[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                             {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (size_t c = 0; c < 8; ++c) places.push_back({map.cellCorners[c], corners[c]});
    for (size_t k = 0; k < places.size(); ++k)
        for (size_t i = 0; i < 3; ++i) {
            double want = 0.0;
            for (size_t j = 0; j < 3; ++j) want += double(f.matrix[i][j]) * (places[k].second[j] - double(f.origin[j]));
            EXPECT_NEAR(places[k].first[int(i)], want, 1e-5 * (1.0 + std::fabs(want))) << "atom, then corner " << k;
        }
}

// FOU and MT1 files hold the same items in the same order, as text lines or as binary words; `out` writes groups of
// numbers, counts, what the reader skips (bytes or a line), a Z section's head and an atom label.
template <class Out>
std::string WriteCellMap(const CellMapContents& f, Out out) {
    out.gap(38, "Test map, first title line");
    out.gap(0, "second title line");
    for (const auto& row : f.matrix) out.numbers({row[0], row[1], row[2]});
    out.numbers({f.origin[0], f.origin[1], f.origin[2]});
    out.gap(6, "1 2 3 after the origin");
    out.numbers(std::vector<float>(f.cell.begin(), f.cell.end()));
    out.gap(6, "4 5 6 after the cell constants");
    for (const auto& [first, step] : f.axes) out.numbers({first, step, out.unused, out.unused});
    out.gap(6, "7 8 9 after the axes");
    out.counts({f.n[0], f.n[1], f.n[2]});
    for (int z = 1; z <= f.n[2]; ++z) {
        out.section(z);
        for (int x = 1; x <= f.n[0]; ++x) {
            std::vector<float> column;   // y runs fastest in the file
            for (int y = 1; y <= f.n[1]; ++y) column.push_back(f.value(x, y, z));
            out.numbers(column);
        }
    }
    out.gap(6, "4 5 6 atoms follow");
    out.counts({int(f.atoms.size()), f.itemsPerRecord});
    for (const FileAtom& atom : f.atoms) {
        out.label(atom.text);
        out.numbers(std::vector<float>(3, out.unused));
        out.numbers({float(atom.position[0]), float(atom.position[1]), float(atom.position[2])});
        out.numbers(std::vector<float>(7, out.unused));
        for (int item = 14; item < f.itemsPerRecord; ++item) out.gap(0, "Q 9.5 9.5 9.5");
    }
    return out.text;
}

const std::string kFouPath = "/maps/test.fou";

// A FOU file, with the ways of writing it that the reader must accept.
struct FouFile : CellMapContents {
    std::string separator = " ", lineEnd = "\r\n";
    bool commaBeforeSkippedLines = false;   // then a skipped line is the rest of the numbers' own line
};

struct FouOut {
    const FouFile& f;
    std::string text;
    bool afterNumbers = false;
    float unused = 81.5f;
    void line(const std::string& s) {
        text += s + f.lineEnd;
        afterNumbers = false;
    }
    void numbers(const std::vector<float>& values) {
        std::string s;
        for (size_t i = 0; i < values.size(); ++i) s += (i > 0 ? f.separator : "") + NumberText(values[i]);
        line(s);
        afterNumbers = true;
    }
    void counts(const std::vector<int>& values) { numbers(std::vector<float>(values.begin(), values.end())); }
    void gap(int, const std::string& filler) {   // filler that must not be read as numbers
        if (f.commaBeforeSkippedLines && afterNumbers)
            text.insert(text.size() - f.lineEnd.size(), ",");
        else
            line(filler);
        afterNumbers = false;
    }
    void section(int z) {
        gap(0, "1 2 3 section " + std::to_string(z));
        numbers({float(z + 5000)});   // the section number, far beyond any value
    }
    void label(const std::string& s) { line(s); }
};

std::string WriteFou(const FouFile& f) { return WriteCellMap(f, FouOut{f, {}}); }

TEST(FouReader, EveryWayOfWritingReadsTheSame) {
    for (const std::string separator : {" ", ",", " \t, ", "\n"})
        for (const std::string lineEnd : {"\r\n", "\r", "\n"})
            for (const bool comma : {false, true})
                for (const int threads : {1, 3}) {   // three: more threads than sections
                    FouFile f;
                    f.separator = separator == "\n" ? lineEnd : separator;
                    f.lineEnd = lineEnd;
                    f.commaBeforeSkippedLines = comma;
                    f.itemsPerRecord = 16;
                    SCOPED_TRACE(testing::Message() << "separator size " << separator.size() << ", comma " << comma
                                                    << ", threads " << threads);
                    ExpectMap(f, ParseFouMap(WriteFou(f), kFouPath, {threads}));
                }
}

TEST(FouReader, BadInputStopsWithItsMessage) {
    const std::string file = WriteFou(FouFile{});
    const std::string inFile = "The map file " + kFouPath + " ",
                      label = "Your atom name looks strange, name lengh  <> [1,2,3,4]";
    const std::pair<std::string, std::string> cases[] = {
        {Replaced(file, "\n3 4 2\r", "\n3 4 32768\r"),
         inFile + "declares nz = 32768; a grid needs 1 to 32767 points on each axis."},
        {Replaced(file, "\n3 4 2\r", "\nabc 4 2\r"),
         inFile + "holds \"abc\" where a whole number belongs (nx, line 14)."},
        {Replaced(file, "\n3 14\r", "\n4 14\r"), inFile + "ends early (reading an atom label)."},
        {Replaced(file, "\nFe\r", "\n\r"), label},
        {Replaced(file, "\nFe\r", "\nABCDE\r"), label},
        {Replaced(file, "\nFe\r", "\nC    \r"), label}};
    for (const auto& [text, message] : cases)   // the messages as far as given
        EXPECT_EQ(StopMessage([&in = text] { ParseFouMap(in, kFouPath); }).substr(0, message.size()), message);
    ExpectHolds(StopMessage([] { ReadFouMap("/nonexistent-tivarel-dir/missing.fou"); }),
                {"/nonexistent-tivarel-dir/missing.fou"});
}

// From a million values on, the sections are read on every core. On one thread and on several a map reads the same to
// the bit, and a fault stops it with the same message: the one a single reading meets first, however late in the file
// it lies, whichever thread reads it.
TEST(FouReader, SeveralThreadsReadWhatOneThreadReads) {
    for (const bool comma : {false, true}) {
        SCOPED_TRACE(testing::Message() << "comma " << comma);
        FouFile big;
        big.n = {64, 64, 256};
        big.separator = comma ? "," : " ";
        big.lineEnd = comma ? "\n" : "\r\n";
        big.commaBeforeSkippedLines = comma;
        // Halvings give long decimals and exponents. Two marked values, in sections that two and three threads read on
        // different threads, the first the largest value (no other value ends in .125 above 4096).
        big.value = [](int x, int y, int z) {
            if (x == 5 && y == 7 && z == 100) return 9321.125f;
            if (x == 9 && y == 3 && z == 250) return 4320.125f;
            return DefaultValue(x, y, z) / float(1 << (z % 24));
        };
        const std::string file = WriteFou(big);
        const DensityMap one = ParseFouMap(file, kFouPath, {1});
        ExpectMap(big, one);
        for (const int threads : {0, 2, 3}) {
            const DensityMap map = ParseFouMap(file, kFouPath, {threads});
            EXPECT_TRUE(map.grid.values() == one.grid.values() && map.gridParams.p == one.gridParams.p) << threads;
        }
        const size_t first = file.find("9321.125"), second = file.find("4320.125"), mark = 8;
        const auto where = [&](size_t at) {   // the line, counted by line ends
            const auto lineEnds = std::count(file.begin(), file.begin() + long(at), '\n');
            return " (the Z section values, line " + std::to_string(1 + lineEnds) + ").";
        };
        const auto marked = [&](const std::string& atFirst, const std::string& atSecond) {
            return file.substr(0, first) + atFirst + file.substr(first + mark, second - first - mark) + atSecond +
                   file.substr(second + mark);
        };
        const std::string inFile = "The map file " + kFouPath + " ";
        const std::pair<std::string, std::string> cases[] = {
            {marked("1", "43x0.125"), inFile + "holds \"43x0.125\" where a number belongs" + where(second)},
            {marked("10000.5", "4x"), "Your input data looks strange, ZOL > 10000"},
            {marked("4x", "-10001"), inFile + "holds \"4x\" where a number belongs" + where(first)},
            {file.substr(0, second), inFile + "ends early (reading the Z section values)."}};
        for (const auto& [text, message] : cases)
            for (const int threads : {1, 2, 3})
                EXPECT_EQ(StopMessage([&in = text, threads] { ParseFouMap(in, kFouPath, {threads}); }), message)
                    << threads << " threads";
    }
}

const std::string kGrdPath = "/maps/test.grd";

// An atom line with the element in column 1 and the coordinate texts `shift` columns into
// their nine-column fields, which start at columns 10, 20 and 30.
FileAtom Atom(const std::string& element, const std::array<std::string, 3>& fields, std::array<double, 3> position,
              int shift = 0) {
    FileAtom atom{element, element.substr(0, 1) + "   ", position};
    for (size_t a = 0; a < 3; ++a) {
        atom.text.resize(size_t(9 + 10 * a + shift), ' ');
        atom.text += fields[a];
    }
    return atom;
}

// A box map: no cell (identity matrix, unit constants), the grid starting at the box's corner, centre - length / 2,
// with steps length / (n - 1). By default that corner is the file frame's origin.
struct GrdFile : CellMapContents {
    std::array<float, 3> centre{1.5f, 2.5f, 3.5f}, length{3.0f, 5.0f, 7.0f};
    std::string lineEnd = "\r\n", separator = " ";
    int valuesPerLine = 10;
    GrdFile() {
        matrix = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        origin = {0, 0, 0};
        cell = {1, 1, 1, 1, 1, 1};
        n = {4, 3, 2};
        axes = {{{0, 1}, {0, 2.5f}, {0, 7}}};
        atoms = {Atom("C", {"1.000", "2.000", "3.000"}, {1, 2, 3}),
                 Atom("Fe", {"-0.5", "12.25", "0"}, {-0.5, 12.25, 0}, 4),
                 Atom("O", {"1e-1", "+2.5", "-3.75E1"}, {0.1, 2.5, -37.5}, 2)};
    }
};

std::string WriteGrd(const GrdFile& f) {
    std::string out;
    const auto numbers = [&](const std::vector<float>& values) {
        for (size_t i = 0; i < values.size(); ++i) out += (i > 0 ? f.separator : "") + NumberText(values[i]);
        out += f.lineEnd;
    };
    out = "GRD test map" + f.lineEnd + "12 34 56" + f.lineEnd + "third" + f.lineEnd + "nx ny nz" + f.lineEnd;
    numbers({float(f.n[0]), float(f.n[1]), float(f.n[2])});
    numbers({f.centre[0], f.centre[1], f.centre[2]});
    numbers({f.length[0], f.length[1], f.length[2]});
    out += "Atoms" + f.lineEnd + std::to_string(f.atoms.size()) + f.lineEnd;
    for (const FileAtom& atom : f.atoms) out += atom.text + f.lineEnd;
    out += "Density" + f.lineEnd + "x fastest" + f.lineEnd + "1 2 3 values" + f.lineEnd;
    std::vector<float> row;
    for (int z = 1; z <= f.n[2]; ++z)
        for (int y = 1; y <= f.n[1]; ++y)
            for (int x = 1; x <= f.n[0]; ++x) {
                row.push_back(f.value(x, y, z));
                if (int(row.size()) < f.valuesPerLine) continue;
                numbers(row);
                row.clear();
            }
    if (!row.empty()) numbers(row);
    return out;
}

// 21 points over 10 give steps of 0.5; a box centred on (5, 0, -1) starts at (0, -2, -1.5).
// Only columns 1 and 10-18, 20-28, 30-38 of an atom line are read, each field by the lenient
// rule; any line end, separator and count of values per line; no atoms below one.
TEST(GrdReader, BoxGeometryWorkedByHandAndAtomLinesReadByFixedColumnsLeniently) {
    FileAtom packed = Atom("B", {"1.25", "2.5", "-3.75"}, {1.25, 2.5, -3.75}, 4);
    packed.text[18] = packed.text[28] = '9';   // columns 19 and 29, between the fields
    packed.text += "9";                        // column 39, after them
    GrdFile f;
    f.n = {21, 2, 3};
    f.centre = {5.0f, 0.0f, -1.0f};
    f.length = {10.0f, 4.0f, 1.0f};
    f.origin = {0.0f, -2.0f, -1.5f};
    f.axes = {{{0, 0.5f}, {0, 4}, {0, 0.5f}}};
    f.atoms = {Atom("C", {"5", "0", "-1"}, {5, 0, -1}), Atom("Cl1", {"1 5", "\t2.5\t", "-  0.25"}, {15, 2.5, -0.25}, 1),
               {"P        1.0       -3.", "P   ", {1, -3, 0}}, Atom("Zn", {"1", "2", "3"}, {1, 2, 3}, 8), packed};
    f.atoms[3].text += "  99.9 and more";
    f.lineEnd = "\r";
    f.separator = " , ";
    f.valuesPerLine = 7;
    ExpectMap(f, ParseGrdMap(WriteGrd(f), kGrdPath));
    f = GrdFile{};
    f.atoms.clear();
    for (const char* count : {"\nAtoms\r\n0\r", "\nAtoms\r\n-4\r"})
        ExpectMap(f, ParseGrdMap(Replaced(WriteGrd(f), "\nAtoms\r\n0\r", count), kGrdPath));
}

TEST(GrdReader, BadInputStopsWithAMessageNamingTheFileAndTheFault) {
    const std::string file = WriteGrd(GrdFile{});
    const std::string atom3 = "O" + std::string(10, ' ') + "1e-1";
    const std::pair<std::string, std::string> cases[] = {
        {Replaced(file, "\r\n4 3 2\r", "\r\n1 3 2\r"), "has only one grid point along x (nx = 1)"},
        {Replaced(file, "\r\n4 3 2\r", "\r\n40 40 40\r"), "ends early"},
        {Replaced(file, "\r\nFe", "\r\n\r\nFe"), "empty line where atom 2 belongs"},
        {Replaced(file, atom3, "O" + std::string(10, ' ') + "1e39"),
         "atom coordinate out of range (atom 3, columns 10 to 18)"}};
    for (const auto& [text, part] : cases)
        ExpectHolds(StopMessage([&in = text] { ParseGrdMap(in, kGrdPath); }), {part});
}

const std::string kMt1Path = "/maps/test.mt1";

// MT1 labels are four bytes (written padded with blanks), taken as they are.
CellMapContents Mt1File() {
    CellMapContents f;
    f.atoms[1].text = f.atoms[1].name = std::string("\x01\xff\0Z", 4);
    return f;
}

// Little-endian words built with shifts, so the host's byte order plays no part. Skipped
// bytes read as a float far above the value limit, as an int far above any count; floats
// that are consumed but never looked at hold NaN, which the reader rejects in data.
struct Mt1Out {
    std::string text;
    float unused = std::nanf("");
    void word(uint32_t w) {
        for (int i = 0; i < 4; ++i) text += static_cast<char>(w >> (8 * i));
    }
    void numbers(const std::vector<float>& values) {
        for (float v : values) word(std::bit_cast<uint32_t>(v));
    }
    void counts(const std::vector<int>& values) {
        for (int n : values) word(uint32_t(n));
    }
    void gap(int bytes, const std::string&) { text.append(size_t(bytes), '\x7f'); }
    void section(int z) { gap(z == 1 ? 10 : 14, ""); }
    void label(const std::string& s) {
        gap(2, "");
        text += s + std::string(4 - s.size(), ' ');
    }
};

std::string WriteMt1(const CellMapContents& f) { return WriteCellMap(f, Mt1Out{}); }

// The default 3 x 4 x 2 file with the little-endian word `w` at byte `at`. Its counts lie at 176,
// 180 and 184; its sections of 48 bytes at 198 and 260; N and K at 314 and 318; its 58-byte atom
// records from 322, each with the position 18 bytes in.
std::string Patched(std::initializer_list<std::pair<size_t, uint32_t>> words) {
    std::string b = WriteMt1(Mt1File());
    for (const auto& [at, w] : words)
        for (size_t i = 0; i < 4; ++i) b.at(at + i) = char(w >> (8 * i));
    return b;
}

// 10 bytes are skipped before the first section, 14 before the others. A record length other
// than 14 ends the program silently, before any atom is read.
TEST(Mt1Reader, ReadsEveryRecordAndNoAtomsBelowOne) {
    CellMapContents f = Mt1File();
    f.n[2] = 4;
    ExpectMap(f, ParseMt1Map(WriteMt1(f), kMt1Path));
    f.n[2] = 2;
    f.atoms.clear();
    for (int32_t none : {0, -2}) ExpectMap(f, ParseMt1Map(Patched({{314, uint32_t(none)}}), kMt1Path));
    for (uint32_t items : {13u, 15u})
        EXPECT_TRUE(StopFrom([&] { ParseMt1Map(Patched({{318, items}}), kMt1Path); }).silent());
    f.n = {1, 32767, 1};
    f.value = [](int, int y, int) { return float(y % 7) * 0.5f; };
    ExpectMap(f, ParseMt1Map(WriteMt1(f), kMt1Path));
    const DensityMap limits = ParseMt1Map(Patched({{198, 0x461c4000u}, {304, 0xc61c4000u}}), kMt1Path);   // +-10000
    EXPECT_EQ(std::make_pair(limits.gridParams.minValue(), limits.gridParams.maxValue()),
              std::make_pair(-10000.0f, 10000.0f));
}

// 16384 x 16384 x 4 and 1024^3 values take 2^32 bytes, which a 32-bit size computation would
// take for 0; 3 x 4 x 9 needs more bytes than the file holds. Values just beyond the limits,
// infinite or NaN (also in the origin and an atom position) stop.
TEST(Mt1Reader, BadInputStopsWithAMessageNamingTheFileAndTheFault) {
    const std::string nan = "holds a value that is not a number (NaN) at byte ";
    const std::pair<std::string, std::string> cases[] = {
        {Patched({{180, uint32_t(-1)}}), "The map file " + kMt1Path + " declares ny = -1"},
        {Patched({{176, 0x80000000u}}), "declares nx = -2147483648"},
        {Patched({{176, 32767}, {180, 32767}, {184, 32767}}), "ends early"},
        {Patched({{176, 16384}, {180, 16384}, {184, 4}}), "ends early"},
        {Patched({{184, 9}}), "ends early"},
        {Patched({{280, 0x7fc00000u}}), nan + "280"},
        {Patched({{78, 0xffc00000u}}), nan + "78"},
        {Patched({{322 + 2 * 58 + 22, 0x7f800001u}}), nan + "460"},
        {Patched({{280, 0x461c4001u}}), "Your input data looks strange, ZOL > 10000"},
        {Patched({{280, 0xc61c4001u}}), "Your input data looks strange, ZOL < -10000"}};
    for (const auto& [bytes, part] : cases)
        ExpectHolds(StopMessage([&in = bytes] { ParseMt1Map(in, kMt1Path); }), {part});
}

float ReadOneFloat(const std::string& text) { return TextScanner(text, kFouPath).readFloat("the value"); }

std::string Rejection(const std::string& item, int line = 1) {
    return "The map file " + kFouPath + " holds \"" + item + "\" where a number belongs (the value, line " +
           std::to_string(line) + ").";
}

// std::from_chars is the independent reference: whatever shape a decimal item has, the
// scanner gives its float to the bit, also when a separator and another number follow.
TEST(TextScannerNumbers, EveryDecimalShapeReadsAsFromCharsGivesIt) {
    const std::vector<std::string> items = {
        "+3.25", "-.25", "5.", "-0", "16777217", "1E+010", "1.17549435E-38", "3.4028235e38", "1.4e-45",
        "1.000000059604644775390625", "8388609.5", "-8388610.5", "9007199254740993", "1e23",
        // a hair off halfway between two floats, while the nearest double is halfway
        "260094681289047e-17", "8611611556261778e-18", "4451764425539295e-21", "8789878336301626e-22",
        "5077357635498047e-13", "6716022835462354e-20",
        // exactly halfway, or a hair below, with digits beyond double precision
        "3889.1153564453125", "298485460281372069e-16", "584693217277526855e-17"};
    for (const std::string& item : items) {
        const std::string_view unsigned_ = std::string_view(item).substr(item[0] == '+' ? 1 : 0);
        float want = 0.0f;
        ASSERT_EQ(std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), want).ec, std::errc()) << item;
        for (const char* separator : {" ", ",", "\t", "\r\n"}) {
            const std::string text = item + separator + "7";
            TextScanner in(text, kFouPath);
            ASSERT_EQ(std::bit_cast<uint32_t>(in.readFloat("v")), std::bit_cast<uint32_t>(want)) << item;
            ASSERT_EQ(in.readFloat("v"), 7.0f) << item << " followed by [" << separator << "]";
        }
    }
}

// Values too small for a float give a zero of their sign. At most 40 characters of an item
// are quoted, odd bytes as "?", then "..." if there is more.
TEST(TextScannerNumbers, ItemsThatAreNoDecimalNumberOrTooLargeAreNamedTooSmallAreSignedZeros) {
    for (const char* item : {"abc", "1.2.3", "1e", "1e+", "--1", "+", ".", "inf", "nan", "0x10", "12abc", "e5"})
        EXPECT_EQ(StopMessage([&] { ReadOneFloat(std::string("\r\n  ") + item); }), Rejection(item, 2));
    for (const char* item : {"1e39", "-3.5e38", "1e99999999999"})
        EXPECT_EQ(StopMessage([&] { ReadOneFloat(item); }),
                  "The map file " + kFouPath + " holds \"" + item + "\", out of range for a number (the value, line 1).");
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadOneFloat("1e-50")), std::bit_cast<uint32_t>(0.0f));
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadOneFloat("-0.000000000000000000000000000000000000000000000000001")),
              std::bit_cast<uint32_t>(-0.0f));
    const std::string odd = std::string("a\0b\x7f\xff", 5), z35(35, 'z');
    EXPECT_EQ(StopMessage([&] { ReadOneFloat(odd + z35); }), Rejection("a?b??" + z35));
    EXPECT_EQ(StopMessage([&] { ReadOneFloat(odd + z35 + "z"); }), Rejection("a?b??" + z35 + "..."));
}

TEST(TextScannerNumbers, IntegersMustBeWholeAndWithin32Bits) {
    for (const auto& [text, value] :
         {std::pair{"-7", -7}, std::pair{"+5", 5}, std::pair{"3.0", 3}, std::pair{"2E1", 20},
          std::pair{"2147483647", INT32_MAX}, std::pair{"-2147483648", INT32_MIN}})
        EXPECT_EQ(TextScanner(text, kFouPath).readInt("nx"), value) << text;
    for (const char* item : {"2147483648", "-2147483649", "2.5", "1e10", "x", "1e-50"})
        ExpectHolds(StopMessage([&] { TextScanner(item, kFouPath).readInt("nx"); }),
                                  {std::string("\"") + item + "\"", "(nx, line 1)"});
}

TEST(TextScannerSeparators, CommaBlankTabAndLineEndsSeparateAlikeAndANumberTakesOneComma) {
    TextScanner in("1,2 3\r\n4\t5 ,6\n7\r8  ,\t9\r\n\r\n\n 10,,2", kFouPath);
    for (int expected = 1; expected <= 10; ++expected) EXPECT_EQ(in.readFloat("v"), float(expected));
    EXPECT_EQ(StopMessage([&] { in.readFloat("v"); }),
              "The map file " + kFouPath + " holds an empty item where a number belongs (v, line 7).");
}

TEST(LenientNumberRule, TakesTheLeadingNumberIgnoringBlanks) {
    const std::pair<std::string, double> cases[] = {
        {"1 5", 15},   {" -1.5E2 x", -150}, {"", 0},    {"abc", 0},        {"1.2.3", 1.2},     {"1e", 1},
        {"1e+", 1},    {"1 e 2", 100},      {"- .5", -0.5}, {"+ 7", 7},    {"3\t4", 34},       {"E5", 0},
        {"2.e1", 20},  {"1,5", 1},          {"1e999", HUGE_VAL}, {"-1e999", -HUGE_VAL},
        {std::string(400, '9') + "Ex", HUGE_VAL}};
    for (const auto& [field, value] : cases) EXPECT_EQ(LenientNumber(field), value) << '"' << field << '"';
}

}   // namespace
}   // namespace tivarel
