#include "device/TargetIdentity.h"

#include "device/Messages.h"
#include "link/HexText.h"

namespace {
const QString AcceptedFirmware = QStringLiteral("11");
constexpr quint32 HighestBootVector = 0x2000;
} // namespace

QString identificationFault(const QString& firmwareVersion, const QString& bootVectorAddress) {
    if (firmwareVersion != AcceptedFirmware)
        return Message::IncorrectFirmware;
    if (bootVectorAddress.size() < 4)
        return Message::IncorrectVectorAddress;
    if (hexValueOrZero(bootVectorAddress) > HighestBootVector)
        return Message::ProgramTooLarge;
    return {};
}
