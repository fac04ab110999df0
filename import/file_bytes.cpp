#include "import/file_bytes.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "import/import_error.h"

namespace tivarel {
namespace {

struct GzClose {
    void operator()(gzFile file) const { gzclose_r(file); }
};
using GzFile = std::unique_ptr<std::remove_pointer_t<gzFile>, GzClose>;

struct FdClose {
    void operator()(const int* fd) const { ::close(*fd); }
};

[[noreturn]] void FailRead(const std::string& path, gzFile file) {
    int code = Z_OK;
    const char* reason = gzerror(file, &code);
    if (code == Z_ERRNO) reason = std::strerror(errno);
    if (code == Z_BUF_ERROR) reason = "the compressed data ends early";
    FailImport(path, std::string("cannot be read: ") + reason);
}

[[noreturn]] void FailErrno(const std::string& path, const char* what) {
    FailImport(path, std::string(what) + std::strerror(errno != 0 ? errno : EIO));
}

// The file's bytes as they are, read at once into a buffer of its size.
std::string ReadRaw(const std::string& path) {
    errno = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) FailErrno(path, "cannot be opened: ");
    const std::unique_ptr<const int, FdClose> closer(&fd);
    struct stat info {};
    std::string bytes;
    // One byte more than the file's size, so that the read that meets its end needs no more room.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) bytes.reserve(size_t(info.st_size) + 1);
    constexpr size_t kChunk = size_t{1} << 20;
    for (;;) {
        const size_t have = bytes.size();
        bytes.resize(have < bytes.capacity() ? bytes.capacity() : have + kChunk);
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) {
            bytes.resize(have);
            continue;
        }
        if (got < 0) FailErrno(path, "cannot be read: ");
        bytes.resize(have + size_t(got));
        if (got == 0) return bytes;
    }
}

bool IsGzip(const std::string& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f && static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// A gzip file of one member, inflated in one pass by libdeflate into a buffer of the size
// its trailer gives; nothing when it is of several members, damaged or its trailer is not
// believable, so that zlib reads it (and words what is wrong).
std::optional<std::string> InflateWhole(const std::string& gz) {
    constexpr size_t kTrailer = 8, kMaxRatio = 1032;   // deflate expands at most 1032-fold
    if (gz.size() < 18) return std::nullopt;
    const auto* end = reinterpret_cast<const unsigned char*>(gz.data() + gz.size());
    const size_t size = size_t(end[-4]) | size_t(end[-3]) << 8 | size_t(end[-2]) << 16 | size_t(end[-1]) << 24;
    if (size / kMaxRatio > gz.size() - kTrailer) return std::nullopt;
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!inflater) return std::nullopt;
    std::string out(size, '\0');
    size_t used = 0, written = 0;
    const libdeflate_result result =
        libdeflate_gzip_decompress_ex(inflater.get(), gz.data(), gz.size(), out.data(), out.size(), &used, &written);
    if (result != LIBDEFLATE_SUCCESS || used != gz.size() || written != size) return std::nullopt;
    return out;
}

// zlib's reading, chunk by chunk: every kind of gzip file, and its words for damage.
std::string ReadThroughZlib(const std::string& path) {
    errno = 0;
    GzFile file(gzopen(path.c_str(), "rb"));
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

}  // namespace

std::string ReadPossiblyGzipped(const std::string& path) {
    std::string bytes = ReadRaw(path);
    if (!IsGzip(bytes)) return bytes;
    if (std::optional<std::string> inflated = InflateWhole(bytes)) return std::move(*inflated);
    return ReadThroughZlib(path);
}

}  // namespace tivarel
