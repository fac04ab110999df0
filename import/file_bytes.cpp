#include "import/file_bytes.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "import/import_error.h"

namespace tivarel {
namespace {

struct GzClose {
    void operator()(gzFile file) const { gzclose_r(file); }
};
using GzFile = std::unique_ptr<std::remove_pointer_t<gzFile>, GzClose>;

[[noreturn]] void FailRead(const std::string& path, gzFile file) {
    int code = Z_OK;
    const char* reason = gzerror(file, &code);
    if (code == Z_ERRNO) reason = std::strerror(errno);
    if (code == Z_BUF_ERROR) reason = "the compressed data ends early";
    FailImport(path, std::string("cannot be read: ") + reason);
}

}  // namespace

std::string ReadPossiblyGzipped(const std::string& path) {
    errno = 0;
    GzFile file(gzopen(path.c_str(), "rb"));   // zlib reads a file that is not gzipped as it is
    if (!file) FailImport(path, std::string("cannot be opened: ") + std::strerror(errno != 0 ? errno : ENOMEM));
    gzbuffer(file.get(), 1u << 17);
    std::string bytes;
    constexpr size_t kChunk = size_t{1} << 20;
    for (;;) {
        const size_t have = bytes.size();
        bytes.resize(have + kChunk);
        const int got = gzread(file.get(), bytes.data() + have, static_cast<unsigned>(kChunk));
        if (got < 0) FailRead(path, file.get());
        bytes.resize(have + static_cast<size_t>(got));
        if (got == 0) break;
    }
    int code = Z_OK;
    gzerror(file.get(), &code);
    if (code != Z_OK) FailRead(path, file.get());
    return bytes;
}

}  // namespace tivarel
