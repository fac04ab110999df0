#include "app/program.h"

#include "app/command_line.h"
#include "app/platform.h"
#include "export/peak_file.h"
#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/side_files.h"

namespace tivarel {

namespace {
const char* const kMapFilter = "ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*";
}

void SetLayerDefaults(LayerSettings& layers, int16_t& meshStyle, float lower, float upper) {
    meshStyle = 1;
    const float range = upper - lower;
    for (int layer = 1; layer <= 3; ++layer) layers.layerUsed(layer) = true;
    layers.zSection = 1;
    layers.showContourMap = true;
    const double fractions[3] = {0.1, 0.3, 0.5};
    for (int layer = 1; layer <= 3; ++layer)
        layers.layerLimit(layer) = static_cast<float>(static_cast<double>(range) * fractions[layer - 1] + lower);
    layers.meshColours = {Rgb{0.1f, 0.7f, 0.1f}, Rgb{0.1f, 0.1f, 0.7f}, Rgb{0.7f, 0.1f, 0.1f}};
    layers.contourColours = {Rgb{0.2f, 0.9f, 0.2f}, Rgb{0.4f, 0.4f, 1.0f}, Rgb{1.0f, 0.3f, 0.3f}};
}

float DefaultUpperValue(const GridParams& g, bool isGrd) {
    return isGrd ? g.maxValue() / 500.0f + g.minValue() : g.maxValue();
}

Program::Program(Platform& platform, ProgressSink* progress) : platform_(platform), progress_(progress) {}

bool Program::OpenMap(const std::string& commandText) {
    std::string path = commandText;
    ParseSwitches(path, state.stereoMode);
    if (path.empty()) {
        std::optional<std::string> chosen = platform_.openFileDialog(dialogFileName, kMapFilter);
        if (!chosen && hasMap_) return false;   // a cancel from the menu keeps the map shown
        if (chosen) dialogFileName = *chosen;
        path = chosen ? *chosen : std::string();
    }
    state.mapFileName = path;
    if (state.mapFileName.empty()) {
        platform_.showMessage("No input given !!");
        platform_.endProgram(1);
    }
    windowCaption = "Visualized file: " + state.mapFileName;
    if (captionChanged) captionChanged(windowCaption);
    RunOrStop(platform_, [&] {
        ReadMap(state.mapFileName);
        const bool isGrd = FormatOfName(state.mapFileName) == MapFormat::Grd;
        SetLayerDefaults(layers, state.meshStyle, map.gridParams.minValue(),
                         DefaultUpperValue(map.gridParams, isGrd));
        hasMap_ = true;
        if (BuildBonds(map, platform_.programDirectory(), bonds)) platform_.showMessage(TooManyBondsMessage());
    });
    GenerateFields();
    return true;
}

void Program::ReadMap(const std::string& path) {
    switch (FormatOfName(path)) {
    case MapFormat::Fou:
        map = ReadFouMap(path);
        return;
    case MapFormat::Mt1:
        map = ReadMt1Map(path);
        return;
    case MapFormat::Grd:
        map = ReadGrdMap(path);
        return;
    case MapFormat::Unknown:
        platform_.showMessage("Strange file extension !!!");
        platform_.showMessage(ExtensionOf(path));
        platform_.endProgram(1);
    }
}

const CaseTable& Program::caseTable() {
    if (!caseTable_)
        caseTable_ = std::make_unique<CaseTable>(
            LoadCellTable(SideFilePath(platform_.programDirectory(), "cell_table.dat")));
    return *caseTable_;
}

void Program::GenerateFields() {
    struct BuildingFlag {
        bool& flag;
        explicit BuildingFlag(bool& f) : flag(f) { flag = true; }
        ~BuildingFlag() { flag = false; }
    } building(building_);
    RunOrStop(platform_, [&] {
        for (int layer = 1; layer <= 3; ++layer)
            if (layers.layerUsed(layer))
                MarchLayer(map.gridParams, map.grid, layers.layerLimit(layer), layer, triangles,
                           caseTable(), progress_);
    });
    if (layers.showContourMap) {
        // Contours of all three layers, used or not; a layer past the store's
        // capacity keeps its first segments, and the user is told once.
        int firstCut = 0;
        for (int layer = 1; layer <= 3; ++layer) {
            const MarchSquaresResult result = MarchSquares(map.gridParams, map.grid, layers.layerLimit(layer),
                                                           layers.zSection, layer, segments);
            if (result.cutShort && firstCut == 0) firstCut = layer;
        }
        if (firstCut != 0) platform_.showMessage(SegmentLimitMessage(firstCut));
    }
    state.listValid = 0;
}

void Program::AddPeak(const Vec3f& point) {
    if (!platform_.askYesNo("Add this peak to pek list?")) return;
    if (++peaks.count > PeakTable::kCapacity) {
        platform_.showMessage("To many new peaks");
        platform_.endProgram(1);
    }
    peaks.rows[static_cast<size_t>(peaks.count - 1)] = point;
}

std::optional<std::string> Program::AskSaveName(const std::string& proposedName, const std::string& filter) {
    if (!proposedName.empty()) dialogFileName = proposedName;
    std::optional<std::string> chosen = platform_.saveFileDialog(dialogFileName, filter);
    if (chosen) dialogFileName = *chosen;
    return chosen;
}

void Program::SavePeakFile() {
    const std::vector<Peak> gridPeaks(peaks.rows.begin(), peaks.rows.begin() + peaks.count);
    const std::optional<std::vector<Peak>> fractional = FractionalPeaks(map.cellMatrix, map.mapOrigin, gridPeaks);
    if (!fractional) {
        platform_.showMessage("The peaks cannot be converted to fractional coordinates: the cell matrix of " +
                              state.mapFileName + " cannot be inverted. No peak file was written.");
        return;
    }
    const std::optional<std::string> path =
        AskSaveName("newatoms.dat", "Peak data file (*.dat)|*.dat|All files (*.*)|*.*");
    if (!path) return;
    if (const auto failure = WriteFileAtomically(*path, PeakFileText(*fractional))) platform_.showMessage(*failure);
}

}  // namespace tivarel
