#include "import/file_bytes.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
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

// Files from this size on are read in two halves at once, and a gzipped file's content of
// this size has its buffer made on another core: much of the time that takes a large buffer
// to fill is the kernel handing out its pages, one fault at a time.
constexpr size_t kLarge = size_t{1} << 22;
// What a file of no known size, or zlib, gives at a time at least.
constexpr size_t kChunk = size_t{1} << 20;

// Reads on from the content's end until the file ends, making more room as needed.
void ReadToEnd(int fd, const std::string& path, FileContent& content) {
    for (;;) {
        if (content.size() == content.capacity()) content.reserve(content.size() + kChunk);
        const ssize_t got = ::read(fd, content.data() + content.size(), content.capacity() - content.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) FailErrno(path, "cannot be read: ");
        if (got == 0) return;
        content.setSize(content.size() + size_t(got));
    }
}

// Up to `count` bytes from `offset`, fewer where the file ends; the error number when a
// read fails.
struct Piece {
    size_t got = 0;
    int error = 0;
};

Piece ReadAt(int fd, char* into, size_t count, size_t offset) {
    Piece piece;
    while (piece.got < count) {
        const ssize_t n = ::pread(fd, into + piece.got, count - piece.got, off_t(offset + piece.got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) piece.error = errno != 0 ? errno : EIO;
        if (n <= 0) break;
        piece.got += size_t(n);
    }
    return piece;
}

// The file's bytes as they are, read into a buffer of its size (one byte more, so that the
// read that meets its end needs no more room); a large file in two halves at once unless the
// other core is busy. A file that is not what its size said (it changed meanwhile) is read
// again from its start.
FileContent ReadRaw(const OpenFile& file, const std::string& path, bool inHalves) {
    FileContent content(file.size ? *file.size + 1 : 0);
    if (file.size && *file.size > 0) {
        const size_t size = *file.size, half = inHalves && size >= kLarge ? size / 2 : size;
        std::future<Piece> second;
        if (half < size)
            second = std::async(std::launch::async, [&] { return ReadAt(file.fd, content.data() + half, size - half, half); });
        const Piece first = ReadAt(file.fd, content.data(), half, 0);
        const Piece rest = second.valid() ? second.get() : Piece{};
        if (first.error != 0 || rest.error != 0) {
            errno = first.error != 0 ? first.error : rest.error;
            FailErrno(path, "cannot be read: ");
        }
        if (first.got + rest.got == size && ::lseek(file.fd, off_t(size), SEEK_SET) == off_t(size)) {
            content.setSize(size);
        } else if (::lseek(file.fd, 0, SEEK_SET) != 0) {
            FailErrno(path, "cannot be read: ");
        }
    }
    ReadToEnd(file.fd, path, content);
    return content;
}

bool IsGzip(std::string_view bytes) {
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

// A buffer of `size` bytes whose pages are taken from the kernel here.
FileContent TouchedBuffer(size_t size) {
    FileContent buffer(size);
    std::memset(buffer.data(), 0, size);
    return buffer;
}

// A gzip file of one member, inflated in one pass by libdeflate into `out` (made larger
// when it holds less than the trailer gives); nothing when it is of several members,
// damaged or its trailer is not believable, so that zlib reads it (and words what is wrong).
std::optional<FileContent> InflateWhole(std::string_view gz, FileContent out) {
    const std::optional<size_t> size =
        TrailerSize(reinterpret_cast<const unsigned char*>(gz.data() + gz.size()), gz.size());
    if (!size) return std::nullopt;
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!inflater) return std::nullopt;
    if (out.capacity() < *size) out = FileContent(*size);
    size_t used = 0, written = 0;
    const libdeflate_result result =
        libdeflate_gzip_decompress_ex(inflater.get(), gz.data(), gz.size(), out.data(), *size, &used, &written);
    if (result != LIBDEFLATE_SUCCESS || used != gz.size() || written != *size) return std::nullopt;
    out.setSize(written);
    return out;
}

// zlib's reading, chunk by chunk: every kind of gzip file, and its words for damage.
FileContent ReadThroughZlib(const std::string& path) {
    errno = 0;
    GzFile file(gzopen(path.c_str(), "rb"));
    if (!file) FailImport(path, std::string("cannot be opened: ") + std::strerror(errno != 0 ? errno : ENOMEM));
    gzbuffer(file.get(), 1u << 17);
    FileContent content;
    for (;;) {
        content.reserve(content.size() + kChunk);
        const int got = gzread(file.get(), content.data() + content.size(), static_cast<unsigned>(kChunk));
        if (got < 0) FailRead(path, file.get());
        if (got == 0) break;
        content.setSize(content.size() + static_cast<size_t>(got));
    }
    int code = Z_OK;
    gzerror(file.get(), &code);
    if (code != Z_OK) FailRead(path, file.get());
    return content;
}

}  // namespace

FileContent::FileContent(size_t capacity)
    : data_(std::make_unique_for_overwrite<char[]>(capacity)), capacity_(capacity) {}

void FileContent::reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    FileContent larger(std::max(capacity, capacity_ + capacity_ / 2));
    if (size_ > 0) std::memcpy(larger.data(), data(), size_);
    larger.size_ = size_;
    *this = std::move(larger);
}

FileContent ReadPossiblyGzipped(const std::string& path) {
    OpenFile file;
    Open(path, file);
    std::future<FileContent> content;
    if (const std::optional<size_t> size = TrailerSize(file); size && *size >= kLarge)
        content = std::async(std::launch::async, [n = *size] { return TouchedBuffer(n); });
    FileContent bytes = ReadRaw(file, path, !content.valid());
    if (!IsGzip(bytes)) return bytes;
    if (std::optional<FileContent> inflated = InflateWhole(bytes, content.valid() ? content.get() : FileContent()))
        return std::move(*inflated);
    return ReadThroughZlib(path);
}

}  // namespace tivarel
