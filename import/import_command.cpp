#include "import/import_command.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "import/conversion.h"
#include "import/import_error.h"
#include "import/open_cache.h"
#include "mapio/map_model.h"
#include "surface/march_cubes.h"

namespace tivarel {

const char* const kImportHelp =
    "Usage: tivarel-import INPUT [--model MODEL] [-o OUT.mt1] [--step Å] [--margin Å] [--scale F]\n"
    "                            [--diff] [--f LABEL --phi LABEL] [--open]\n"
    "\n"
    "Converts a density map, or the map computed from reflections, into an MT1 map that the\n"
    "Tivarel viewer opens. INPUT is told by its content (gzipped or not):\n"
    "  - a CCP4/MRC map (modes 0, 1, 2 and 6, any axis order);\n"
    "  - an MTZ file of map coefficients: FWT/PHWT, else 2FOFCWT/PH2FOFCWT, else FWT/PHIFWT;\n"
    "    with --diff DELFWT/PHDELWT, else FOFCWT/PHFOFCWT, else DELFWT/PHIDELFWT;\n"
    "  - a structure-factor mmCIF: pdbx_FWT/pdbx_PHWT; with --diff pdbx_DELFWT/pdbx_DELPHWT;\n"
    "  - a small-molecule reflection CIF (_refln_index_h ...): F_squared_meas (or F_meas) with\n"
    "    the file's F_calc/phase_calc, or, without them, phased by the structure given with\n"
    "    --model (a small-molecule CIF); |Fo| is scaled to |Fc| by least squares. The map is\n"
    "    Fo; with --diff Fo - Fc. A file of F_calc/phase_calc only gives the Fc map.\n"
    "Reflections are expanded by symmetry and Friedel's law and Fourier transformed (gemmi's\n"
    "FFT) over one cell on a grid of at least 3 points per d-min; the values keep the units of\n"
    "the coefficients (electrons per cubic Angstrom), with no normalisation.\n"
    "\n"
    "The density is resampled by trilinear interpolation onto a Cartesian grid in the usual\n"
    "orthogonal frame of the cell (a along x, b in the x-y plane). A map that fills its cell,\n"
    "by itself or through the symmetry of its space group, is resampled over one whole cell\n"
    "from its first grid point, periodically; any other map over its own box, and grid points\n"
    "that fall outside its data take the map's minimum. The viewer shows the map about the\n"
    "centre of the resampled box. A model's atoms are moved, by the space group's operations\n"
    "and whole cells, onto a box map's data (or as near it as they go).\n"
    "\n"
    "The grid step defaults to the map's finest spacing, made coarser when the levels the\n"
    "viewer opens with would need more than the 400000 triangles it draws in a layer. The\n"
    "command ends by telling the values' mean and rms and the levels at mean + 1, 2, 3 rms.\n"
    "\n"
    "  -o OUT.mt1      the output (default: the input's name with .mt1, -diff.mt1 with --diff);\n"
    "                  written whole or not at all\n"
    "  --model MODEL   atoms from a small-molecule CIF (which must give its cell), an mmCIF or a\n"
    "                  PDB file (first model; Cartesian positions placed in the map's cell),\n"
    "                  gzipped or not; each labelled with its element, at most 32767\n"
    "  --margin Å      resample only the box around the model's atoms plus this margin\n"
    "  --step Å        grid step (default: the map's finest grid spacing)\n"
    "  --scale F       multiply every value by F; the viewer takes values from -10000 to 10000\n"
    "  --diff          the difference map of a reflection file\n"
    "  --f LABEL       the amplitude column (MTZ) or tag (CIF) of the map coefficients\n"
    "  --phi LABEL     their phase column or tag, in degrees\n"
    "  --open          convert into the cache folder ($XDG_CACHE_HOME/tivarel, else\n"
    "                  ~/.cache/tivarel; reused while the files are unchanged) and show the\n"
    "                  map in the viewer: what a double click on a map or MTZ file runs\n"
    "  -h, --help      show this text\n";

namespace {

// The help text above writes these limits out; it must change with them.
static_assert(kMaxTrianglesPerLayer == 400000 && kMaxCount == 32767 && kValueLimit == 10000.0f,
              "the help text names these limits: change it with them");

[[noreturn]] void Usage(const std::string& problem) { throw InputError("usage: " + problem + " (see --help)"); }

double NumberArgument(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) Usage(option + " needs a number, not '" + text + "'");
    return v;
}

double PositiveArgument(const std::string& option, const std::string& text, bool zeroAllowed) {
    const double v = NumberArgument(option, text);
    if (v < 0.0 || (v == 0.0 && !zeroAllowed)) Usage(option + " must be " + (zeroAllowed ? "0 or more" : "more than 0"));
    return v;
}

bool EndsWithMt1(const std::string& path) {
    const std::string end = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    return end == "mt1" || end == "MT1";
}

}  // namespace

std::string DefaultOutputPath(const std::string& mapPath, bool difference) {
    std::string base = mapPath;
    if (base.size() > 3 && base.compare(base.size() - 3, 3, ".gz") == 0) base.resize(base.size() - 3);
    const size_t slash = base.find_last_of('/');
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) base.resize(dot);
    return base + (difference ? "-diff.mt1" : ".mt1");
}

