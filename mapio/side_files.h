#pragma once
// Whole-file reads of maps and side files, with orderly messages naming the file.
#include <string>

namespace tivarel {

// Path of a side file that lies in the program's own directory.
std::string SideFilePath(const std::string& programDir, const std::string& fileName);

// The file's bytes; throws ProgramStop naming the file when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace tivarel
