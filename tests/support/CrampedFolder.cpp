#include "support/CrampedFolder.h"

#include <QDir>

#include <algorithm>

QString crampedFolder(const QString& base) {
    constexpr qsizetype PathLimit = 4096; // bytes, its terminating NUL included
    const qsizetype length = PathLimit - 1 - qsizetype(sizeof("/DWNLD.INI") - 1) - 3;
    QString folder = base;
    while (folder.size() < length)
        folder += QLatin1Char('/') +
                  QString(std::min<qsizetype>(200, length - folder.size() - 1), QLatin1Char('d'));
    return QDir().mkpath(folder) ? folder : QString();
}
