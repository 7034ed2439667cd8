#include "ui/QtProgress.h"

#include <QCoreApplication>

#include <algorithm>

namespace kestrin {

namespace {

QString Rgb(uint32_t rgb) { return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')); }

}  // namespace

QtProgress::QtProgress(QProgressBar* gauge, QLabel* timeLabel, uint32_t backgroundRgb)
    : gauge_(gauge), timeLabel_(timeLabel), background_(backgroundRgb) {}

QString QtProgress::GaugeStyle(uint32_t barRgb, uint32_t backgroundRgb) {
    return QStringLiteral(
               "QProgressBar { background-color: %1; border: 2px inset gray; }"
               " QProgressBar::chunk { background-color: %2; }")
        .arg(Rgb(backgroundRgb), Rgb(barRgb));
}

void QtProgress::SetColor(uint32_t rgb) {
    if (gauge_ != nullptr) gauge_->setStyleSheet(GaugeStyle(rgb, background_));
}

bool QtProgress::Due(QElapsedTimer& timer) {
    if (timer.isValid() && timer.elapsed() < kRepaintInterval) return false;
    timer.start();
    return true;
}

void QtProgress::SetProgress(int32_t value) {
    // The start and the last step of a phase always show.
    const bool edge = value <= 0 || value >= maxValue_;
    if (edge)
        gaugeShown_.start();
    else if (!Due(gaugeShown_))
        return;
    ShowValue(value);
}

void QtProgress::ShowValue(int32_t value) {
    if (gauge_ == nullptr) return;
    if (maxValue_ <= 0) {
        // A single unit of work: empty until it is done.
        gauge_->setValue(value >= maxValue_ ? gauge_->maximum() : 0);
        return;
    }
    // A value beyond the range would be ignored by the bar; show it as full.
    gauge_->setValue(std::clamp(value, gauge_->minimum(), gauge_->maximum()));
}

void QtProgress::SetMaxValue(int32_t value) {
    maxValue_ = value;
    if (gauge_ == nullptr) return;
    // A zero range would turn the bar into a busy indicator.
    gauge_->setRange(0, std::max(value, 1));
}

void QtProgress::SetText(const std::string& text) {
    if (timeLabel_ == nullptr) return;
    const QString next = QString::fromStdString(text);
    if (timeLabel_->text() != next) timeLabel_->setText(next);
}

void QtProgress::ProcessEvents() {
    if (Due(eventsProcessed_)) QCoreApplication::processEvents();
}

}  // namespace kestrin
