#include "ui/ProgressGauge.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

ProgressGauge::ProgressGauge(QWidget* parent) : QWidget(parent) {
    // The whole area is painted here, nothing of the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProgressGauge::setMinimum(int value) {
    const int oldPercent = percentDone();
    const int oldMaximum = maximum();
    range_.setMinimum(value);
    changed(oldPercent, oldMaximum, barColor_);
}

void ProgressGauge::setMaximum(int value) {
    const int oldPercent = percentDone();
    const int oldMaximum = maximum();
    range_.setMaximum(value);
    changed(oldPercent, oldMaximum, barColor_);
}

void ProgressGauge::setProgress(int value) {
    const int oldPercent = percentDone();
    range_.setProgress(value);
    changed(oldPercent, maximum(), barColor_);
}

void ProgressGauge::setBarColor(const QColor& color) {
    const QColor oldColor = barColor_;
    barColor_ = color;
    changed(percentDone(), maximum(), oldColor);
}

// Only what the user can see causes a repaint: the whole-number percentage, the maximum or the
// bar colour.
void ProgressGauge::changed(int oldPercent, int oldMaximum, QColor oldColor) {
    if (oldPercent != percentDone() || oldMaximum != maximum() || oldColor != barColor_)
        update();
}

// Painted into an image first: the raster operation that inverts the text beneath it needs a
// raster paint device, whatever the window system paints with.
void ProgressGauge::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);

    QPainter painter(&image);
    const int barWidth = int(qint64(width()) * percentDone() / 100);
    if (barWidth > 0)
        painter.fillRect(QRect(0, 0, barWidth, height()), barColor_);
    // A failure before any progress has no bar to turn red: the frame and the text show it.
    const bool emptyFailure = barWidth == 0 && barColor_ == GaugeColor::Red;
    if (emptyFailure) {
        painter.setPen(
            QPen(barColor_, FailureFrameWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        const qreal inset = FailureFrameWidth / 2.0;
        painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
    }

    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias); // whole pixels, each inverted exactly
    painter.setFont(textFont);
    // Over white, the pen that turns the text red; otherwise white, which inverts the colour.
    painter.setPen(emptyFailure ? QColor(~barColor_.rgb() & 0xFFFFFF) : QColor(Qt::white));
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawText(rect(), Qt::AlignCenter, QString::asprintf("%d%%", percentDone()));
    painter.end();

    QPainter(this).drawImage(0, 0, image);
}
