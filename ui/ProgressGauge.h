#pragma once

#include "driver/GaugeRange.h"

#include <QColor>
#include <QWidget>

// The bar colours of the download: lime while idle and writing, blue while erasing, red after a
// failure.
namespace GaugeColor {
inline const QColor Lime(0x00, 0xFF, 0x00);
inline const QColor Blue(0x00, 0x00, 0xFF);
inline const QColor Red(0xFF, 0x00, 0x00);
} // namespace GaugeColor

// A horizontal progress gauge: a bar on a white background with the whole-number percentage
// drawn inverted over both (black over white, magenta over a lime bar). A red gauge without a
// bar, a failure before any progress, shows a red frame and its percentage in red.
class ProgressGauge : public QWidget {
    Q_OBJECT

public:
    static constexpr int FailureFrameWidth = 2; // pixels

    explicit ProgressGauge(QWidget* parent = nullptr);

    int minimum() const { return range_.minimum(); }
    int maximum() const { return range_.maximum(); }
    int progress() const { return range_.progress(); }
    QColor barColor() const { return barColor_; }
    int percentDone() const { return range_.percentDone(); } // truncated; 0 for an empty range

    // The range keeps minimum <= progress <= maximum: a new bound that crosses the other one
    // moves it along, and the progress is moved into the range.
    void setMinimum(int value);
    void setMaximum(int value);  // lowers the progress when it lies above the new maximum
    void setProgress(int value); // kept within the range
    void setBarColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints when the whole-number percentage, the maximum or the bar colour has changed.
    void changed(int oldPercent, int oldMaximum, QColor oldColor);

    GaugeRange range_;
    QColor barColor_ = GaugeColor::Lime;
};
