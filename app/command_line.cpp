#include "app/command_line.h"

namespace tivarel {

namespace {
// If `text` starts with `flag`: sets the mode and drops the flag and one following character.
void TakeSwitch(std::string& text, const std::string& flag, std::string& stereoMode) {
    if (text.compare(0, flag.size(), flag) != 0) return;
    stereoMode = flag.substr(1);
    text = text.size() > flag.size() + 1 ? text.substr(flag.size() + 1) : std::string();
}
}  // namespace

void ParseSwitches(std::string& text, std::string& stereoMode) {
    TakeSwitch(text, "-StereoHW", stereoMode);
    TakeSwitch(text, "-StereoInterlaced", stereoMode);
    if (stereoMode == "Nothing") stereoMode = "NoStereo";
}

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

}  // namespace tivarel
