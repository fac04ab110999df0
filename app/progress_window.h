#pragma once
// frmProgressBar: a small window with a 0..100 bar, shown while surfaces are built.
#include <QTimer>
#include <QWidget>

#include "surface/march_cubes.h"

class QProgressBar;

namespace tivarel {

class frmProgressBar : public QWidget, public ProgressSink {
public:
    frmProgressBar();
    void showProgress(const std::string& caption) override;
    void setProgress(int percent) override;
    void hideProgress() override;
    int value() const;

private:
    QProgressBar* ProgressBar1;
    QTimer hideTimer_;
};

}  // namespace tivarel
