#include "app/progress_window.h"

#include <QProgressBar>
#include <QVBoxLayout>

namespace tivarel {

frmProgressBar::frmProgressBar() : QWidget(nullptr, Qt::Tool), ProgressBar1(new QProgressBar(this)) {
    setWindowTitle("ZOL map calculation progress");
    ProgressBar1->setRange(0, 100);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
    resize(420, 60);
}

void frmProgressBar::showProgress(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    show();
    ProgressBar1->repaint();
}

void frmProgressBar::setProgress(int percent) {
    ProgressBar1->setValue(percent);
    // The extraction does not return to the event loop: paint the bar now.
    if (isVisible()) ProgressBar1->repaint();
}

void frmProgressBar::hideProgress() { hide(); }

int frmProgressBar::value() const { return ProgressBar1->value(); }

}  // namespace tivarel
