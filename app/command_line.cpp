#include "app/command_line.h"

namespace tivarel {

namespace {
// If the text starts with `flag`: sets the mode and drops the flag and one following character.
void TakeSwitch(CommandLine& line, const std::string& flag, StereoMode mode) {
    std::string& text = line.mapPath;
    if (text.compare(0, flag.size(), flag) != 0) return;
    line.stereoMode = mode;
    text = text.size() > flag.size() + 1 ? text.substr(flag.size() + 1) : std::string();
}
}  // namespace

CommandLine ParseCommandLine(const std::string& text) {
    CommandLine line{StereoMode::None, text};
    TakeSwitch(line, "-StereoHW", StereoMode::Hardware);
    TakeSwitch(line, "-StereoInterlaced", StereoMode::Interlaced);
    return line;
}

}  // namespace tivarel
