// The main window's menu bar and its commands.
#include <QMenuBar>

#include <fstream>
#include <sstream>

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "app/platform.h"
#include "export/peak_file.h"
#include "export/pov_scene.h"
#include "export/tga.h"
#include "info/info_windows.h"
#include "mapio/side_files.h"
#include "render/frame.h"
#include "render/gl.h"

namespace tivarel {

namespace {
std::optional<std::string> ReadOptionalFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}
}  // namespace

void frmMain::CreateMenus() {
    struct Item {
        const char* name;
        const char* caption;
        void (frmMain::*command)();
    };
    const std::pair<std::pair<const char*, const char*>, std::vector<Item>> menus[] = {
        {{"mnuFile", "&File"},
         {{"mnuFile_Open_ZOL_map", "&Open ZOL map", &frmMain::mnuFile_Open_ZOL_map},
          {"mnuFile_Save_peak_list", "&Save peak list", &frmMain::mnuFile_Save_peak_list},
          {"mnuSavePovrayFile", "Save &POVRAY file", &frmMain::mnuSavePovrayFile},
          {"mnuFile_Save_image", "Save &image", &frmMain::mnuFile_Save_image},
          {"mnuFileExit", "&Exit", &frmMain::mnuFileExit}}},
        {{"mnuEdit", "&Edit"}, {{"mnuEditClearPeaks", "&Clear Peaks", &frmMain::mnuEditClearPeaks}}},
        {{"mnuControl", "&View"},
         {{"mnuViewShow_Control_Panel", "&Show Control Panel", &frmMain::mnuViewShow_Control_Panel},
          {"mnuViewBackgroundColor", "&Background Color", &frmMain::mnuViewBackgroundColor}}},
        {{"mnuHelp", "&Help"},
         {{"mnuHelpHelp", "&Help", &frmMain::mnuHelpHelp}, {"mnuHelpAbout", "&About", &frmMain::mnuHelpAbout}}},
    };
    for (const auto& [menu, items] : menus) {
        QMenu* m = menuBar()->addMenu(menu.second);
        m->setObjectName(menu.first);
        m->menuAction()->setObjectName(menu.first);
        for (const Item& item : items) {
            QAction* action = m->addAction(item.caption);
            action->setObjectName(item.name);
            connect(action, &QAction::triggered, this, [this, command = item.command] { (this->*command)(); });
        }
    }
}

void frmMain::mnuFile_Open_ZOL_map() {
    if (!program_.OpenMap("")) return;   // the dialog was cancelled: the map shown stays
    ResetView();
    Resize();
    Paint();
}

void frmMain::mnuFile_Save_peak_list() {
    if (program_.peaks.count > 0) program_.SavePeakFile();
    else platform_.showMessage("You do not have any peaks");
}

void frmMain::mnuSavePovrayFile() { ExportPovScene(); }

void frmMain::ExportPovScene() {
    const std::optional<std::string> path =
        program_.AskSaveName("TVR_pov.pov", "POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    if (!path || !surface_ || !surface_->makeCurrent()) return;
    render::recalcModelView(view_);
    std::array<float, 16> modelView{};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    PovScene scene{program_.map, program_.state, program_.layers, std::span<const Bond>(program_.bonds.bonds),
                   {}, {}, modelView};
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        scene.triangles[static_cast<size_t>(layer - 1)] = program_.triangles.layer(layer);
        scene.segments[static_cast<size_t>(layer - 1)] = program_.segments.layer(layer);
    }
    const std::string headPath = SideFilePath(platform_.programDirectory(), "ZOLmap_POVray_head.def");
    const PovSceneResult result = PovSceneText(scene, ReadOptionalFile(headPath));
    if (const auto failure = WriteFileAtomically(*path, result.text)) {
        platform_.showMessage(*failure);
        return;
    }
    if (result.head == PovHead::Missing)
        platform_.showMessage("The POV-Ray head file " + headPath +
                              " could not be read; the scene was written without camera, lights and declarations.");
    else if (result.head == PovHead::NoEndLine)
        platform_.showMessage("The POV-Ray head file " + headPath +
                              " has no line \"//END OF FILE\"; all of it was copied into the scene.");
}

void frmMain::mnuFile_Save_image() {
    const std::optional<std::string> path = program_.AskSaveName("ZOL_picture.tga", "TGA pictures (*.tga)|*.tga");
    if (path) SaveTGA(*path);
}

void frmMain::SaveTGA(const std::string& fileName) {
    if (!surface_ || !surface_->makeCurrent()) return;
    const int w = surface_->pixelWidth(), h = surface_->pixelHeight();
    // After a swap the back buffer's content is undefined on many drivers: draw
    // the picture the window shows once more, then read it before any swap.
    DrawFrame();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    const std::vector<uint8_t> bytes = TgaBytes(w, h, rgb);
    if (const auto failure = WriteFileAtomically(fileName, std::string(bytes.begin(), bytes.end())))
        platform_.showMessage(*failure);
}

void frmMain::mnuFileExit() { Unload(); }

void frmMain::mnuEditClearPeaks() { ClearPeaks(); }

void frmMain::mnuViewShow_Control_Panel() { ShowControlPanel(); }

void frmMain::mnuViewBackgroundColor() {
    // A cancel keeps the dialog's colour, so the current background is applied again.
    if (const std::optional<uint32_t> chosen = platform_.colourDialog(dialogColour_)) dialogColour_ = *chosen;
    const uint32_t c = dialogColour_;
    auto& rgb = program_.state.backgroundRGB;
    rgb[0] = static_cast<float>(c & 255);
    rgb[1] = static_cast<float>((c / 256) & 255);
    rgb[2] = static_cast<float>((c / 65536) & 255);
    if (surface_ && surface_->makeCurrent()) glClearColor(rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f, 0.0f);
    program_.state.listValid = 0;
    Paint();
}

void frmMain::mnuHelpHelp() {
    if (!help_) {
        help_ = std::make_unique<frmHelp>(platform_.programDirectory());
        UnloadOnClose(help_);
    }
    help_->show();
    help_->raise();
}

void frmMain::mnuHelpAbout() {
    if (!about_) {
        AboutFacts facts;
        if (surface_ && surface_->makeCurrent()) {
            auto text = [](GLenum name) {
                const GLubyte* s = glGetString(name);
                return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
            };
            facts.glVendor = text(GL_VENDOR);
            facts.glVersion = text(GL_VERSION);
        }
        facts.stereoMode = program_.state.stereoMode;
        for (int layer = 1; layer <= kLayerCount; ++layer)
            if (program_.layers.layerUsed(layer)) facts.usedTriangles += program_.triangles.count(layer);
        about_ = std::make_unique<frmAbout>(facts);
        UnloadOnClose(about_);
    }
    about_->show();
    about_->raise();
}

}  // namespace tivarel
