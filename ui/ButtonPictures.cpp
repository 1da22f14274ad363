#include "ui/ButtonPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace ButtonPictures {
namespace {

QImage draw(int size, const std::function<void(QPainter&)>& paint) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter);
    return image;
}

QIcon buttonIcon(const std::function<void(QPainter&)>& paint) {
    const QImage normal = draw(Size, paint);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(greyed(normal)), QIcon::Disabled);
    return icon;
}

QPen thickPen(const QColor& color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

void paintTick(QPainter& painter) {
    painter.setPen(thickPen(QColor(0x00, 0x80, 0x00), 3));
    painter.drawPolyline(QPolygon({QPoint(3, 9), QPoint(7, 13), QPoint(14, 4)}));
}

void paintCross(QPainter& painter) {
    painter.setPen(thickPen(QColor(0xC0, 0x00, 0x00), 3));
    painter.drawLine(4, 4, 13, 13);
    painter.drawLine(13, 4, 4, 13);
}

void paintDoor(QPainter& painter) {
    // The door frame with the dark opening behind it.
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(Qt::black);
    painter.drawRect(5, 1, 10, 15);
    // The leaf, swung open towards the viewer on its left hinge.
    painter.setPen(QColor(0x60, 0x30, 0x00));
    painter.setBrush(QColor(0xC0, 0x80, 0x30));
    painter.drawPolygon(QPolygon({QPoint(5, 1), QPoint(10, 3), QPoint(10, 17), QPoint(5, 16)}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xE0, 0x00));
    painter.drawRect(8, 9, 1, 2); // the handle
    // The floor line in front of the doorway.
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawLine(1, 17, 16, 17);
}

// A programming cradle sending infrared to a chip: the window's own icon, drawn on a grid of
// WindowIconSize pixels.
constexpr int WindowIconSize = 32;
void paintWindowIcon(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x80, 0x80, 0x80));
    painter.drawRect(2, 20, 12, 10); // the cradle
    painter.setBrush(QColor(0x80, 0x00, 0x00));
    painter.drawRect(10, 22, 3, 3); // its infrared window
    painter.setBrush(QColor(0x20, 0x20, 0x20));
    painter.drawRect(18, 4, 10, 14); // the chip
    painter.setPen(QColor(0xC0, 0xC0, 0xC0));
    for (int y = 6; y < 17; y += 3) {
        painter.drawLine(15, y, 17, y);
        painter.drawLine(29, y, 31, y);
    }
    painter.setPen(thickPen(QColor(0xFF, 0x00, 0x00), 2));
    for (int i = 0; i < 3; ++i) {
        const QRect arc(6 + 3 * i, 12 - 3 * i, 10, 10);
        painter.drawArc(arc, 0 * 16, 90 * 16);
    }
}

} // namespace

QIcon tick() {
    return buttonIcon(paintTick);
}
QIcon cross() {
    return buttonIcon(paintCross);
}
QIcon door() {
    return buttonIcon(paintDoor);
}

QIcon windowIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(draw(WindowIconSize, paintWindowIcon)));
    return icon;
}

QImage windowIconImage(int size) {
    if (size == WindowIconSize)
        return draw(size, paintWindowIcon);
    return draw(size, [size](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(qreal(size) / WindowIconSize, qreal(size) / WindowIconSize);
        paintWindowIcon(painter);
    });
}

QImage greyed(const QImage& picture) {
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_ARGB32);
    result.fill(Qt::transparent);
    const QRgb highlight = qRgb(0xFF, 0xFF, 0xFF);
    const QRgb shadow = Grey.rgb();
    // The shape in white, one pixel down and right, then in grey on top.
    for (int pass = 0; pass < 2; ++pass) {
        const int offset = pass == 0 ? 1 : 0;
        for (int y = 0; y + offset < source.height(); ++y)
            for (int x = 0; x + offset < source.width(); ++x)
                if (qAlpha(source.pixel(x, y)) >= 0x80)
                    result.setPixel(x + offset, y + offset, pass == 0 ? highlight : shadow);
    }
    return result;
}

} // namespace ButtonPictures
