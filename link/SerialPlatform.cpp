// The platform seam's common part; the system's own methods are in SerialPlatformPosix.cpp and
// SerialPlatformWindows.cpp.
#include "link/SerialPlatform.h"

#include <QStringList>

namespace {

const SerialPlatform* replacement = nullptr;

} // namespace

SerialPlatform::~SerialPlatform() = default;

QString portDescription(const QString& description, const QString& maker) {
    QStringList parts;
    for (const QString& part : {description, maker})
        if (!part.isEmpty() && !parts.contains(part))
            parts.append(part);
    return parts.join(QStringLiteral(", "));
}

const SerialPlatform& serialPlatform() {
    static const SerialPlatform system;
    return replacement != nullptr ? *replacement : system;
}

void setSerialPlatform(const SerialPlatform* platform) {
    replacement = platform;
}
