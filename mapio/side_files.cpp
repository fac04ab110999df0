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

}  // namespace tivarel
