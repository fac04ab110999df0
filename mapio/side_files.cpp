#include "mapio/side_files.h"

#include <fstream>
#include <sstream>

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
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) stopProgram("Cannot read the file " + path);
    return std::move(bytes).str();
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
