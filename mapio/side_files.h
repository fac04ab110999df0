#pragma once
// Whole-file reads of maps and side files, with orderly messages naming the file.
#include <string>
#include <string_view>
#include <vector>

namespace tivarel {

// Path of a side file that lies in the program's own directory.
std::string SideFilePath(const std::string& programDir, const std::string& fileName);

// The file's bytes; throws InputError naming the file when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A map file's bytes, read once: a regular file is mapped (no copy, nothing to
// allocate), anything else read whole. Throws as ReadWholeFile does.
class FileBytes {
public:
    explicit FileBytes(const std::string& path);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    std::string_view view() const { return view_; }

private:
    void* mapping_ = nullptr;
    size_t mappedSize_ = 0;
    std::string read_;
    std::string_view view_;
};

// Lines of a side file; a line ends with CR LF, a lone CR or a lone LF, and a
// line end at the very end of the text does not start another line.
std::vector<std::string_view> SideFileLines(std::string_view text);

}  // namespace tivarel
