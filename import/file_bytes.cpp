#include "import/file_bytes.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <memory>
#include <optional>

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

[[noreturn]] void FailErrno(const std::string& path, const char* what) {
    FailImport(path, std::string(what) + std::strerror(errno != 0 ? errno : EIO));
}

// A file open for reading, closed with this; `size` when it is a regular file.
struct OpenFile {
    int fd = -1;
    std::optional<size_t> size;
    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

void Open(const std::string& path, OpenFile& file) {
    errno = 0;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) FailErrno(path, "cannot be opened: ");
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode)) file.size = size_t(info.st_size);
}

// The file's bytes as they are, read at once into a buffer of its size.
std::string ReadRaw(const OpenFile& file, const std::string& path) {
    std::string bytes;
    // One byte more than the file's size, so that the read that meets its end needs no more room.
    if (file.size) bytes.reserve(*file.size + 1);
    constexpr size_t kChunk = size_t{1} << 20;
    for (;;) {
        const size_t have = bytes.size();
        bytes.resize(have < bytes.capacity() ? bytes.capacity() : have + kChunk);
        const ssize_t got = ::read(file.fd, bytes.data() + have, bytes.size() - have);
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

constexpr size_t kTrailer = 8, kMaxRatio = 1032;   // deflate expands at most 1032-fold

// The content's size that a gzip file's trailer gives (modulo 2^32), when the file's size
// makes it believable.
std::optional<size_t> TrailerSize(const unsigned char* end, size_t fileSize) {
    if (fileSize < 18) return std::nullopt;
    const size_t size = size_t(end[-4]) | size_t(end[-3]) << 8 | size_t(end[-2]) << 16 | size_t(end[-1]) << 24;
    if (size / kMaxRatio > fileSize - kTrailer) return std::nullopt;
    return size;
}

// The same read from a gzip file before its bytes are, from its first two and last four.
std::optional<size_t> TrailerSize(const OpenFile& file) {
    unsigned char magic[2] = {}, end[4] = {};
    if (!file.size || *file.size < 18 || ::pread(file.fd, magic, 2, 0) != 2 || magic[0] != 0x1f || magic[1] != 0x8b ||
        ::pread(file.fd, end, 4, off_t(*file.size - 4)) != 4)
        return std::nullopt;
    return TrailerSize(end + 4, *file.size);
}

// A gzip file of one member, inflated in one pass by libdeflate into `out`, made the size
// its trailer gives; nothing when it is of several members, damaged or its trailer is not
// believable, so that zlib reads it (and words what is wrong).
std::optional<std::string> InflateWhole(const std::string& gz, std::string out) {
    const std::optional<size_t> size =
        TrailerSize(reinterpret_cast<const unsigned char*>(gz.data() + gz.size()), gz.size());
    if (!size) return std::nullopt;
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!inflater) return std::nullopt;
    out.resize(*size);
    size_t used = 0, written = 0;
    const libdeflate_result result =
        libdeflate_gzip_decompress_ex(inflater.get(), gz.data(), gz.size(), out.data(), out.size(), &used, &written);
    if (result != LIBDEFLATE_SUCCESS || used != gz.size() || written != *size) return std::nullopt;
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
    OpenFile file;
    Open(path, file);
    // A large map's content takes tens of megabytes, whose pages the kernel hands out one
    // fault at a time: its buffer is made on another core while the compressed bytes are read.
    constexpr size_t kLarge = size_t{1} << 22;
    std::future<std::string> content;
    if (const std::optional<size_t> size = TrailerSize(file); size && *size >= kLarge)
        content = std::async(std::launch::async, [n = *size] { return std::string(n, '\0'); });
    std::string bytes = ReadRaw(file, path);
    if (!IsGzip(bytes)) return bytes;
    if (std::optional<std::string> inflated = InflateWhole(bytes, content.valid() ? content.get() : std::string()))
        return std::move(*inflated);
    return ReadThroughZlib(path);
}

}  // namespace tivarel
