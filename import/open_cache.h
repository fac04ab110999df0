#pragma once
// Where `tivarel-import --open` keeps its conversions: one MT1 map per source file and
// options in the user's cache folder, reused while the source files are unchanged.
#include <string>
#include <vector>

namespace tivarel {

// The cached map for these sources and options: FOLDER/NAME-HASH.mt1, NAME the source's
// name without its extensions, HASH of the sources' absolute paths and the options.
std::string CachedMapPath(const std::string& cacheFolder, const std::vector<std::string>& sources,
                          const std::string& options);

// What the cached map was made from: each source's absolute path, size and modification
// time, and the options. Empty when a source cannot be examined.
std::string SourceStamp(const std::vector<std::string>& sources, const std::string& options);

// The cached map exists and was made from sources with this stamp.
bool CacheIsFresh(const std::string& cachedMap, const std::string& stamp);

// Records the stamp beside the cached map (CACHED.source); false when it cannot be written.
bool WriteStamp(const std::string& cachedMap, const std::string& stamp);

}  // namespace tivarel
