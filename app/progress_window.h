#pragma once
// ProgressWindow: a small window with a 0..100 bar, shown while surfaces are built.
#include <QTimer>
#include <QWidget>

#include "surface/march_cubes.h"

class QProgressBar;

namespace tivarel {

class ProgressWindow : public QWidget, public ProgressSink {
public:
    ProgressWindow();
    void showProgress(const std::string& caption) override;
    void setProgress(int percent) override;
    void hideProgress() override;
    void closeProgress() override;
    int value() const;

private:
    QProgressBar* bar_;
    QTimer hideTimer_;
};

}  // namespace tivarel
