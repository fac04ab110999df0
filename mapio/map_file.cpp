#include "mapio/map_file.h"

#include <algorithm>
#include <iterator>

#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/input_error.h"

namespace tivarel {

namespace {
// ASCII only, whatever the locale.
bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The name as a shell word: quoted unless it holds only characters the shell takes as they are.
std::string ShellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return IsAsciiAlnum(c) || std::string("_./+-,:@%=").find(c) != std::string::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
}  // namespace

std::string ExtensionOf(const std::string& fileName) {
    return fileName.size() <= 3 ? fileName : fileName.substr(fileName.size() - 3);
}

MapFormat FormatOfName(const std::string& fileName) {
    const std::string ext = ExtensionOf(fileName);
    if (ext == "mt1" || ext == "MT1") return MapFormat::Mt1;
    if (ext == "fou" || ext == "FOU") return MapFormat::Fou;
    if (ext == "grd" || ext == "GRD") return MapFormat::Grd;
    return MapFormat::Unknown;
}

DensityMap ReadMapFile(const std::string& path) {
    switch (FormatOfName(path)) {
    case MapFormat::Fou: return ReadFouMap(path);
    case MapFormat::Mt1: return ReadMt1Map(path);
    case MapFormat::Grd: return ReadGrdMap(path);
    case MapFormat::Unknown: break;
    }
    throw InputError("Strange file extension !!!");
}

std::string ImportHint(const std::string& fileName) {
    std::string name = fileName;
    std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
    if (EndsWith(name, ".gz")) name.resize(name.size() - 3);
    // Maps and reflections; models (.pdb, .ent) only come with a map.
    const char* const kImported[] = {".map", ".ccp4", ".mrc", ".mtz", ".cif", ".fcf", ".hkl"};
    const bool imported = std::any_of(std::begin(kImported), std::end(kImported),
                                      [&](const char* end) { return name.size() > std::string(end).size() && EndsWith(name, end); });
    if (!imported) return {};
    return "tivarel: " + fileName + ": convert it first with: tivarel-import " + ShellWord(fileName);
}

}  // namespace tivarel
