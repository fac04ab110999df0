#include "export/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tivarel {

namespace {

namespace fs = std::filesystem;

std::string CannotWrite(const std::string& path, const std::string& reason) {
    return "Cannot write the file " + path + ": " + reason;
}

// The file a path names after following symbolic links, also when the last link
// points to a file that does not exist yet. Nothing when the links form a loop.
std::optional<fs::path> FinalTarget(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path target = fs::read_symlink(path, error);
        if (error) return std::nullopt;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;
}

// Writes all bytes and flushes them to disk; false with errno set otherwise.
bool WriteAllAndSync(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return ::fsync(fd) == 0;
}

// Flushes a folder's entries (a new or renamed file) to disk; best effort.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A new temporary file beside `target` that did not exist before.
int OpenTemporary(const fs::path& target, fs::path& tempPath, mode_t mode) {
    for (int k = 1; k <= 1000; ++k) {
        tempPath = target;
        tempPath += "." + std::to_string(k) + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path, const std::string& bytes) {
    const std::optional<fs::path> target = FinalTarget(path);
    if (!target) return CannotWrite(path, "its symbolic links form a loop");
    mode_t mode = 0666;   // a new file: the process's umask applies
    struct stat old {};
    const bool exists = ::stat(target->c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode)) return CannotWrite(path, std::strerror(EISDIR));
        if (!S_ISREG(old.st_mode)) return CannotWrite(path, "it is not a plain file");
        // Refused also where the system would let an administrator through: a file
        // without any write permission is one its owner wants kept.
        if (::access(target->c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0)
            return CannotWrite(path, "the file is read-only; it was left as it was");
        mode = old.st_mode & 07777;
    }
    fs::path tempPath;
    const int fd = OpenTemporary(*target, tempPath, mode);
    if (fd < 0) return CannotWrite(path, std::strerror(errno));
    int error = 0;
    // The old file's mode as it was, not as the umask would cut it.
    if (exists && ::fchmod(fd, mode) != 0) error = errno;
    if (error == 0 && !WriteAllAndSync(fd, bytes)) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(tempPath.c_str(), target->c_str()) != 0) error = errno;
    if (error == 0) {
        SyncFolder(target->parent_path());
        return std::nullopt;
    }
    ::unlink(tempPath.c_str());
    return CannotWrite(path, std::strerror(error));
}

std::optional<std::string> WriteNewFile(const std::string& folder, const std::string& stem,
                                        const std::string& extension, const std::string& bytes) {
    for (int k = 1; k <= 1000; ++k) {
        const fs::path path =
            fs::path(folder) / (stem + (k == 1 ? std::string() : "-" + std::to_string(k)) + extension);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return std::nullopt;
        }
        const bool written = WriteAllAndSync(fd, bytes);
        if (::close(fd) == 0 && written) {
            SyncFolder(folder);
            return path.string();
        }
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace tivarel
