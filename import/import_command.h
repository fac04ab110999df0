#pragma once
// The tivarel-import command: arguments, the conversion, messages and the output file.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tivarel {

struct ImportArguments {
    std::string mapPath;      // a map or a reflection file
    std::string modelPath;    // empty: no model
    std::string outputPath;   // the map's name with .mt1 unless given
    std::optional<double> step, margin;
    double scale = 1.0;
    bool difference = false;              // --diff: the difference map of reflection files
    std::string amplitude, phase;         // --f, --phi: the coefficients named by the user
    bool open = false;                    // --open: convert into the cache and start the viewer
    bool help = false;
};

// What the command takes from its surroundings; tests give their own.
struct ImportEnvironment {
    std::string programFolder;   // where the viewer and its side files (cell_table.dat) lie
    std::string cacheFolder;     // where --open keeps its conversions
    // Replaces the command by the viewer showing `map`; returns only with a problem.
    std::function<std::string(const std::string& viewer, const std::string& map)> startViewer;
};

// The folder of the running program, $XDG_CACHE_HOME/tivarel (or ~/.cache/tivarel), and exec.
ImportEnvironment SystemEnvironment();

// Throws InputError ("usage: ...") when the arguments do not make a command.
ImportArguments ParseImportArguments(const std::vector<std::string>& args);

// The map's name without .gz and its extension, with .mt1: maps/x.ccp4.gz -> maps/x.mt1;
// a difference map's with -diff.mt1, so that it does not replace the map's.
std::string DefaultOutputPath(const std::string& mapPath, bool difference = false);

extern const char* const kImportHelp;

// Runs the command; progress and errors go to `err`, help to `out`. Returns the exit
// status: 0 when the map was written, 1 on any problem (and then no file is written).
int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const ImportEnvironment& environment = SystemEnvironment());

}  // namespace tivarel
