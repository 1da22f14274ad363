#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

// The pictures of the window, drawn by the program itself. Each button picture is 18 by 18
// pixels with a normal image and a greyed image for the disabled state.
namespace ButtonPictures {

constexpr int Size = 18;
// The grey of a greyed picture, which a disabled button's caption shares.
inline const QColor Grey(0x80, 0x80, 0x80);

QIcon tick();  // the Write button: a green tick
QIcon cross(); // the Cancel button: a red cross
QIcon door();  // the Close button: an open door
QIcon windowIcon();
// The window's icon drawn at size by size pixels, as the desktop shows the installed program.
QImage windowIconImage(int size);

// The greyed image of a picture: its shape embossed in grey, as a disabled button shows it.
QImage greyed(const QImage& picture);

} // namespace ButtonPictures
