// The main window's menu bar and its commands.
#include <QMenuBar>

#include <fstream>
#include <sstream>

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "export/peak_file.h"
#include "export/pov_scene.h"
#include "export/safe_write.h"
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
// Why a file that needs the picture's GL context was not written.
std::string NoDrawingSurface(const std::string& path) {
    return "Cannot write the file " + path + ": the OpenGL drawing surface is not available.";
}
}  // namespace

void MainWindow::createMenus() {
    struct Item {
        const char* name;
        const char* caption;
        void (MainWindow::*command)();
    };
    const std::pair<std::pair<const char*, const char*>, std::vector<Item>> menus[] = {
        {{"fileMenu", "&File"},
         {{"openMap", "&Open ZOL map", &MainWindow::openMap},
          {"savePeakList", "&Save peak list", &MainWindow::savePeakList},
          {"exportPovScene", "Save &POVRAY file", &MainWindow::exportPovScene},
          {"saveImage", "Save &image", &MainWindow::saveImage},
          {"closeProgram", "&Exit", &MainWindow::closeProgram}}},
        {{"editMenu", "&Edit"}, {{"clearPeaks", "&Clear Peaks", &MainWindow::clearPeaks}}},
        {{"viewMenu", "&View"},
         {{"showControlPanel", "&Show Control Panel", &MainWindow::showControlPanel},
          {"chooseBackgroundColour", "&Background Color", &MainWindow::chooseBackgroundColour}}},
        {{"helpMenu", "&Help"},
         {{"showHelp", "&Help", &MainWindow::showHelp}, {"showAbout", "&About", &MainWindow::showAbout}}},
    };
    for (const auto& [menu, items] : menus) {
        QMenu* m = menuBar()->addMenu(menu.second);
        m->setObjectName(menu.first);
        m->menuAction()->setObjectName(menu.first);
        for (const Item& item : items) {
            QAction* action = m->addAction(item.caption);
            action->setObjectName(item.name);
            connect(action, &QAction::triggered, this,
                    [this, command = item.command] { handle([this, command] { (this->*command)(); }); });
        }
    }
}

void MainWindow::openMap() {
    const std::optional<std::string> path = session_.askMapName();
    if (!path) return;   // the dialog was cancelled: the map shown stays
    setWindowTitle(QString::fromStdString("Visualized file: " + *path));
    session_.openMap(*path);
    showNewMap();
    resizeView();
    paint();
}

void MainWindow::savePeakList() {
    if (session_.peaks().empty()) {
        platform_.showMessage("You do not have any peaks");
        return;
    }
    if (const std::optional<std::string> failure = session_.savePeakFile()) platform_.showMessage(*failure);
}

void MainWindow::exportPovScene() {
    const std::optional<std::string> path =
        session_.askSaveName("TVR_pov.pov", "POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    if (!path) return;
    const Session& s = session_;
    PovScene scene{s.map(), s.state(), s.layers(), std::span<const Bond>(s.bonds().bonds), {}, {},
                   ModelViewMatrix(view_)};
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        scene.triangles[static_cast<size_t>(layer - 1)] = s.triangles().layer(layer);
        scene.segments[static_cast<size_t>(layer - 1)] = s.segments().layer(layer);
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

void MainWindow::saveImage() {
    const std::optional<std::string> path = session_.askSaveName("ZOL_picture.tga", "TGA pictures (*.tga)|*.tga");
    if (path) saveTga(*path);
}

void MainWindow::saveTga(const std::string& fileName) {
    if (!surface_ || !surface_->makeCurrent()) {
        platform_.showMessage(NoDrawingSurface(fileName));
        return;
    }
    const int w = surface_->pixelWidth(), h = surface_->pixelHeight();
    if (w > kTgaMaxSide || h > kTgaMaxSide) {
        platform_.showMessage("Cannot write the file " + fileName + ": the picture is " + std::to_string(w) + " x " +
                              std::to_string(h) + " pixels, and a TGA file holds at most " +
                              std::to_string(kTgaMaxSide) + " on a side.");
        return;
    }
    // After a swap the back buffer's content is undefined on many drivers: draw
    // the picture the window shows once more, then read it before any swap.
    drawFrame();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    const std::vector<uint8_t> bytes = TgaBytes(w, h, rgb);
    if (const auto failure = WriteFileAtomically(fileName, std::string(bytes.begin(), bytes.end())))
        platform_.showMessage(*failure);
}

void MainWindow::chooseBackgroundColour() {
    // A cancel keeps the dialog's colour, so the current background is applied again.
    if (const std::optional<uint32_t> chosen = platform_.colourDialog(dialogColour_)) dialogColour_ = *chosen;
    session_.setBackground(dialogColour_);
    const auto& rgb = session_.background();
    if (surface_ && surface_->makeCurrent()) glClearColor(rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f, 0.0f);
    paint();
}

void MainWindow::showHelp() {
    if (!help_) {
        help_ = std::make_unique<HelpWindow>(platform_.programDirectory());
        unloadOnClose(help_);
    }
    help_->show();
    help_->raise();
}

void MainWindow::showAbout() {
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
        facts.stereoMode = stereoMode_;
        for (int layer = 1; layer <= kLayerCount; ++layer)
            if (session_.layers().layerUsed(layer)) facts.usedTriangles += session_.triangles().count(layer);
        about_ = std::make_unique<AboutWindow>(facts);
        unloadOnClose(about_);
    }
    about_->show();
    about_->raise();
}

}  // namespace tivarel
