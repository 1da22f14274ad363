// Writes the program's icon for the desktop's icon theme: <folder>/<N>x<N>/apps/<name>.png for
// every size N given, drawn by the same code as the window's own icon.
#include "ui/ButtonPictures.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "Usage: %s FOLDER NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString path = QStringLiteral("%1/%2x%2/apps/%3.png").arg(folder).arg(size).arg(name);
        if (size <= 0 || !QDir().mkpath(QFileInfo(path).path()) ||
            !ButtonPictures::windowIconImage(size).save(path)) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
            return 1;
        }
    }
    return 0;
}
