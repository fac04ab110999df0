#include "import/conversion.h"

#include <cmath>
#include <future>
#include <optional>
#include <ostream>

#include "export/safe_write.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/file_bytes.h"
#include "import/import_error.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"
#include "import/model_placement.h"
#include "import/viewer_limits.h"
#include "mapio/default_levels.h"
#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

constexpr const char* kPrefix = kImportPrefix;
// Fewer points than this along an axis show little of a map.
constexpr int kFewPoints = 4;

bool SameCell(const std::array<double, 6>& a, const std::array<double, 6>& b) {
    for (size_t k = 0; k < 6; ++k)
        if (std::fabs(a[k] - b[k]) > 0.01 * std::max(std::fabs(a[k]), 1.0)) return false;
    return true;
}

// The density, and whether its atoms come from the input itself (a structure's CIF that
// holds its reflections).
struct Density {
    MapDensity map;
    bool atomsInInput = false;
};

Density MapFromReflections(const ImportArguments& a, InputKind kind, std::string_view bytes, std::string_view modelBytes,
                           std::ostream& err) {
    const CoefficientChoice choice{a.difference, a.amplitude, a.phase};
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
Density ReadDensity(const ImportArguments& a, std::string_view bytes, std::string_view modelBytes, std::ostream& err) {
    const InputKind kind = KindOfInput(bytes);
    if (kind == InputKind::Mtz || kind == InputKind::Cif || kind == InputKind::ShelxHkl)
        return MapFromReflections(a, kind, bytes, modelBytes, err);
    if (kind == InputKind::Pdb) FailImport(a.mapPath, "is a model, not a map or reflections; give it with --model");
    if (bytes.empty()) FailImport(a.mapPath, "is empty: no map or reflections in it");
    if (kind == InputKind::Unknown)
        FailImport(a.mapPath, "is none of what tivarel-import reads: a CCP4/MRC map (\"MAP \" at byte 209), an MTZ "
                              "file (\"MTZ \" at its start), a CIF or a SHELX reflection list");
    MapDensity map = ParseCcp4Map(bytes, a.mapPath);
    err << kPrefix << a.mapPath << ": " << (map.wholeCell ? "the whole cell, " : "a box of the cell, ")
        << map.dataSize[0] << " x " << map.dataSize[1] << " x " << map.dataSize[2] << " points\n";
    return {std::move(map)};
}

// The model's atoms, each moved to its image on a box map's data.
std::optional<Model> ReadModel(const std::string& path, std::string_view bytes, const MapDensity& map,
                               std::ostream& err) {
    if (path.empty()) return std::nullopt;
    Model model = ParseModel(bytes, path, map.cell);
    err << kPrefix << path << ": " << model.atoms.size() << " atoms\n";
    if (model.cell && !SameCell(*model.cell, map.cell))
        err << kPrefix << path << ": its cell differs from the map's; the atoms are placed in the map's cell\n";
    if (!map.wholeCell) {
        const Placement placement = PlaceAtomsInBox(model, map);
        err << kPrefix << path << ": " << placement.moved << " atoms moved by symmetry or whole cells onto the map's box; "
            << placement.inside << " of " << model.atoms.size() << " lie inside it\n";
    }
    return model;
}

// A box around the model that holds no map data is an error; one mostly outside it is
// told.
void CheckModelBox(const ImportArguments& a, const Conversion& result, std::ostream& err) {
    if (!a.margin || result.outsidePoints == 0) return;
    const double total = double(result.mt1.grid.values().size());
    if (double(result.outsidePoints) == total)
        FailImport(a.mapPath, "holds no data in the box around the atoms of " + a.modelPath + " (--margin " +
                                  ShortNumber(*a.margin) + " Å): the model does not lie on this map");
    const double share = 100.0 * (1.0 - double(result.outsidePoints) / total);
    if (share < 50.0)
        err << kPrefix << "only " << ShortNumber(share) << " % of the box around the atoms of " << a.modelPath
            << " lies in the data of " << a.mapPath << "\n";
}

// The case table the viewer reads, beside the program; nothing (and a note) when it
// cannot be read.
std::optional<CaseTable> ViewerCaseTable(const std::string& sideFolder, std::ostream& err) {
    try {
        return LoadCellTable(SideFilePath(sideFolder, "cell_table.dat"));
    } catch (const InputError& e) {
        err << kPrefix << "cannot count the triangles the viewer will draw: " << e.what() << "\n";
        return std::nullopt;
    }
}

// A map whose default levels need more triangles than the viewer draws in a layer: with the
// default step the step is coarsened until they fit; a step the user chose is kept, and the
// step that fits is named.
Conversion FitViewer(const ImportArguments& a, const MapDensity& map, const Model* model, ConversionOptions options,
                     Conversion result, const CaseTable& table, std::ostream& err) {
    int64_t busiest = BusiestLayer(result, table);
    if (busiest <= kMaxTrianglesPerLayer) return result;
    const double firstStep = result.mt1.step[0];
    const int64_t firstCount = busiest;
    Conversion fitted;
    double step = firstStep;
    options.progress = nullptr;
    for (int tries = 0; tries < 20 && busiest > kMaxTrianglesPerLayer; ++tries) {
        step *= std::max(1.05, std::sqrt(double(busiest) / (0.9 * kMaxTrianglesPerLayer)));
        options.step = step;
        fitted = ConvertMap(map, model, options, a.mapPath);
        busiest = BusiestLayer(fitted, table);
    }
    const std::string need = "the viewer's default levels need " + std::to_string(firstCount) +
                             " triangles in a layer, more than the " + std::to_string(kMaxTrianglesPerLayer) + " it draws";
    const bool fits = busiest <= kMaxTrianglesPerLayer;
    if (a.step) {
        err << kPrefix << "at --step " << ShortNumber(firstStep) << " Å " << need
            << " (it stops unless the levels are raised first): "
            << (fits ? "--step " + ShortNumber(step) + " fits" : "not even --step " + ShortNumber(step) + " fits") << "\n";
        return result;
    }
    err << kPrefix << "at the map's own spacing of " << ShortNumber(firstStep) << " Å " << need << "; the step is "
        << ShortNumber(step) << " Å instead" << (fits ? "" : ", and still too fine for the default levels")
        << " (--step chooses another)\n";
    return fitted;
}

void WarnFewPoints(const Mt1Contents& mt1, std::ostream& err) {
    const int n[3] = {mt1.grid.nx(), mt1.grid.ny(), mt1.grid.nz()};
    for (size_t a = 0; a < 3; ++a)
        if (n[a] < kFewPoints) {
            err << kPrefix << "the step of " << ShortNumber(mt1.step[0]) << " Å leaves only " << n[a] << " points along "
                << "xyz"[a] << ", too few to show the map: give a smaller --step\n";
            return;
        }
}

// Mean and rms, and the levels at mean + 1, 2, 3 rms, ready for the control panel.
void TellValues(const Conversion& conversion, std::ostream& err) {
    const ValueSummary v = SummariseValues(conversion);
    const std::array<float, 3> levels = DefaultLevels(v.lowest, v.highest);
    err << kPrefix << "values " << ShortNumber(v.lowest) << " to " << ShortNumber(v.highest) << ", mean "
        << ShortNumber(v.mean) << ", rms " << ShortNumber(v.rms) << "; levels at mean + 1, 2, 3 rms: "
        << ShortNumber(v.mean + v.rms) << ", " << ShortNumber(v.mean + 2 * v.rms) << ", " << ShortNumber(v.mean + 3 * v.rms)
        << " (the viewer opens at " << ShortNumber(levels[0]) << ", " << ShortNumber(levels[1]) << ", "
        << ShortNumber(levels[2]) << ")\n";
}

}  // namespace

