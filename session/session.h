#pragma once
// Session: the program's state between events (the map shown with its surfaces and
// contours, the layer settings, the scene's switches, the peak list) and the commands
// that change it. The windows call these commands and read the state back; nothing
// else changes it. No Qt here, so tests drive it directly.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "session/platform.h"
#include "surface/cell_table.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel {

// Levels at 10, 30 and 50 % of [lower, upper], all layers used, plane 1, the contour
// map on, the layers' colours.
void SetLayerDefaults(LayerSettings& layers, float lower, float upper);

class Session {
public:
    // Confirmed peaks the list holds; the next one confirmed ends the program.
    static constexpr size_t kPeakCapacity = 200;

    Session(Platform& platform, ProgressSink* progress);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The open dialog, from the dialogs' shared file name; nothing on cancel.
    std::optional<std::string> askMapName();
    // Reads and prepares the map, with the layers' defaults and the scene's switches as a
    // new map starts; on any failure, and for an empty path, the program ends.
    void openMap(const std::string& path);
    // Rebuilds the surfaces of the used layers and, while it is on, the contour map.
    void generateFields();

    // Each level and the plane are kept inside the map: levels in its value range,
    // the plane in 1..nz.
    void setLevel(int layer, float level);
    // The level at `fraction` (0..1) of the value range.
    void setLevelAt(int layer, double fraction);
    void setSection(int section);
    void moveSection(int delta) { setSection(layers_.zSection + delta); }
    // Switches and styles take effect at the next rebuild.
    void setLayerUsed(int layer, bool used);
    void setShowContourMap(bool show);
    void setShowAtoms(bool show);
    void setShowCell(bool show);
    void setMeshStyle(MeshStyle style);
    void setPickMode(PickMode mode);

    // The picked point's marker, drawn until hidden.
    void showMarker(const Vec3& at);
    void hideMarker();
    // The background in 0x00BBGGRR.
    void setBackground(uint32_t bgr);

    // Asks whether to add the picked point; the 201st peak ends the program.
    void addPeak(const Vec3& point);
    // Converts the peaks to fractional coordinates, asks for a file name and writes
    // the peak file. A cancelled dialog writes nothing. Returns the message for the
    // user when the file could not be written.
    [[nodiscard]] std::optional<std::string> savePeakFile();
    // Where a recovery file goes: beside the map first (then the user's data folder), or,
    // for a list the user chose to clear, only the data folder, so that the map's folder
    // does not fill with recovery files.
    enum class RescueTo { MapFolderFirst, DataFolderOnly };
    // Confirmed peaks not yet saved to a peak file go to a new recovery file; returns the
    // note that says where, or an empty text when nothing was unsaved. They count as
    // saved afterwards.
    std::string rescuePeaks(RescueTo where = RescueTo::MapFolderFirst);
    // Empties the peak list, rescuing unsaved peaks first (told on standard error).
    void clearPeaks(RescueTo where = RescueTo::MapFolderFirst);
    // What keeps the unsaved peaks when the program ends: every end passes it on.
    Rescue peakRescue() {
        return [this] { return rescuePeaks(); };
    }

    // The program's end from the session's work, after the peaks' rescue and with the
    // progress window gone: a box, or none for a silent error.
    [[noreturn]] void endWithMessage(const std::string& text, const std::string& title = "Tivarel",
                                     MessageIcon icon = MessageIcon::None);
    [[noreturn]] void endProgram(int status);

    // The shared file dialog: preset the name (when given), show, keep the chosen name.
    std::optional<std::string> askSaveName(const std::string& proposedName, const std::string& filter);

    const DensityMap& map() const { return map_; }
    const BondList& bonds() const { return bonds_; }
    const TriangleStore& triangles() const { return triangles_; }
    const SegmentStore& segments() const { return segments_; }
    const LayerSettings& layers() const { return layers_; }
    const ProgramState& state() const { return state_; }
    std::span<const Vec3> peaks() const { return peaks_; }
    // The last picked point, where the marker shows.
    const Vec3& pickPoint() const { return pickPoint_; }
    // Red, green, blue in 0..255.
    const std::array<float, 3>& background() const { return background_; }
    // Changes whenever what the scene shows must be drawn anew.
    uint64_t sceneRevision() const { return sceneRevision_; }
    // True while generateFields runs: the stores are half rewritten then.
    bool isBuilding() const { return building_; }
    Platform& platform() { return platform_; }

private:
    void sceneChanged() { ++sceneRevision_; }
    // A message box over the progress window, which goes first.
    void tell(const std::string& text);
    // Runs `work`; an input error or a lack of memory in it ends the program.
    template <typename Work>
    void runOrStop(Work&& work) {
        RunOrStop(platform_, peakRescue(), [&] {
            try {
                work();
            } catch (...) {
                if (progress_) progress_->closeProgress();
                throw;
            }
        });
    }
    const CaseTable& caseTable();
    // The peaks of the list, with one confirmed beyond its capacity.
    std::vector<Vec3> confirmedPeaks() const;

    Platform& platform_;
    ProgressSink* progress_;
    DensityMap map_;
    BondList bonds_;
    TriangleStore triangles_;
    SegmentStore segments_;
    LayerSettings layers_;
    ProgramState state_;
    std::vector<Vec3> peaks_;
    Vec3 pickPoint_;
    std::array<float, 3> background_{};
    uint64_t sceneRevision_ = 0;
    std::string dialogFileName_;   // the one file name shared by all file dialogs
    std::unique_ptr<CaseTable> caseTable_;
    std::string peakMapFile_;   // the map the peaks were picked on
    bool peaksUnsaved_ = false;
    std::optional<Vec3> overflowPeak_;
    bool building_ = false;
};

}  // namespace tivarel
