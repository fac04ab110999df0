#include "app/progress_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

namespace tivarel {

namespace {
// How long a new window may take to appear before the work goes on without it.
constexpr int kMapWaitMs = 1000;
}  // namespace

frmProgressBar::frmProgressBar() : QWidget(nullptr, Qt::Tool), ProgressBar1(new QProgressBar(this)) {
    setWindowTitle("ZOL map calculation progress");
    ProgressBar1->setRange(0, 100);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
    resize(420, 60);
    // Layers are built one after another: the window goes away only when control
    // returns to the event loop, so that it does not vanish and reappear between them.
    hideTimer_.setSingleShot(true);
    hideTimer_.setInterval(0);
    connect(&hideTimer_, &QTimer::timeout, this, [this] { hide(); });
}

void frmProgressBar::showProgress(const std::string& caption) {
    hideTimer_.stop();
    setWindowTitle(QString::fromStdString(caption));
    show();
    // The extraction does not return to the event loop: let the window system map
    // the window first (taking no user input meanwhile), or nothing would be seen.
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < kMapWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    ProgressBar1->repaint();
}

void frmProgressBar::setProgress(int percent) {
    ProgressBar1->setValue(percent);
    if (isVisible()) ProgressBar1->repaint();
}

void frmProgressBar::hideProgress() { hideTimer_.start(); }

int frmProgressBar::value() const { return ProgressBar1->value(); }

}  // namespace tivarel
