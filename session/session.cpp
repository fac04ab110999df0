#include "session/session.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "export/peak_file.h"
#include "export/safe_write.h"
#include "mapio/default_levels.h"
#include "mapio/map_file.h"
#include "mapio/side_files.h"
#include "session/platform.h"

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
}  // namespace

void SetLayerDefaults(LayerSettings& layers, float lower, float upper) {
    for (int layer = 1; layer <= 3; ++layer) layers.layerUsed(layer) = true;
    layers.zSection = 1;
    layers.showContourMap = true;
    const std::array<float, 3> levels = DefaultLevels(lower, upper);
    for (int layer = 1; layer <= 3; ++layer) layers.layerLimit(layer) = levels[size_t(layer - 1)];
    layers.meshColours = {Rgb{0.1f, 0.7f, 0.1f}, Rgb{0.1f, 0.1f, 0.7f}, Rgb{0.7f, 0.1f, 0.1f}};
    layers.contourColours = {Rgb{0.2f, 0.9f, 0.2f}, Rgb{0.4f, 0.4f, 1.0f}, Rgb{1.0f, 0.3f, 0.3f}};
}

Session::Session(Platform& platform, ProgressSink* progress) : platform_(platform), progress_(progress) {
    peaks_.reserve(kPeakCapacity);
}

void Session::tell(const std::string& text) {
    if (progress_) progress_->closeProgress();
    platform_.showMessage(text);
}

void Session::endWithMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    if (progress_) progress_->closeProgress();
    platform_.endWithMessage(text, peakRescue(), title, icon);
}

void Session::endProgram(int status) { platform_.endProgram(status, peakRescue()); }

std::optional<std::string> Session::askMapName() {
    std::optional<std::string> chosen = platform_.openFileDialog(dialogFileName_, kMapFilter);
    if (chosen) dialogFileName_ = *chosen;
    return chosen;
}

void Session::openMap(const std::string& path) {
    state_.mapFileName = path;
    if (path.empty()) endWithMessage("No input given !!");
    runOrStop([&] {
        const MapFormat format = FormatOfName(path);
        if (format == MapFormat::Unknown) {
            // A map or reflection file the import command reads: standard error names that command.
            Platform::tell(ImportHint(path));
            tell("Strange file extension !!!");
            endWithMessage(ExtensionOf(path));
        }
        DensityMap next = ReadMapFile(path);
        // The peak list belongs to the map shown so far and is emptied with it.
        clearPeaks();
        map_ = std::move(next);
        peakMapFile_ = path;
        SetLayerDefaults(layers_, map_.gridParams.minValue(),
                         DefaultUpperValue(map_.gridParams, format == MapFormat::Grd));
        if (BuildBonds(map_, platform_.programDirectory(), bonds_)) tell(TooManyBondsMessage());
    });
    generateFields();
    // A new map starts with the scene's switches as the program starts.
    const std::string name = state_.mapFileName;
    state_ = ProgramState{};
    state_.mapFileName = name;
}

const CaseTable& Session::caseTable() {
    if (!caseTable_)
        caseTable_ = std::make_unique<CaseTable>(
            LoadCellTable(SideFilePath(platform_.programDirectory(), "cell_table.dat")));
    return *caseTable_;
}

void Session::generateFields() {
    struct BuildingFlag {
        bool& flag;
        explicit BuildingFlag(bool& f) : flag(f) { flag = true; }
        ~BuildingFlag() { flag = false; }
    } building(building_);
    runOrStop([&] {
        for (int layer = 1; layer <= 3; ++layer)
            if (layers_.layerUsed(layer))
                MarchLayer(map_.gridParams, map_.grid, layers_.layerLimit(layer), layer, triangles_, caseTable(),
                           progress_);
    });
    if (layers_.showContourMap) {
        // Contours of all three layers, used or not; a layer past the store's
        // capacity keeps its first segments, and the user is told once.
        int firstCut = 0;
        for (int layer = 1; layer <= 3; ++layer) {
            const MarchSquaresResult result = MarchSquares(map_.gridParams, map_.grid, layers_.layerLimit(layer),
                                                           layers_.zSection, layer, segments_);
            if (result.cutShort && firstCut == 0) firstCut = layer;
        }
        if (firstCut != 0) tell(SegmentLimitMessage(firstCut));
    }
    if (progress_) progress_->closeProgress();
    sceneChanged();
}

