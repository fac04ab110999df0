#include "import/open_cache.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "export/safe_write.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

std::string Absolute(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// 64-bit FNV-1a: the same text gives the same name in every run and on every machine.
uint64_t Fingerprint(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

std::string Name(const std::string& source) {
    std::string name = fs::path(source).filename().string();
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) name.resize(name.size() - 3);
    if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? "map" : name;
}

}  // namespace

std::string CachedMapPath(const std::string& cacheFolder, const std::vector<std::string>& sources,
                          const std::string& options) {
    std::string key = options;
    for (const std::string& source : sources) key += "\n" + Absolute(source);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fingerprint(key)));
    return (fs::path(cacheFolder) / (Name(sources.front()) + "-" + hash + ".mt1")).string();
}

std::string SourceStamp(const std::vector<std::string>& sources, const std::string& options) {
    std::string stamp = "options " + options + "\n";
    for (const std::string& source : sources) {
        std::error_code error;
        const uintmax_t size = fs::file_size(source, error);
        if (error) return {};
        const fs::file_time_type time = fs::last_write_time(source, error);
        if (error) return {};
        stamp += Absolute(source) + " " + std::to_string(size) + " " +
                 std::to_string(time.time_since_epoch().count()) + "\n";
    }
    return stamp;
}

bool CacheIsFresh(const std::string& cachedMap, const std::string& stamp) {
    std::error_code error;
    if (stamp.empty() || !fs::is_regular_file(cachedMap, error)) return false;
    std::ifstream in(cachedMap + ".source", std::ios::binary);
    const std::string recorded{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.good() || in.eof() ? recorded == stamp : false;
}

bool WriteStamp(const std::string& cachedMap, const std::string& stamp) {
    return !WriteFileAtomically(cachedMap + ".source", stamp).has_value();
}

}  // namespace tivarel
