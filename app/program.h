#pragma once
// The program state, the layer settings and the loaded map with its surfaces:
// what the main window holds between events. No Qt here, so tests drive it directly.
#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "export/peak_file.h"
#include "mapio/atoms.h"
#include "mapio/default_levels.h"
#include "mapio/map_model.h"
#include "surface/cell_table.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel {

class Platform;

// Levels at 10, 30 and 50 % of [lower, upper], all layers used, plane 1, web style.
void SetLayerDefaults(LayerSettings& layers, MeshStyle& meshStyle, float lower, float upper);

// Confirmed peaks, in the grid frame; rows past `count` are stale and never read.
struct PeakTable {
    static constexpr int32_t kCapacity = 200;
    std::array<Vec3f, kCapacity> rows{};
    int32_t count = 0;
};

class Program {
public:
    // Registers itself as the platform's rescue for the peak list, until destroyed.
    Program(Platform& platform, ProgressSink* progress);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Reads and prepares the map at the path, or one chosen in the open dialog when the
    // path is empty; on any failure the program ends. Returns false only when the open
    // dialog was cancelled while a map is shown.
    bool OpenMap(const std::string& mapPath);
    // Rebuilds the surfaces of the used layers and the contour map.
    void GenerateFields();
    // Asks whether to add the picked point; the 201st peak ends the program.
    void AddPeak(const Vec3f& point);
    // Converts the peaks to fractional coordinates, asks for a file name and writes
    // the peak file. A cancelled dialog writes nothing. Returns the message for the
    // user when the file could not be written.
    [[nodiscard]] std::optional<std::string> SavePeakFile();
    // Where a recovery file goes: beside the map first (then the user's data folder), or,
    // for a list the user chose to clear, only the data folder, so that the map's folder
    // does not fill with recovery files.
    enum class RescueTo { MapFolderFirst, DataFolderOnly };
    // Confirmed peaks not yet saved to a peak file go to a new recovery file; returns the
    // note that says where, or an empty text when nothing was unsaved. They count as
    // saved afterwards.
    std::string RescuePeaks(RescueTo where = RescueTo::MapFolderFirst);
    // Empties the peak list, rescuing unsaved peaks first (told on standard error).
    void EmptyPeakList(RescueTo where = RescueTo::MapFolderFirst);
    Platform& platform() { return platform_; }
    // The shared file dialog: preset the name (when given), show, keep the chosen name.
    std::optional<std::string> AskSaveName(const std::string& proposedName, const std::string& filter);

    ProgramState state;
    LayerSettings layers;
    DensityMap map;
    BondList bonds;
    TriangleStore triangles;
    SegmentStore segments;
    PeakTable peaks;
    // The one file name shared by all file dialogs of the main window.
    std::string dialogFileName;
    std::string windowCaption = "Marching cube map of studied function";

    // True while GenerateFields runs: the stores are half rewritten then.
    bool isBuilding() const { return building_; }
    // Called with the main window's new caption as soon as it is known.
    std::function<void(const std::string&)> captionChanged;

private:
    // The map of a known format; an unknown extension ends the program.
    DensityMap ReadMap(const std::string& path);
    const CaseTable& caseTable();
    // The peaks of the list, with one confirmed beyond its capacity.
    std::vector<Peak> ConfirmedPeaks() const;

    Platform& platform_;
    ProgressSink* progress_;
    std::unique_ptr<CaseTable> caseTable_;
    bool hasMap_ = false;
    std::string peakMapFile_;   // the map the peaks were picked on
    bool peaksUnsaved_ = false;
    std::optional<Vec3f> overflowPeak_;
    bool building_ = false;
};

}  // namespace tivarel
