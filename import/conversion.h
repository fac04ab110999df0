#pragma once
// One conversion of tivarel-import, step by step: the density (a map, or the map of
// reflections), the model placed on it, the resampling, the checks against what the
// viewer can show, and the MT1 file.
#include <iosfwd>
#include <string>

#include "import/import_command.h"

namespace tivarel {

inline constexpr const char* kImportPrefix = "tivarel-import: ";

// Converts as the arguments say, telling each step on `err`; `sideFolder` holds the
// viewer's case table, with which the triangles of its default levels are counted.
// Throws InputError naming the file; nothing is written then.
void ConvertFiles(const ImportArguments& a, const std::string& sideFolder, std::ostream& err);

}  // namespace tivarel
