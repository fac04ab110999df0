#include "mapio/side_files.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "mapio/program_stop.h"

namespace tivarel {

std::string SideFilePath(const std::string& programDir, const std::string& fileName) {
    if (programDir.empty()) return fileName;
    if (programDir.back() == '/') return programDir + fileName;
    return programDir + "/" + fileName;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) stopProgram("Cannot open the file " + path);
    // One allocation of the file's size where it is known: growing a buffer of a
    // large map step by step costs as much as parsing it.
    std::string bytes;
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(path, unknown);
    if (!unknown) bytes.reserve(static_cast<size_t>(size));
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes.append(chunk, static_cast<size_t>(in.gcount()));
    if (in.bad()) stopProgram("Cannot read the file " + path);
    return bytes;
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
