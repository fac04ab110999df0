// Confirmed peaks that never reached a peak file are written to a recovery file
// before the program ends or the list is emptied, whatever the way there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/program.h"
#include "scripted_platform.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using testing::ProgramEnded;
using testing::ScriptedPlatform;

// A 2 x 2 x 2 FOU map, unit steps from 0, with the given cell matrix (row by row)
// and map origin.
std::string TinyFou(const std::string& matrix, const std::string& origin = "0 0 0") {
    std::string t = "title\r\nheading\r\n" + matrix + "\r\n" + origin + "\r\ncell\r\n1 1 1 90 90 90\r\n";
    t += "axes\r\n0 1 0 0\r\n0 1 0 0\r\n0 1 0 0\r\ncounts\r\n2 2 2\r\n";
    for (int z = 1; z <= 2; ++z) t += "Section\r\n" + std::to_string(z) + "\r\n" + "5 0 0 0\r\n";
    return t + "atoms\r\n0 14\r\n";
}

const char* const kIdentity = "1 0 0 0 1 0 0 0 1";

class PeakRescue : public ::testing::Test {
protected:
    ScriptedPlatform platform;
    std::unique_ptr<Program> program = std::make_unique<Program>(platform, nullptr);
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("tivarel_rescue_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "maps");
        fs::create_directories(dir / "data");
        platform.dataFolder = (dir / "data").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string WriteMap(const std::string& name, const std::string& text) {
        const fs::path path = dir / "maps" / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    void Confirm(std::initializer_list<Vec3f> points) {
        for (const Vec3f& p : points) {
            platform.yesNoAnswers.push_back(true);
            program->AddPeak(p);
        }
    }
    // Runs `step` and returns the exit status, or -1 when the program goes on.
    template <typename Step>
    int Status(Step step) {
        try {
            step();
            return -1;
        } catch (const ProgramEnded& end) {
            return end.status;
        }
    }
    // The recovery files in a folder, by name.
    static std::vector<fs::path> Recovered(const fs::path& folder) {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().find("-unsaved-peaks-") != std::string::npos) found.push_back(e.path());
        std::sort(found.begin(), found.end());
        return found;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// A reader fault while opening another map ends the program; the peaks of the map that
// was shown go beside it, converted with its cell, and the message says where.
TEST_F(PeakRescue, AFailedOpeningKeepsThePeaksOfTheMapShown) {
    const std::string shown = WriteMap("shown.fou", TinyFou("2 0 0 0 4 0 0 0 5", "0.5 0 0"));
    ASSERT_EQ(Status([&] { program->OpenMap(shown); }), -1);
    Confirm({{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}});
    const std::string broken = WriteMap("broken.fou", TinyFou(kIdentity).substr(0, 60));
    platform.fileAnswers.push_back(broken);
    EXPECT_EQ(Status([&] { program->OpenMap(""); }), 1);
    const auto files = Recovered(dir / "maps");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("shown-unsaved-peaks-", 0), 0u) << files[0];
    // Fractional f = cell^-1 p + origin: (1/2 + .5, 1/4, -2.5/5) and (.5, 0, 0).
    EXPECT_EQ(Read(files[0]), "ATOM Q  1   X= 1  Y= .25  Z=-.5 \r\nATOM Q  2   X= .5  Y= 0  Z= 0 \r\n");
    ASSERT_EQ(platform.messages.size(), 1u);
    const std::string& message = platform.messages[0];
    EXPECT_EQ(message.rfind("The map file " + broken + " ends early", 0), 0u) << message;
    EXPECT_NE(message.find("\nThe 2 peaks not saved to a peak file were written to " + files[0].string() + "."),
              std::string::npos)
        << message;
}

// Opening another map empties the list; its unsaved peaks are kept first, with the
// old map's cell, not the new one's.
TEST_F(PeakRescue, AnotherMapEmptiesTheListOnlyAfterTheRescue) {
    const std::string first = WriteMap("first.fou", TinyFou("2 0 0 0 2 0 0 0 2"));
    const std::string second = WriteMap("second.fou", TinyFou(kIdentity));
    ASSERT_EQ(Status([&] { program->OpenMap(first); }), -1);
    Confirm({{1.0f, 0.5f, 0.0f}});
    ASSERT_EQ(Status([&] { program->OpenMap(second); }), -1);
    EXPECT_EQ(program->peaks.count, 0);
    const auto files = Recovered(dir / "maps");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Read(files[0]), "ATOM Q  1   X= .5  Y= .25  Z= 0 \r\n");
    // Nothing is left to keep: the end writes no second file.
    EXPECT_EQ(Status([&] { platform.endProgram(0); }), 0);
    EXPECT_EQ(Recovered(dir / "maps").size(), 1u);
}

// A saved list is safe; a peak added after the save makes the whole list unsaved again.
TEST_F(PeakRescue, OnlyUnsavedListsAreRescuedAndNeverOverAnEarlierFile) {
    const std::string map = WriteMap("m.fou", TinyFou(kIdentity));
    ASSERT_EQ(Status([&] { program->OpenMap(map); }), -1);
    Confirm({{0.25f, 0.0f, 0.0f}});
    platform.fileAnswers.push_back((dir / "saved.dat").string());
    EXPECT_FALSE(program->SavePeakFile().has_value());
    EXPECT_EQ(program->RescuePeaks(), "");
    Confirm({{0.75f, 0.0f, 0.0f}});
    const std::string note = program->RescuePeaks();
    const auto files = Recovered(dir / "maps");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(note, "The 2 peaks not saved to a peak file were written to " + files[0].string() + ".");
    EXPECT_EQ(Read(files[0]), "ATOM Q  1   X= .25  Y= 0  Z= 0 \r\nATOM Q  2   X= .75  Y= 0  Z= 0 \r\n");
    Confirm({{0.5f, 0.0f, 0.0f}});
    program->EmptyPeakList();   // as "&Clear Peaks" does
    EXPECT_EQ(Recovered(dir / "maps").size(), 2u);
}

// A cell that cannot be inverted keeps the peaks in the grid frame, under a line that
// says so; a map folder that is gone sends them to the user's data folder.
TEST_F(PeakRescue, FlatCellsGiveGridCoordinatesAndAMissingFolderTheDataFolder) {
    fs::create_directories(dir / "maps" / "gone");
    const fs::path map = dir / "maps" / "gone" / "flat.fou";
    std::ofstream(map, std::ios::binary) << TinyFou("1 0 0 0 1 0 0 0 0");
    ASSERT_EQ(Status([&] { program->OpenMap(map.string()); }), -1);
    Confirm({{0.5f, 0.25f, 0.0f}});
    const auto failure = program->SavePeakFile();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("cannot be inverted"), std::string::npos) << *failure;
    fs::remove_all(dir / "maps" / "gone");
    EXPECT_EQ(Status([&] { platform.endProgram(0); }), 0);
    const auto files = Recovered(dir / "data");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Read(files[0]), "Grid-frame coordinates, not fractional: the cell matrix of " + map.string() +
                                  " cannot be inverted.\r\nATOM Q  1   X= .5  Y= .25  Z= 0 \r\n");
}

// With nowhere to write, the note itself carries the peaks to standard error.
TEST_F(PeakRescue, WithNoFolderToWriteTheNoteHoldsThePeaks) {
    const std::string map = WriteMap("m.fou", TinyFou(kIdentity));
    ASSERT_EQ(Status([&] { program->OpenMap(map); }), -1);
    Confirm({{0.5f, 0.5f, 0.5f}});
    fs::remove_all(dir);
    const std::string note = program->RescuePeaks();
    EXPECT_NE(note.find("The 1 peak not saved to a peak file was not written to any file"), std::string::npos)
        << note;
    EXPECT_NE(note.find("ATOM Q  1   X= .5  Y= .5  Z= .5 "), std::string::npos) << note;
}

}  // namespace
}  // namespace tivarel
