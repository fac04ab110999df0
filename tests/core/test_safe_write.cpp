// Writing the user's files: the bytes arrive whole or not at all, links and
// permissions are kept, read-only files are refused, and no temporary file stays.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/safe_write.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

// A fresh empty directory per test, removed afterwards.
class SafeWrite : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("tivarel_write_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static mode_t Mode(const fs::path& p) {
        struct stat s {};
        ::stat(p.c_str(), &s);
        return s.st_mode & 07777;
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(SafeWrite, WritesTheBytesUnchangedReplacesALongerFileAndLeavesNoTemporaryFile) {
    const std::string path = (dir_ / "newatoms.dat").string();
    const std::string bytes = std::string("ATOM Q  1   X= .5 \r\n") + '\0' + "\n\xff";
    EXPECT_FALSE(WriteFileAtomically(path, std::string(5000, 'x')).has_value());
    EXPECT_FALSE(WriteFileAtomically(path, bytes).has_value());
    EXPECT_EQ(Read(path), bytes);
    EXPECT_EQ(Entries(), std::vector<std::string>{"newatoms.dat"});
}

TEST_F(SafeWrite, ALinkIsKeptAndItsTargetReplaced) {
    fs::create_directory(dir_ / "real");
    std::ofstream(dir_ / "real" / "scene.pov") << "old scene";
    fs::create_symlink("real/scene.pov", dir_ / "scene.pov");
    EXPECT_FALSE(WriteFileAtomically((dir_ / "scene.pov").string(), "new scene").has_value());
    EXPECT_TRUE(fs::is_symlink(dir_ / "scene.pov"));
    EXPECT_EQ(fs::read_symlink(dir_ / "scene.pov"), "real/scene.pov");
    EXPECT_EQ(Read(dir_ / "real" / "scene.pov"), "new scene");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"real", "scene.pov"}));
    // A link to a file not yet there creates it where the link points.
    fs::create_symlink("real/picture.tga", dir_ / "picture.tga");
    EXPECT_FALSE(WriteFileAtomically((dir_ / "picture.tga").string(), "pixels").has_value());
    EXPECT_TRUE(fs::is_symlink(dir_ / "picture.tga"));
    EXPECT_EQ(Read(dir_ / "real" / "picture.tga"), "pixels");
}

TEST_F(SafeWrite, TheOldFilesModeIsKept) {
    const fs::path path = dir_ / "newatoms.dat";
    std::ofstream(path) << "old";
    ::chmod(path.c_str(), 0640);
    EXPECT_FALSE(WriteFileAtomically(path.string(), "new").has_value());
    EXPECT_EQ(Mode(path), 0640u);
    ::chmod(path.c_str(), 0604);   // also modes the umask would cut
    EXPECT_FALSE(WriteFileAtomically(path.string(), "newer").has_value());
    EXPECT_EQ(Mode(path), 0604u);
    EXPECT_EQ(Read(path), "newer");
}

TEST_F(SafeWrite, AReadOnlyFileIsRefusedAndLeftAsItWas) {
    const fs::path path = dir_ / "newatoms.dat";
    std::ofstream(path) << "precious";
    ::chmod(path.c_str(), 0444);
    const auto error = WriteFileAtomically(path.string(), "new");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(path.string()), std::string::npos) << *error;
    EXPECT_NE(error->find("read-only"), std::string::npos) << *error;
    EXPECT_EQ(Read(path), "precious");
    EXPECT_EQ(Mode(path), 0444u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"newatoms.dat"});
}

TEST_F(SafeWrite, FailuresNameTheFileAndLeaveNoTemporaryFile) {
    // No folder to write in.
    const std::string missing = (dir_ / "no_such_dir" / "newatoms.dat").string();
    auto error = WriteFileAtomically(missing, "x");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(missing), std::string::npos) << *error;
    // A directory cannot be replaced by a file: it stays with what it holds.
    const fs::path target = dir_ / "picture.tga";
    fs::create_directory(target);
    std::ofstream(target / "inside.txt") << "kept";
    error = WriteFileAtomically(target.string(), "new bytes");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(target.string()), std::string::npos) << *error;
    EXPECT_EQ(Read(target / "inside.txt"), "kept");
    // Devices and other special files are not replaced by plain files.
    error = WriteFileAtomically("/dev/null", "x");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("/dev/null"), std::string::npos) << *error;
    // A write that fails part way (here at a file size limit) removes what it began.
    const std::string path = (dir_ / "newatoms.dat").string();
    std::ofstream(path) << "old";
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    error = WriteFileAtomically(path, std::string(5000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(path), std::string::npos) << *error;
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"newatoms.dat", "picture.tga"}));
}

TEST_F(SafeWrite, TemporaryNamesInUseAreNotTouched) {
    const std::string path = (dir_ / "newatoms.dat").string();
    std::ofstream(path + ".1.tmp") << "someone else's";
    ASSERT_FALSE(WriteFileAtomically(path, "mine").has_value());
    EXPECT_EQ(Read(path), "mine");
    EXPECT_EQ(Read(path + ".1.tmp"), "someone else's");
}

TEST_F(SafeWrite, NewFilesNeverReplaceEarlierOnes) {
    const auto first = WriteNewFile(dir_.string(), "map-unsaved-peaks", ".dat", "one");
    const auto second = WriteNewFile(dir_.string(), "map-unsaved-peaks", ".dat", "two");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, (dir_ / "map-unsaved-peaks.dat").string());
    EXPECT_EQ(*second, (dir_ / "map-unsaved-peaks-2.dat").string());
    EXPECT_EQ(Read(*first), "one");
    EXPECT_EQ(Read(*second), "two");
    EXPECT_FALSE(WriteNewFile((dir_ / "missing").string(), "x", ".dat", "three").has_value());
}

}  // namespace
}  // namespace tivarel
