// The tivarel-import command: a map and a model in, an MT1 map the viewer reads out; every bad
// input ends with a message naming the file, status 1 and no file written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ccp4_test_file.h"
#include "import/import_command.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

class ImportCommand : public ::testing::Test {
protected:
    std::string Put(const std::string& name, const std::string& bytes) const {
        WriteFile((dir / name).string(), bytes);
        return (dir / name).string();
    }
    const TempFolder folder;
    const fs::path& dir = folder.path();
};

// The command run in this process: its status and what it wrote to standard error.
std::pair<int, std::string> Import(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunImport(args, out, err);
    return {status, err.str()};
}

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

// The installed command on a gzipped map and a model: the MT1 map lands beside the map. A box
// map tells how many points lie outside its data.
TEST_F(ImportCommand, GzippedMapAndModelBecomeAnMt1MapBesideTheMap) {
    const std::string map = (dir / "crystal.ccp4.gz").string(), bytes = Ccp4Bytes(BoxFile());
    gzFile file = gzopen(map.c_str(), "wb");
    gzwrite(file, bytes.data(), unsigned(bytes.size()));
    gzclose(file);
    const std::string command =
        std::string("\"") + TIVAREL_IMPORT + "\" " + map + " --model " + Put("model.pdb", Pdb(3, "FE"));
    ASSERT_EQ(WEXITSTATUS(std::system((command + " 2>/dev/null").c_str())), 0);
    const DensityMap mt1 = ReadMt1Map((dir / "crystal.mt1").string());
    ASSERT_EQ(mt1.atoms.size(), 3u);
    EXPECT_EQ(mt1.atoms[0].name, "Fe  ");
    const auto [status, err] = Import({Put("box.map", Ccp4Bytes(BoxFile({10, 5, 7}, {14, 12, 16})))});
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("grid points lie outside the map's data and take its minimum"), std::string::npos) << err;
}

TEST_F(ImportCommand, BadInputEndsWithAMessageNamingTheFileAndWritesNothing) {
    const std::string cell = Ccp4Bytes(BoxFile());
    std::string strong = cell, complex = cell;
    for (size_t i = 1024; i < strong.size(); i += 4) PutWord(strong, i / 4 + 1, 0x471c4000u);   // 40000
    PutWord(complex, 4, 4);
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // map, model, problem
        {"", "", "in0.ccp4: is empty"},
        {cell.substr(0, cell.size() - 4), "", "in1.ccp4: is truncated"},
        {complex, "", "in2.ccp4: has data of mode 4, which is not supported"},
        {strong, "",
         "in3.ccp4: its values run from 40000 to 40000, but the viewer takes only -10000 to 10000: multiply them with "
         "--scale 0.2"},
        {cell, Pdb(2, "XX"), "model4.pdb: atom A/LIG1/XX has an unknown element"},
        {cell, Pdb(32768, "C"), "model5.pdb: holds more than 32767 atoms"}};
    for (size_t k = 0; k < std::size(cases); ++k) {
        const auto& [map, model, problem] = cases[k];
        std::vector<std::string> args{Put("in" + std::to_string(k) + ".ccp4", map)};
        if (!model.empty()) args.insert(args.end(), {"--model", Put("model" + std::to_string(k) + ".pdb", model)});
        const auto [status, err] = Import(args);
        EXPECT_EQ(status, 1) << problem;
        EXPECT_NE(err.find(dir.string() + "/" + problem), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir / ("in" + std::to_string(k) + ".mt1"))) << problem;
    }
}

}   // namespace
}   // namespace tivarel