void ConvertFiles(const ImportArguments& a, const std::string& sideFolder, std::ostream& err) {
    Density density;
    std::optional<Model> model;
    {   // the files' bytes are let go once read, so that the grids can take their memory
        const FileContent modelBytes = a.modelPath.empty() ? FileContent() : ReadPossiblyGzipped(a.modelPath);
        const FileContent bytes = ReadPossiblyGzipped(a.mapPath);
        density = ReadDensity(a, bytes, modelBytes, err);
        model = density.atomsInInput ? ReadModel(a.mapPath, bytes, density.map, err)
                                     : ReadModel(a.modelPath, modelBytes, density.map, err);
    }
    const MapDensity& map = density.map;
    ConversionOptions options;
    options.step = a.step;
    options.margin = a.margin;
    options.scale = a.scale;
    options.progress = [&err](int percent) { err << kPrefix << "resampled " << percent << " %\n"; };
    Conversion result = ConvertMap(map, model ? &*model : nullptr, options, a.mapPath);
    CheckModelBox(a, result, err);
    if (const std::optional<CaseTable> table = ViewerCaseTable(sideFolder, err))
        result = FitViewer(a, map, model ? &*model : nullptr, options, std::move(result), *table, err);
    if (!map.wholeCell || result.outsidePoints > 0)
        err << kPrefix << result.outsidePoints << " of " << result.mt1.grid.values().size()
            << " grid points lie outside the map's data and take its minimum, " << result.fillValue << "\n";
    WarnFewPoints(result.mt1, err);
    // The file's bytes are made on another core while the values are summed up.
    std::future<std::string> fileBytes = std::async(std::launch::async, [&result] { return Mt1Bytes(result.mt1); });
    TellValues(result, err);
    if (const std::optional<std::string> problem = WriteFileAtomically(a.outputPath, fileBytes.get()))
        throw InputError(*problem);
    err << kPrefix << "wrote " << a.outputPath << ": " << GridSummary(result) << ", " << result.mt1.atoms.size()
        << " atoms\n";
}

}  // namespace tivarel
