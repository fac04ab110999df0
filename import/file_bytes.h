#pragma once
#include <string>

namespace tivarel {

// The whole content of a file, uncompressed when it is gzipped (told by its
// content, not its name). Throws InputError naming the file when it cannot be read.
std::string ReadPossiblyGzipped(const std::string& path);

}  // namespace tivarel
