// Progress of a programming run shown in a window: a progress bar as the gauge
// and a label for the elapsed time.
//
// A run reports thousands of steps; repainting the bar and handing control to
// the event loop for each would cost more host time than the link. The bar
// follows the steps at most every kRepaintInterval, and always when a phase
// reaches its end; the label changes only when its text does (a tenth of a
// second); pending events are processed at most every kRepaintInterval.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "devices/Progress.h"

namespace kestrin {

class QtProgress final : public IProgress {
public:
    static constexpr qint64 kRepaintInterval = 16;  // ms, one frame at 60 Hz

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
    void ShowValue(int32_t value);
    // True, and the interval restarted, when timer has run for kRepaintInterval.
    static bool Due(QElapsedTimer& timer);

    uint32_t background_;
    int32_t maxValue_ = 1;
    QElapsedTimer gaugeShown_;
    QElapsedTimer eventsProcessed_;
};

}  // namespace kestrin
