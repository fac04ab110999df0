// The exports: the number format, the peak file, TGA bytes, and the user's files written whole or not at all.
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "export/number_format.h"
#include "export/peak_file.h"
#include "export/safe_write.h"
#include "export/tga.h"
#include "../test_files.h"

namespace tivarel {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

// Sign or blank, seven significant digits (rounding may carry into the eighth), no leading
// zero, exponent form at the ends.
TEST(FormatNumber, SignBlankSevenDigitsNoLeadingZeroAndExponentFormAtTheEnds) {
    const std::pair<double, const char*> cases[] = {
        {0.0, " 0"},          {-0.0, " 0"},         {-1.0, "-1"},         {-0.125, "-.125"},
        {-300.0, "-300"},     {0.0001, " .0001"},   {9999999.0, " 9999999"}, {123.456789, " 123.4568"},
        {-0.000123456789, "-.0001234568"},          {0.1f, " .1"},        {0.499999f, " .499999"},
        {1e-6, " 1E-06"},     {0.99999994e-4, " 9.999999E-05"},           {1.234567891e-20, " 1.234568E-20"},
        {-2.5e20, "-2.5E+20"}, {9999999.6, " 1E+07"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
}

// 0.49999997 is the float below .5; 0.91860497 and 2.96170688 lie just below a multiple of
// 10^-6 that their product with 1000000, rounded to single precision, would reach.
TEST(CutToSixDecimals, RoundsDownAsTheDecimalExpansionDoes) {
    const std::pair<float, float> cases[] = {{0.49999997f, 0.499999f}, {-0.1234567f, -0.123457f},
                                             {-1e-7f, -1e-6f}, {0.91860497f, 0.918604f}, {2.96170688f, 2.961706f}};
    for (const auto& [value, cut] : cases) EXPECT_EQ(CutToSixDecimals(value), cut) << value;
}

// A skewed cell (all off-diagonal terms set) and an origin away from zero; peaks placed at p = M (f - origin) in double
// come back as f, cut down onto six decimals. A cell that inverts only into rounding noise converts nothing, and
// unsaved peaks under it are kept in the grid frame, under a line that says so.
TEST(FractionalPeaks, GridToFractionalInvertsTheCellOfANonOrthogonalMap) {
    Mat3 cell;
    cell.a = {10.2f, -2.6f, 1.9f, 0.4f, 11.7f, -3.1f, -0.8f, 0.6f, 7.3f};
    const Vec3 origin{0.1f, -0.2f, 0.3f};
    const double f[3][3] = {{0.25, -0.125, 1.0}, {0.731, 0.402, -0.55}, {1.5, 2.25, 0.875}};
    PeakList grid;
    for (const auto& fr : f) {
        double p[3] = {0, 0, 0};
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) p[i - 1] += double(cell(i, j)) * (fr[j - 1] - double(origin[j - 1]));
        grid.push_back({float(p[0]), float(p[1]), float(p[2])});
    }
    const auto fractional = FractionalPeaks(cell, origin, grid);
    ASSERT_TRUE(fractional.has_value());
    for (size_t k = 0; k < grid.size(); ++k)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR((*fractional)[k][c], f[k][c], 2.5e-6) << k << "," << c;
    for (int j = 1; j <= 3; ++j) cell(3, j) = cell(1, j) * 2.0f;
    EXPECT_FALSE(FractionalPeaks(cell, {}, {{1, 2, 3}}).has_value());
    EXPECT_EQ(PeakRecoveryText(cell, origin, {{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}}, "/maps/m.fou"),
              "Grid-frame coordinates, not fractional: the cell matrix of /maps/m.fou cannot be inverted.\r\n"
              "ATOM Q  1   X= 1  Y= 1  Z=-2.5 \r\nATOM Q  2   X= 0  Y= 0  Z= 0 \r\n");
}

// 640 = 2 * 256 + 128, 480 = 256 + 224, 65535 = 255 * 256 + 255 (the window's picture save checks the pixels).
TEST(Tga, Header) {
    EXPECT_EQ(TgaHeader(640, 480),
              (std::array<uint8_t, 18>{0, 0, 2, 0, 0, 0, 0, 24, 0, 0, 0, 0, 128, 2, 224, 1, 24, 0}));
    const auto largest = TgaHeader(65535, 256);
    EXPECT_EQ((std::array{largest[12], largest[13], largest[14], largest[15]}),
              (std::array<uint8_t, 4>{255, 255, 0, 1}));
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// A shorter file replaces a longer one; the old file's mode stays, also one the umask would cut; a link stays a link,
// its target (relative to the link's folder) is replaced, or created. Temporary names in use are not touched.
TEST(SafeWrite, BytesArriveUnchangedModesAndLinksAreKept) {
    const TempFolder folder;
    const fs::path& dir = folder.path();
    const fs::path path = dir / "newatoms.dat";
    const std::string bytes = std::string("ATOM Q  1   X= .5 \r\n") + '\0' + "\n\xff";
    WriteFile(path.string() + ".1.tmp", "someone else's");
    EXPECT_FALSE(WriteFileAtomically(path.string(), std::string(5000, 'x')).has_value());
    ::chmod(path.c_str(), 0604);
    const mode_t oldMask = ::umask(077);
    EXPECT_FALSE(WriteFileAtomically(path.string(), bytes).has_value());
    ::umask(oldMask);
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
    EXPECT_EQ(ReadFile(path.string() + ".1.tmp"), "someone else's");
    fs::create_directory(dir / "real");
    WriteFile(dir / "real" / "scene.pov", "old scene");
    fs::create_symlink("real/scene.pov", dir / "scene.pov");
    fs::create_symlink("real/picture.tga", dir / "picture.tga");
    EXPECT_FALSE(WriteFileAtomically((dir / "scene.pov").string(), "new scene").has_value());
    EXPECT_FALSE(WriteFileAtomically((dir / "picture.tga").string(), "pixels").has_value());
    EXPECT_EQ(fs::read_symlink(dir / "scene.pov"), "real/scene.pov");
    EXPECT_EQ(ReadFile(dir / "real" / "scene.pov") + ReadFile(dir / "real" / "picture.tga"), "new scenepixels");
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"newatoms.dat", "newatoms.dat.1.tmp", "picture.tga", "real",
                                                   "scene.pov"}));
}

