#include "device/Markers.h"
#include "device/Messages.h"
#include "device/TargetIdentity.h"
#include "driver/DownloadSession.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "link/Protocol.h"
#include "ui/Messages.h"

// Asks the bootloader who it is. Keeps the firmware version and the boot-vector address as
// received, then accepts only firmware "11" with a boot-vector address of at most 2000.
QString DownloadSession::GET_FIRMWARE_VERSION() {
    SEND_HEX(Command::identify());
    const QString reply = GET_REPLY();
    FirmwareVersion = reply.left(2);
    BootVectorAddress = reply.mid(2, 4);
    if (const QString fault = identificationFault(FirmwareVersion, BootVectorAddress);
        !fault.isEmpty()) {
        DO_ERROR(fault);
        return {};
    }
    return FirmwareVersion;
}

bool DownloadSession::acceptsBootloader(PortDevice& port) {
    port.purge(); // answers to earlier "*" that came late
    port.write(commandLine(Command::identify()));
    const QString reply = replyText(port.read(IdentifyReplyLength));
    return identificationFault(reply.left(2), reply.mid(2, 4)).isEmpty();
}

// Reads the program word at the boot-vector address, sent back exactly as the bootloader gave it.
QString DownloadSession::READ_VECTOR_ADDRESS() {
    if (!sendAcknowledged(Command::address(BootVectorAddress))) {
        DO_ERROR(Message::IncorrectVectorAddress);
        return {};
    }
    SEND_HEX(Command::readWord());
    const QString word = GET_WORD_REPLY();
    if (word.isEmpty()) {
        DO_ERROR(Message::DownloadFailed);
        return {};
    }
    return word;
}

// Writes the four-word block at the boot-vector address: the marker, then three fill words.
// A failed acknowledgement does not stop the block; only the last one counts.
bool DownloadSession::writeMarkerBlock(quint16 marker) {
    const QString fill = Command::writeWord(FillWord);
    const QString commands[] = {Command::address(BootVectorAddress), Command::writeWord(marker),
                                fill, fill, fill};
    bool lastAcknowledged = false;
    for (const QString& command : commands) {
        lastAcknowledged = sendAcknowledged(command);
    }
    return lastAcknowledged;
}
