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

ProgressWindow::ProgressWindow() : QWidget(nullptr, Qt::Tool), bar_(new QProgressBar(this)) {
    setWindowTitle("ZOL map calculation progress");
    bar_->setRange(0, 100);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    resize(420, 60);
    // Layers are built one after another: the window goes away only when control
    // returns to the event loop, so that it does not vanish and reappear between them.
    hideTimer_.setSingleShot(true);
    hideTimer_.setInterval(0);
    connect(&hideTimer_, &QTimer::timeout, this, [this] { hide(); });
}

void ProgressWindow::showProgress(const std::string& caption) {
    hideTimer_.stop();
    setWindowTitle(QString::fromStdString(caption));
    show();
    // The extraction does not return to the event loop: let the window system map
    // the window first (taking no user input meanwhile), or nothing would be seen.
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < kMapWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    bar_->repaint();
}

void ProgressWindow::setProgress(int percent) {
    bar_->setValue(percent);
    if (isVisible()) bar_->repaint();
}

void ProgressWindow::hideProgress() { hideTimer_.start(); }

void ProgressWindow::closeProgress() {
    hideTimer_.stop();
    hide();
}

int ProgressWindow::value() const { return bar_->value(); }

}  // namespace tivarel