ImportArguments ParseImportArguments(const std::vector<std::string>& args) {
    ImportArguments a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            a.help = true;
            return a;
        }
        const bool takesValue = arg == "--model" || arg == "-o" || arg == "--step" || arg == "--margin" ||
                                arg == "--scale" || arg == "--f" || arg == "--phi";
        if (takesValue && i + 1 == args.size()) Usage(arg + " needs a value");
        if (arg == "--model") a.modelPath = args[++i];
        else if (arg == "-o") a.outputPath = args[++i];
        else if (arg == "--step") a.step = PositiveArgument(arg, args[++i], false);
        else if (arg == "--margin") a.margin = PositiveArgument(arg, args[++i], true);
        else if (arg == "--scale") a.scale = NumberArgument(arg, args[++i]);
        else if (arg == "--f") a.amplitude = args[++i];
        else if (arg == "--phi") a.phase = args[++i];
        else if (arg == "--diff") a.difference = true;
        else if (arg == "--open") a.open = true;
        else if (arg.size() > 1 && arg[0] == '-') Usage("unknown option " + arg);
        else if (a.mapPath.empty()) a.mapPath = arg;
        else Usage("one map at a time, not also " + arg);
    }
    if (a.mapPath.empty()) Usage("no map given");
    if (a.margin && a.modelPath.empty()) Usage("--margin needs --model");
    if (a.scale == 0.0) Usage("--scale must not be 0");
    if (a.amplitude.empty() != a.phase.empty()) Usage("--f and --phi go together");
    if (a.difference && !a.amplitude.empty()) Usage("--diff or --f/--phi, not both");
    if (a.open && !a.outputPath.empty()) Usage("--open keeps its map in the cache folder; -o does not go with it");
    if (a.outputPath.empty()) a.outputPath = DefaultOutputPath(a.mapPath, a.difference);
    if (!EndsWithMt1(a.outputPath)) Usage("the viewer opens only names ending in mt1 or MT1, not " + a.outputPath);
    return a;
}

ImportEnvironment SystemEnvironment() {
    ImportEnvironment environment;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    environment.programFolder = error ? "." : self.parent_path().string();
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = cache && *cache ? std::filesystem::path(cache)
                                       : home && *home ? std::filesystem::path(home) / ".cache"
                                                       : std::filesystem::temp_directory_path();
    environment.cacheFolder = (base / "tivarel").string();
    environment.startViewer = [](const std::string& viewer, const std::string& map) {
        const char* argv[] = {viewer.c_str(), map.c_str(), nullptr};
        execv(viewer.c_str(), const_cast<char* const*>(argv));
        return std::string("cannot start the viewer ") + viewer + ": " + std::strerror(errno);
    };
    return environment;
}

namespace {

// The options that shape the map, as text: the cache keeps one map per source and options.
std::string ShapingOptions(const ImportArguments& a) {
    std::string text;
    if (a.step) text += " --step " + ShortNumber(*a.step);
    if (a.margin) text += " --margin " + ShortNumber(*a.margin);
    if (a.scale != 1.0) text += " --scale " + ShortNumber(a.scale);
    if (a.difference) text += " --diff";
    if (!a.amplitude.empty()) text += " --f " + a.amplitude + " --phi " + a.phase;
    return text;
}

// Converts into the cache unless a conversion of the same, unchanged files is there, then
// starts the viewer on it.
int OpenInViewer(ImportArguments a, const ImportEnvironment& environment, std::ostream& err) {
    std::vector<std::string> sources{a.mapPath};
    if (!a.modelPath.empty()) sources.push_back(a.modelPath);
    const std::string options = ShapingOptions(a);
    a.outputPath = CachedMapPath(environment.cacheFolder, sources, options);
    const std::string stamp = SourceStamp(sources, options);
    if (CacheIsFresh(a.outputPath, stamp)) {
        err << kImportPrefix << "showing " << a.outputPath << ", converted before from the same files\n";
    } else {
        std::error_code error;
        std::filesystem::create_directories(environment.cacheFolder, error);
        if (error) FailImport(environment.cacheFolder, "cannot be made for the converted map: " + error.message());
        ConvertFiles(a, environment.programFolder, err);
        if (!WriteStamp(a.outputPath, stamp))
            err << kImportPrefix << "cannot note the sources beside " << a.outputPath << "; the next --open converts again\n";
    }
    const std::string viewer = (std::filesystem::path(environment.programFolder) / "tivarel").string();
    FailImport(viewer, environment.startViewer(viewer, a.outputPath));
}

}  // namespace

int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const ImportEnvironment& environment) {
    std::string input = "the input";
    try {
        const ImportArguments a = ParseImportArguments(args);
        input = a.mapPath;
        if (a.help) {
            out << kImportHelp;
            return 0;
        }
        if (a.open) return OpenInViewer(a, environment, err);
        ConvertFiles(a, environment.programFolder, err);
        return 0;
    } catch (const InputError& e) {
        err << kImportPrefix << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        err << kImportPrefix << "out of memory\n";
        return 1;
    } catch (const std::exception& e) {   // a fault of this command; still an orderly end
        err << kImportPrefix << "could not convert " << input << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tivarel
