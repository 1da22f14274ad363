#include "device/TargetIdentity.h"

#include "link/HexText.h"

namespace {
const QString AcceptedFirmware = QStringLiteral("11");
constexpr quint32 HighestBootVector = 0x2000;
} // namespace

QString identificationFault(const QString& firmwareVersion, const QString& bootVectorAddress) {
    if (firmwareVersion != AcceptedFirmware)
        return QStringLiteral("Incorrect Firmware within ZELTRA IR");
    if (bootVectorAddress.size() < 4)
        return QStringLiteral("Incorrect Vector Address");
    if (hexValueOrZero(bootVectorAddress) > HighestBootVector)
        return QStringLiteral("Program to large for ZELTRA IR");
    return {};
}
