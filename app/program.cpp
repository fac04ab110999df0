#include "app/program.h"

#include <ctime>
#include <filesystem>
#include <vector>

#include "app/command_line.h"
#include "app/platform.h"
#include "export/peak_file.h"
#include "export/safe_write.h"
#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/side_files.h"

namespace tivarel {

namespace {
// Local date and time to the second, for names that sort in time order.
std::string TimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

const char* const kMapFilter = "ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*";
}

void SetLayerDefaults(LayerSettings& layers, MeshStyle& meshStyle, float lower, float upper) {
    meshStyle = MeshStyle::Web;
    for (int layer = 1; layer <= 3; ++layer) layers.layerUsed(layer) = true;
    layers.zSection = 1;
    layers.showContourMap = true;
    const std::array<float, 3> levels = DefaultLevels(lower, upper);
    for (int layer = 1; layer <= 3; ++layer) layers.layerLimit(layer) = levels[size_t(layer - 1)];
    layers.meshColours = {Rgb{0.1f, 0.7f, 0.1f}, Rgb{0.1f, 0.1f, 0.7f}, Rgb{0.7f, 0.1f, 0.1f}};
    layers.contourColours = {Rgb{0.2f, 0.9f, 0.2f}, Rgb{0.4f, 0.4f, 1.0f}, Rgb{1.0f, 0.3f, 0.3f}};
}

Program::Program(Platform& platform, ProgressSink* progress) : platform_(platform), progress_(progress) {
    // Whatever ends the program first keeps the peaks that were never saved.
    platform_.setRescue([this] { return RescuePeaks(); });
}

Program::~Program() { platform_.setRescue(nullptr); }

bool Program::OpenMap(const std::string& mapPath) {
    std::string path = mapPath;
    if (path.empty()) {
        std::optional<std::string> chosen = platform_.openFileDialog(dialogFileName, kMapFilter);
        if (!chosen && hasMap_) return false;   // a cancel from the menu keeps the map shown
        if (chosen) dialogFileName = *chosen;
        path = chosen ? *chosen : std::string();
    }
    state.mapFileName = path;
    if (state.mapFileName.empty()) platform_.endWithMessage("No input given !!");
    windowCaption = "Visualized file: " + state.mapFileName;
    if (captionChanged) captionChanged(windowCaption);
    RunOrStop(platform_, [&] {
        DensityMap next = ReadMap(state.mapFileName);
        // The peak list belongs to the map shown so far and is emptied with it.
        EmptyPeakList();
        map = std::move(next);
        peakMapFile_ = state.mapFileName;
        const bool isGrd = FormatOfName(state.mapFileName) == MapFormat::Grd;
        SetLayerDefaults(layers, state.meshStyle, map.gridParams.minValue(),
                         DefaultUpperValue(map.gridParams, isGrd));
        hasMap_ = true;
        if (BuildBonds(map, platform_.programDirectory(), bonds)) platform_.showMessage(TooManyBondsMessage());
    });
    GenerateFields();
    return true;
}

DensityMap Program::ReadMap(const std::string& path) {
    switch (FormatOfName(path)) {
    case MapFormat::Fou: return ReadFouMap(path);
    case MapFormat::Mt1: return ReadMt1Map(path);
    case MapFormat::Grd: return ReadGrdMap(path);
    case MapFormat::Unknown: break;
    }
    // A map or reflection file the import command reads: standard error names that command.
    Platform::tell(ImportHint(path));
    platform_.showMessage("Strange file extension !!!");
    platform_.endWithMessage(ExtensionOf(path));
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
    peaksUnsaved_ = true;
    if (peaks.count == PeakTable::kCapacity) {
        // The list is full and the program ends; the confirmed peak is kept with the others.
        overflowPeak_ = point;
        platform_.endWithMessage("To many new peaks");
    }
    peaks.rows[static_cast<size_t>(peaks.count++)] = point;
}

std::vector<Peak> Program::ConfirmedPeaks() const {
    std::vector<Peak> list(peaks.rows.begin(), peaks.rows.begin() + peaks.count);
    if (overflowPeak_) list.push_back(*overflowPeak_);
    return list;
}

std::string Program::RescuePeaks(RescueTo where) {
    const std::vector<Peak> list = ConfirmedPeaks();
    if (!peaksUnsaved_ || list.empty()) return {};
    peaksUnsaved_ = false;
    const std::string text = PeakRecoveryText(map.cellMatrix, map.mapOrigin, list, peakMapFile_);
    const std::filesystem::path mapPath(peakMapFile_);
    const std::string stem = mapPath.stem().string() + "-unsaved-peaks-" + TimeStamp();
    const std::string folder = mapPath.parent_path().empty() ? "." : mapPath.parent_path().string();
    const std::string which = list.size() == 1 ? "The 1 peak not saved to a peak file was"
                                                : "The " + std::to_string(list.size()) +
                                                      " peaks not saved to a peak file were";
    std::vector<std::string> places{platform_.dataDirectory()};
    if (where == RescueTo::MapFolderFirst) places.insert(places.begin(), folder);
    for (const std::string& place : places) {
        if (place.empty()) continue;
        if (const std::optional<std::string> written = WriteNewFile(place, stem, ".dat", text))
            return which + " written to " + *written + ".";
    }
    // Nowhere to write: standard error is the last place they can go.
    const std::string refused = where == RescueTo::MapFolderFirst ? folder + " and the data folder" : "the data folder";
    return which + " not written to any file (" + refused + " refused it): " + text;
}

void Program::EmptyPeakList(RescueTo where) {
    Platform::tell(RescuePeaks(where));
    peaks.count = 0;
    overflowPeak_.reset();
}

std::optional<std::string> Program::AskSaveName(const std::string& proposedName, const std::string& filter) {
    if (!proposedName.empty()) dialogFileName = proposedName;
    std::optional<std::string> chosen = platform_.saveFileDialog(dialogFileName, filter);
    if (chosen) dialogFileName = *chosen;
    return chosen;
}

std::optional<std::string> Program::SavePeakFile() {
    const std::vector<Peak> gridPeaks = ConfirmedPeaks();
    const std::optional<std::vector<Peak>> fractional = FractionalPeaks(map.cellMatrix, map.mapOrigin, gridPeaks);
    if (!fractional)
        return "The peaks cannot be converted to fractional coordinates: the cell matrix of " + peakMapFile_ +
               " cannot be inverted. No peak file was written.";
    const std::optional<std::string> path =
        AskSaveName("newatoms.dat", "Peak data file (*.dat)|*.dat|All files (*.*)|*.*");
    if (!path) return std::nullopt;
    if (std::optional<std::string> failure = WriteFileAtomically(*path, PeakFileText(*fractional))) return failure;
    peaksUnsaved_ = false;
    return std::nullopt;
}

}  // namespace tivarel