void Session::setLevel(int layer, float level) {
    const GridParams& g = map_.gridParams;
    layers_.layerLimit(layer) = std::max(std::min(level, g.maxValue()), g.minValue());
}

void Session::setLevelAt(int layer, double fraction) {
    const GridParams& g = map_.gridParams;
    layers_.layerLimit(layer) = static_cast<float>(fraction * (g.maxValue() - g.minValue()) + g.minValue());
}

void Session::setSection(int section) {
    layers_.zSection = static_cast<int16_t>(std::min(std::max(section, 1), map_.gridParams.nz()));
}

void Session::setLayerUsed(int layer, bool used) { layers_.layerUsed(layer) = used; }
void Session::setShowContourMap(bool show) { layers_.showContourMap = show; }
void Session::setShowAtoms(bool show) { state_.showAtoms = show; }
void Session::setShowCell(bool show) { state_.showCell = show; }
void Session::setMeshStyle(MeshStyle style) { state_.meshStyle = style; }
void Session::setPickMode(PickMode mode) { state_.pickMode = mode; }

void Session::showMarker(const Vec3& at) {
    pickPoint_ = at;
    state_.showMarker = true;
    sceneChanged();
}

void Session::hideMarker() {
    state_.showMarker = false;
    sceneChanged();
}

void Session::setBackground(uint32_t bgr) {
    background_ = {static_cast<float>(bgr & 255), static_cast<float>((bgr / 256) & 255),
                   static_cast<float>((bgr / 65536) & 255)};
    sceneChanged();
}

void Session::addPeak(const Vec3& point) {
    if (!platform_.askYesNo("Add this peak to pek list?")) return;
    peaksUnsaved_ = true;
    if (peaks_.size() == kPeakCapacity) {
        // The list is full and the program ends; the confirmed peak is kept with the others.
        overflowPeak_ = point;
        endWithMessage("To many new peaks");
    }
    peaks_.push_back(point);
    sceneChanged();
}

std::vector<Vec3> Session::confirmedPeaks() const {
    std::vector<Vec3> list = peaks_;
    if (overflowPeak_) list.push_back(*overflowPeak_);
    return list;
}

std::string Session::rescuePeaks(RescueTo where) {
    const std::vector<Vec3> list = confirmedPeaks();
    if (!peaksUnsaved_ || list.empty()) return {};
    peaksUnsaved_ = false;
    const std::string text = PeakRecoveryText(map_.cellMatrix, map_.mapOrigin, list, peakMapFile_);
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

void Session::clearPeaks(RescueTo where) {
    Platform::tell(rescuePeaks(where));
    peaks_.clear();
    overflowPeak_.reset();
    sceneChanged();
}

std::optional<std::string> Session::askSaveName(const std::string& proposedName, const std::string& filter) {
    if (!proposedName.empty()) dialogFileName_ = proposedName;
    std::optional<std::string> chosen = platform_.saveFileDialog(dialogFileName_, filter);
    if (chosen) dialogFileName_ = *chosen;
    return chosen;
}

std::optional<std::string> Session::savePeakFile() {
    const std::vector<Vec3> gridPeaks = confirmedPeaks();
    const std::optional<std::vector<Vec3>> fractional = FractionalPeaks(map_.cellMatrix, map_.mapOrigin, gridPeaks);
    if (!fractional)
        return "The peaks cannot be converted to fractional coordinates: the cell matrix of " + peakMapFile_ +
               " cannot be inverted. No peak file was written.";
    const std::optional<std::string> path =
        askSaveName("newatoms.dat", "Peak data file (*.dat)|*.dat|All files (*.*)|*.*");
    if (!path) return std::nullopt;
    if (std::optional<std::string> failure = WriteFileAtomically(*path, PeakFileText(*fractional))) return failure;
    peaksUnsaved_ = false;
    return std::nullopt;
}

}  // namespace tivarel
