// The real tivarel-import command: a map and a model in, an MT1 map the viewer reads
// out; every bad input ends with a message naming the file, status 1 and no file written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "ccp4_test_file.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

class ImportCommand : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "tivarel-import-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Put(const std::string& name, const std::string& bytes) {
        WriteFile((dir / name).string(), bytes);
        return (dir / name).string();
    }
    std::string PutGzipped(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        gzFile file = gzopen(path.c_str(), "wb");
        gzwrite(file, bytes.data(), unsigned(bytes.size()));
        gzclose(file);
        return path;
    }
    std::set<std::string> Files() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
        return names;
    }

    struct Result {
        int status;
        std::string out, err;
    };
    Result Run(const std::string& args) {
        const fs::path out = dir.parent_path() / (dir.filename().string() + ".out");
        const fs::path err = dir.parent_path() / (dir.filename().string() + ".err");
        const std::string command = std::string("\"") + TIVAREL_IMPORT + "\" " + args + " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
        fs::remove(out);
        fs::remove(err);
        return r;
    }
    static std::string ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

std::string Pdb(int atoms, const char* element) {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1           1\n";
    char line[100];
    for (int i = 1; i <= atoms; ++i) {
        std::snprintf(line, sizeof line, "HETATM%5d  %-3s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n",
                      i % 100000, element, 1.0 + (i % 5), 2.0, 3.0, element);
        text += line;
    }
    return text + "END\n";
}

TEST_F(ImportCommand, GzippedMapAndModelBecomeAnMt1MapBesideTheMap) {
    const std::string map = PutGzipped("crystal.ccp4.gz", Ccp4Bytes(CellFile()));
    const std::string model = Put("model.pdb", Pdb(3, "FE"));
    const Result r = Run(map + " --model " + model);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("wrote " + (dir / "crystal.mt1").string()), std::string::npos) << r.err;
    const DensityMap mt1 = ReadMt1Map((dir / "crystal.mt1").string());
    EXPECT_EQ(mt1.atoms.size(), 3u);
    EXPECT_EQ(mt1.atoms[0].name, "Fe  ");
    EXPECT_EQ(Files(), (std::set<std::string>{"crystal.ccp4.gz", "model.pdb", "crystal.mt1"}));
}

TEST_F(ImportCommand, BoxMapTellsHowManyPointsLieOutsideItsData) {
    const std::string map = Put("box.map", Ccp4Bytes(BoxFile({10, 5, 7}, {14, 12, 16})));
    const Result r = Run(map + " -o " + (dir / "out.mt1").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("grid points lie outside the map's data and take its minimum"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir / "out.mt1"));
}

TEST_F(ImportCommand, HelpNamesTheInterpolation) {
    const Result r = Run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("trilinear interpolation"), std::string::npos) << r.out;
}

struct BadInput {
    const char* what;
    std::optional<std::string> map;   // none: the map file does not exist
    std::optional<std::string> model;
    const char* problem;
    bool modelNamed = false;          // the message names the model, not the map
    const char* mapName = "in.ccp4";
};

std::string Truncated(std::string bytes, size_t keep) { return bytes.substr(0, keep); }

std::string WithMode(int mode) {
    std::string bytes = Ccp4Bytes(CellFile());
    PutInt(bytes, 4, mode);
    return bytes;
}

std::string Gzipped(const std::string& bytes) {
    std::string out(compressBound(uLong(bytes.size())) + 32, '\0');
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);   // gzip wrapper
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    s.avail_in = uInt(bytes.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::string StrongMap() {
    Ccp4File f = CellFile();
    f.value = [](int x, int y, int z) { return 300.0 * DensityAtPoint(x, y, z); };
    return Ccp4Bytes(f);
}

const std::string kCellMap = Ccp4Bytes(CellFile());
const std::string kNoCellCif = "data_x\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                               "_atom_site_fract_y\n_atom_site_fract_z\nC1 C 0.1 0.2 0.3\n";

const BadInput kBadInputs[] = {
    {"missing map", std::nullopt, std::nullopt, "cannot be opened: No such file or directory"},
    {"empty map", "", std::nullopt, "is empty"},
    {"header cut short", Truncated(kCellMap, 600), std::nullopt, "too short for a CCP4/MRC map"},
    {"data cut short", Truncated(kCellMap, kCellMap.size() - 4), std::nullopt, "is truncated"},
    {"text, not a map", std::string(2000, 'x'), std::nullopt, "Not a CCP4 map"},
    {"complex data (mode 4)", WithMode(4), std::nullopt, "mode 4, which is not supported"},
    {"gzipped map cut short", Truncated(Gzipped(kCellMap), 5000), std::nullopt, "ends early", false, "in.ccp4.gz"},
    {"values beyond the viewer's range", StrongMap(), std::nullopt, "-10000 to 10000: multiply them with --scale 0.2"},
    {"model of an unknown element", kCellMap, Pdb(2, "XX"), "has an unknown element", true},
    {"small-molecule model without a cell", kCellMap, kNoCellCif, "gives no cell", true},
    {"model of more atoms than a map holds", kCellMap, Pdb(32768, "C"), "more than 32767 atoms", true},
    {"model that is no model", kCellMap, "just some text\nof no kind\n", "holds no atoms", true},
};

TEST_F(ImportCommand, BadInputEndsWithAMessageNamingTheFileAndWritesNothing) {
    for (const BadInput& c : kBadInputs) {
        fs::remove_all(dir);
        fs::create_directory(dir);
        const std::string map = (dir / c.mapName).string();
        if (c.map) Put(c.mapName, *c.map);
        const std::string model = (dir / "model.pdb").string();
        if (c.model) Put("model.pdb", *c.model);
        const std::set<std::string> before = Files();
        const Result r = Run(map + (c.model ? " --model " + model : std::string()));
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_NE(r.err.find((c.modelNamed ? model : map) + ": "), std::string::npos) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.problem), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(Files(), before) << c.what;
    }
}

TEST_F(ImportCommand, OutputThatCannotBeWrittenIsNamed) {
    const std::string map = Put("in.ccp4", kCellMap);
    const std::string target = (dir / "missing" / "out.mt1").string();
    const Result r = Run(map + " -o " + target);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot write the file " + target), std::string::npos) << r.err;
    EXPECT_EQ(Files(), std::set<std::string>{"in.ccp4"});
}

}  // namespace
}  // namespace tivarel
