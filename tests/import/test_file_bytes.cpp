// Reading a file that may be gzipped: whole files in one pass, and zlib's reading (with
// its words for damage) for gzip files of several members or cut short.
#include <gtest/gtest.h>
#include <zlib.h>

#include "../test_files.h"
#include "import/file_bytes.h"
#include "mapio/input_error.h"

namespace tivarel {
namespace {

using namespace test_support;

// Appending writes a further gzip member.
void WriteGzip(const std::string& path, const std::string& text, const char* mode = "wb") {
    gzFile file = gzopen(path.c_str(), mode);
    gzwrite(file, text.data(), unsigned(text.size()));
    gzclose(file);
}

TEST(FileBytes, PlainGzippedAndSeveralMemberFilesReadWholeAndDamagedOnesSayHow) {
    TempFolder folder;
    const std::string path = (folder.path() / "map.ccp4").string();
    const std::string text(100000, 'x'), other = "MAP " + std::string(5000, 'y');
    for (const std::string& plain : {std::string(), text}) {
        WriteFile(path, plain);
        EXPECT_EQ(ReadPossiblyGzipped(path), plain);
    }
    WriteGzip(path, other);
    WriteGzip(path, text, "ab");
    EXPECT_EQ(ReadPossiblyGzipped(path), other + text);
    WriteGzip(path, text);
    EXPECT_EQ(ReadPossiblyGzipped(path), text);
    // Cut in half; a trailer whose length is not the data's.
    const std::string gz = ReadFile(path);
    const std::pair<std::string, std::string> damaged[] = {
        {gz.substr(0, gz.size() / 2), ": cannot be read: the compressed data ends early"},
        {gz.substr(0, gz.size() - 4) + std::string("\x01\0\0\0", 4), ": cannot be read: "}};
    for (const auto& [bytes, message] : damaged) {
        WriteFile(path, bytes);
        try {
            ReadPossiblyGzipped(path);
            ADD_FAILURE() << "a damaged gzip file was read";
        } catch (const InputError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(path + message, 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace tivarel
