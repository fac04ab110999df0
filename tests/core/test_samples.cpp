// The sample maps under data/ are the current output of make_sample_map, and the three
// formats hold one map: the MT1 file exactly the FOU header, grid and atoms, the GRD file
// the same box and values in its own frame, which starts the grid at zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

const std::string kDataDir = TIVAREL_SOURCE_DIR "/data/";

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SampleMaps, CommittedFilesAreTheToolsCurrentOutput) {
    std::string folder = (fs::temp_directory_path() / "tivarel-sample-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string command = std::string("\"") + TIVAREL_MAKE_SAMPLE_MAP + "\" \"" + folder + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"sample.fou", "sample.mt1", "sample.grd"})
        EXPECT_TRUE(ReadBytes(folder + "/" + name) == ReadBytes(kDataDir + name))
            << "data/" << name << " is out of date: run make_sample_map with the data folder";
    fs::remove_all(folder);
}

TEST(SampleMaps, TheThreeFormatsHoldOneMap) {
    const DensityMap fou = ReadFouMap(kDataDir + "sample.fou"), mt1 = ReadMt1Map(kDataDir + "sample.mt1"),
                     grd = ReadGrdMap(kDataDir + "sample.grd");
    EXPECT_EQ(mt1.cellMatrix.a, fou.cellMatrix.a);
    EXPECT_EQ(mt1.mapOrigin, fou.mapOrigin);
    EXPECT_EQ(mt1.cellParams, fou.cellParams);
    EXPECT_EQ(mt1.gridParams.p, fou.gridParams.p);
    EXPECT_TRUE(mt1.grid.values() == fou.grid.values());
    EXPECT_TRUE(grd.grid.values() == fou.grid.values());
    for (int pos = 1; pos <= 9; ++pos)
        EXPECT_EQ(grd.gridParams(pos), pos >= 4 && pos <= 6 ? 0.0f : fou.gridParams(pos)) << pos;
    ASSERT_EQ(mt1.atoms.size(), fou.atoms.size());
    ASSERT_EQ(grd.atoms.size(), fou.atoms.size());
    ASSERT_EQ(fou.atoms.size(), 16u);   // two urea molecules, CO(NH2)2
    for (size_t i = 0; i < fou.atoms.size(); ++i) {
        EXPECT_EQ(mt1.atoms[i].name, fou.atoms[i].name) << i;
        EXPECT_EQ(mt1.atoms[i].position, fou.atoms[i].position) << i;
        EXPECT_EQ(grd.atoms[i].name, fou.atoms[i].name) << i;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(grd.atoms[i].position[c], fou.atoms[i].position[c] - fou.gridParams(4 + c), 1e-4) << i;
            EXPECT_LT(std::fabs(fou.atoms[i].position[c]), 6.0f) << i;   // in view about the grid frame's zero
        }
    }
}

}   // namespace
}   // namespace tivarel
