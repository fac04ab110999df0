#include "import/import_command.h"

#include <cmath>
#include <cstdlib>
#include <ostream>

#include "export/safe_write.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/file_bytes.h"
#include "import/import_error.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"

namespace tivarel {

const char* const kImportHelp =
    "Usage: tivarel-import INPUT [--model MODEL] [-o OUT.mt1] [--step Å] [--margin Å] [--scale F]\n"
    "                            [--diff] [--f LABEL --phi LABEL]\n"
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
    "centre of the resampled box.\n"
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
    "  -h, --help      show this text\n";

namespace {

[[noreturn]] void Usage(const std::string& problem) { throw ImportError("usage: " + problem + " (see --help)"); }

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
        else if (arg.size() > 1 && arg[0] == '-') Usage("unknown option " + arg);
        else if (a.mapPath.empty()) a.mapPath = arg;
        else Usage("one map at a time, not also " + arg);
    }
    if (a.mapPath.empty()) Usage("no map given");
    if (a.margin && a.modelPath.empty()) Usage("--margin needs --model");
    if (a.scale == 0.0) Usage("--scale must not be 0");
    if (a.amplitude.empty() != a.phase.empty()) Usage("--f and --phi go together");
    if (a.difference && !a.amplitude.empty()) Usage("--diff or --f/--phi, not both");
    if (a.outputPath.empty()) a.outputPath = DefaultOutputPath(a.mapPath, a.difference);
    if (!EndsWithMt1(a.outputPath)) Usage("the viewer opens only names ending in mt1 or MT1, not " + a.outputPath);
    return a;
}

namespace {

constexpr const char* kPrefix = "tivarel-import: ";

bool SameCell(const std::array<double, 6>& a, const std::array<double, 6>& b) {
    for (size_t k = 0; k < 6; ++k)
        if (std::fabs(a[k] - b[k]) > 0.01 * std::max(std::fabs(a[k]), 1.0)) return false;
    return true;
}

// The density, and where its atoms come from when a structure's CIF held both.
struct Density {
    MapDensity map;
    bool atomsInInput = false;
};

std::optional<Model> ReadModel(const std::string& path, const std::string& bytes, const MapDensity& map,
                               std::ostream& err) {
    if (path.empty()) return std::nullopt;
    Model model = ParseModel(bytes, path, map.cell);
    err << kPrefix << path << ": " << model.atoms.size() << " atoms\n";
    if (model.cell && !SameCell(*model.cell, map.cell))
        err << kPrefix << path << ": its cell differs from the map's; the atoms are placed in the map's cell\n";
    return model;
}

Density MapFromReflections(const ImportArguments& a, InputKind kind, const std::string& bytes,
                              const std::string& modelBytes, std::ostream& err) {
    CoefficientChoice choice{a.difference, a.amplitude, a.phase};
    std::optional<PhasingModel> phasing;
    if (!a.modelPath.empty()) phasing = PhasingModel{a.modelPath, modelBytes};
    const MapCoefficients coefficients =
        kind == InputKind::Mtz   ? ReadMtzCoefficients(bytes, a.mapPath, choice)
        : kind == InputKind::Cif ? ReadCifCoefficients(bytes, a.mapPath, choice, phasing)
                                 : ReadShelxHklCoefficients(bytes, a.mapPath, choice, phasing);
    FourierSummary summary;
    MapDensity map = FourierMap(coefficients, a.mapPath, &summary);
    err << kPrefix << a.mapPath << ": " << coefficients.used << ", " << summary.reflections << " reflections to "
        << ShortNumber(summary.dMin) << " Å";
    if (coefficients.scale)
        err << ", |Fo| scaled to |Fc| by " << ShortNumber(*coefficients.scale) << ", R1 = " << ShortNumber(*coefficients.r1);
    err << "; FFT grid " << summary.grid[0] << " x " << summary.grid[1] << " x " << summary.grid[2] << " in the space group "
        << coefficients.spaceGroup << "\n";
    return {std::move(map), coefficients.phasedByInput};
}

// The density of the input: a CCP4/MRC map as it is, or the map its reflections give.
Density ReadDensity(const ImportArguments& a, const std::string& bytes, const std::string& modelBytes,
                    std::ostream& err) {
    const InputKind kind = KindOfInput(bytes);
    if (kind == InputKind::Mtz || kind == InputKind::Cif || kind == InputKind::ShelxHkl)
        return MapFromReflections(a, kind, bytes, modelBytes, err);
    if (kind == InputKind::Pdb) FailImport(a.mapPath, "is a model, not a map or reflections; give it with --model");
    MapDensity map = ParseCcp4Map(bytes, a.mapPath);
    err << kPrefix << a.mapPath << ": " << (map.wholeCell ? "the whole cell, " : "a box of the cell, ")
        << map.dataSize[0] << " x " << map.dataSize[1] << " x " << map.dataSize[2] << " points\n";
    return {std::move(map)};
}

void Convert(const ImportArguments& a, std::ostream& err) {
    const std::string modelBytes = a.modelPath.empty() ? std::string() : ReadPossiblyGzipped(a.modelPath);
    const std::string bytes = ReadPossiblyGzipped(a.mapPath);
    const Density density = ReadDensity(a, bytes, modelBytes, err);
    const MapDensity& map = density.map;
    const std::optional<Model> model = density.atomsInInput ? ReadModel(a.mapPath, bytes, map, err)
                                                            : ReadModel(a.modelPath, modelBytes, map, err);
    ConversionOptions options;
    options.step = a.step;
    options.margin = a.margin;
    options.scale = a.scale;
    options.progress = [&err](int percent) { err << kPrefix << "resampled " << percent << " %\n"; };
    const Conversion result = ConvertMap(map, model ? &*model : nullptr, options, a.mapPath);
    if (!map.wholeCell || result.outsidePoints > 0)
        err << kPrefix << result.outsidePoints << " of " << result.mt1.grid.values().size()
            << " grid points lie outside the map's data and take its minimum, " << result.fillValue << "\n";
    if (const std::optional<std::string> problem = WriteFileAtomically(a.outputPath, Mt1Bytes(result.mt1)))
        throw ImportError(*problem);
    err << kPrefix << "wrote " << a.outputPath << ": " << GridSummary(result) << ", " << result.mt1.atoms.size()
        << " atoms\n";
}

}  // namespace

int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const ImportArguments a = ParseImportArguments(args);
        if (a.help) {
            out << kImportHelp;
            return 0;
        }
        Convert(a, err);
        return 0;
    } catch (const ImportError& e) {
        err << kPrefix << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        err << kPrefix << "out of memory\n";
        return 1;
    }
}

}  // namespace tivarel
