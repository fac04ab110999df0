#include "mapio/side_files.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mapio/input_error.h"

namespace tivarel {

std::string SideFilePath(const std::string& programDir, const std::string& fileName) {
    if (programDir.empty()) return fileName;
    if (programDir.back() == '/') return programDir + fileName;
    return programDir + "/" + fileName;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("Cannot open the file " + path);
    // One allocation of the file's size where it is known: growing a buffer of a
    // large map step by step costs as much as parsing it.
    std::string bytes;
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(path, unknown);
    if (!unknown) bytes.reserve(static_cast<size_t>(size));
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes.append(chunk, static_cast<size_t>(in.gcount()));
    if (in.bad()) Fail("Cannot read the file " + path);
    return bytes;
}

FileBytes::FileBytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        const auto size = static_cast<size_t>(status.st_size);
        // Populated at once: the reading that follows then meets no page faults.
        void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapping != MAP_FAILED) {
            mapping_ = mapping;
            mappedSize_ = size;
            view_ = std::string_view(static_cast<const char*>(mapping), size);
        }
    }
    if (fd >= 0) ::close(fd);
    if (!mapping_) {   // not a regular file, empty, or not mappable: the messages of a plain read
        read_ = ReadWholeFile(path);
        view_ = read_;
    }
}

FileBytes::~FileBytes() {
    if (mapping_) ::munmap(mapping_, mappedSize_);
}

std::vector<std::string_view> SideFileLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace tivarel