// A read-only file is refused also where the system would let an administrator through; a write that fails part way (at
// a file size limit) ends with a message naming the file, and leaves everything as it was.
TEST(SafeWrite, FailuresNameTheFileAndLeaveEverythingAsItWas) {
    const TempFolder folder;
    const fs::path readOnly = folder.path() / "precious.dat", path = folder.path() / "newatoms.dat";
    WriteFile(readOnly, "precious");
    ::chmod(readOnly.c_str(), 0444);
    ExpectHolds(WriteFileAtomically(readOnly.string(), "new").value_or(""), {readOnly.string(), "read-only"});
    EXPECT_EQ(ReadFile(readOnly), "precious");
    WriteFile(path, "old");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto error = WriteFileAtomically(path.string(), std::string(5000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ExpectHolds(error.value_or(""), {path.string()});
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"newatoms.dat", "precious.dat"}));
}

// New files never replace earlier ones.
TEST(SafeWrite, NewFilesTakeTheFirstFreeName) {
    const TempFolder folder;
    const std::string dir = folder.path().string();
    EXPECT_EQ(WriteNewFile(dir, "map-peaks", ".dat", "one"), dir + "/map-peaks.dat");
    EXPECT_EQ(WriteNewFile(dir, "map-peaks", ".dat", "two"), dir + "/map-peaks-2.dat");
    EXPECT_EQ(ReadFile(dir + "/map-peaks.dat") + ReadFile(dir + "/map-peaks-2.dat"), "onetwo");
}

}  // namespace
}  // namespace tivarel
