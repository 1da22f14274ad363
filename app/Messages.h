#pragma once

#include <QString>

// The application's title, the product's name (CMakeLists.txt): the name of the running program,
// the window's caption until a HEX file names it, and the caption of every error box.
inline const QString ApplicationTitle = QStringLiteral(DWNLD_PRODUCT);

namespace Message {

// The error raised when the settings file at path cannot be written.
inline QString unableToWrite(const QString& path) {
    return QStringLiteral("Unable to write to ") + path;
}

} // namespace Message
