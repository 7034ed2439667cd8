// Progress of a programming run shown in a window: a progress bar as the gauge
// and a label for the elapsed time.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "devices/Progress.h"

namespace kestrin {

class QtProgress final : public IProgress {
public:
    // backgroundRgb: the gauge's background colour (0xRRGGBB), kept when the bar changes colour.
    QtProgress(QProgressBar* gauge, QLabel* timeLabel, uint32_t backgroundRgb);

    void SetColor(uint32_t rgb) override;
    void SetProgress(int32_t value) override;
    void SetMaxValue(int32_t value) override;
    void SetText(const std::string& text) override;
    void ProcessEvents() override;

    // Style sheet of a gauge with the given bar colour (0xRRGGBB) on the given background.
    static QString GaugeStyle(uint32_t barRgb, uint32_t backgroundRgb);

private:
    // Pending events may close the window that owns the controls.
    QPointer<QProgressBar> gauge_;
    QPointer<QLabel> timeLabel_;
    uint32_t background_;
    int32_t maxValue_ = 1;
};

}  // namespace kestrin
