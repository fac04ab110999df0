// Writing the user's files: the bytes arrive whole or not at all, links and permissions are
// kept, read-only files are refused, and no temporary file stays.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "export/safe_write.h"
#include "map_test_support.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using test_support::ExpectHolds;

// A fresh empty folder per test, removed afterwards.
class SafeWrite : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "tivarel-write-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
        return names;
    }
    fs::path dir;
};

// A shorter file replaces a longer one; the old file's mode stays, also one the umask would
// cut; a link stays a link, its target (relative to the link's folder) is replaced, or created.
TEST_F(SafeWrite, BytesArriveUnchangedModesAndLinksAreKept) {
    const fs::path path = dir / "newatoms.dat";
    const std::string bytes = std::string("ATOM Q  1   X= .5 \r\n") + '\0' + "\n\xff";
    EXPECT_FALSE(WriteFileAtomically(path.string(), std::string(5000, 'x')).has_value());
    ::chmod(path.c_str(), 0604);
    const mode_t oldMask = ::umask(077);
    EXPECT_FALSE(WriteFileAtomically(path.string(), bytes).has_value());
    ::umask(oldMask);
    EXPECT_EQ(Read(path), bytes);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real" / "scene.pov") << "old scene";
    fs::create_symlink("real/scene.pov", dir / "scene.pov");
    fs::create_symlink("real/picture.tga", dir / "picture.tga");
    EXPECT_FALSE(WriteFileAtomically((dir / "scene.pov").string(), "new scene").has_value());
    EXPECT_FALSE(WriteFileAtomically((dir / "picture.tga").string(), "pixels").has_value());
    EXPECT_EQ(fs::read_symlink(dir / "scene.pov"), "real/scene.pov");
    EXPECT_EQ(Read(dir / "real" / "scene.pov"), "new scene");
    EXPECT_EQ(Read(dir / "real" / "picture.tga"), "pixels");
    EXPECT_EQ(Entries(), (std::set<std::string>{"newatoms.dat", "picture.tga", "real", "scene.pov"}));
}

// A read-only file is refused also where the system would let an administrator through; a
// missing folder, a folder, a device and a write that fails part way (at a file size limit)
// end with a message naming the file, and leave everything as it was.
TEST_F(SafeWrite, FailuresNameTheFileAndLeaveEverythingAsItWas) {
    const fs::path readOnly = dir / "precious.dat", target = dir / "picture.tga", path = dir / "newatoms.dat";
    std::ofstream(readOnly) << "precious";
    ::chmod(readOnly.c_str(), 0444);
    ExpectHolds(WriteFileAtomically(readOnly.string(), "new").value_or(""), {readOnly.string(), "read-only"});
    EXPECT_EQ(Read(readOnly), "precious");
    fs::create_directory(target);
    std::ofstream(target / "inside.txt") << "kept";
    for (const std::string& failing :
         {(dir / "no_such_dir" / "x.dat").string(), target.string(), std::string("/dev/null")})
        ExpectHolds(WriteFileAtomically(failing, "x").value_or(""), {"Cannot write the file " + failing + ": "});
    EXPECT_EQ(Read(target / "inside.txt"), "kept");
    std::ofstream(path) << "old";
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
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(Entries(), (std::set<std::string>{"newatoms.dat", "picture.tga", "precious.dat"}));
}

// Temporary names in use are not touched; new files never replace earlier ones.
TEST_F(SafeWrite, TakenNamesAreLeftAlone) {
    const std::string path = (dir / "newatoms.dat").string();
    std::ofstream(path + ".1.tmp") << "someone else's";
    ASSERT_FALSE(WriteFileAtomically(path, "mine").has_value());
    EXPECT_EQ(Read(path), "mine");
    EXPECT_EQ(Read(path + ".1.tmp"), "someone else's");
    EXPECT_EQ(WriteNewFile(dir.string(), "map-unsaved-peaks", ".dat", "one"), (dir / "map-unsaved-peaks.dat").string());
    EXPECT_EQ(WriteNewFile(dir.string(), "map-unsaved-peaks", ".dat", "two"),
              (dir / "map-unsaved-peaks-2.dat").string());
    EXPECT_EQ(Read(dir / "map-unsaved-peaks.dat"), "one");
    EXPECT_EQ(Read(dir / "map-unsaved-peaks-2.dat"), "two");
    EXPECT_FALSE(WriteNewFile((dir / "missing").string(), "x", ".dat", "three").has_value());
}

}   // namespace
}   // namespace tivarel
