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

std::string Gzipped(const std::string& text) {
    uLongf size = compressBound(uLong(text.size())) + 32;
    std::string out(size, '\0');
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);   // 16: a gzip wrapper
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(size);
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(FileBytes, PlainGzippedAndSeveralMemberFilesReadWholeAndDamagedOnesSayHow) {
    TempFolder folder;
    const std::string path = (folder.path() / "map.ccp4").string();
    const std::string text(100000, 'x'), other = "MAP " + std::string(5000, 'y'), gz = Gzipped(text);
    const std::pair<std::string, std::string> files[] = {
        {text, text}, {gz, text}, {Gzipped(other) + gz, other + text}, {"", ""}};
    for (const auto& [bytes, expected] : files) {
        WriteFile(path, bytes);
        EXPECT_EQ(ReadPossiblyGzipped(path), expected);
    }
    // Cut in half; a trailer whose length is not the data's.
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
