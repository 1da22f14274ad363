// Fuzz target: the target's replies as a read delivers them, and the identification taken out
// of them (firmware version and boot-vector address).
#include "FuzzCheck.h"

#include "device/Messages.h"
#include "device/TargetIdentity.h"
#include "link/HexText.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = inputBytes(data, size);
    const QString reply = replyText(bytes);
    const qsizetype lineEnd = bytes.indexOf('\n');
    require(reply.size() == (lineEnd < 0 ? bytes.size() : lineEnd) && !reply.contains('\n'),
            "a reply ends before the first LF");
    require(reply.toLatin1() == bytes.first(reply.size()), "a reply keeps its bytes as they came");

    // The identification reply: version, then boot-vector address, kept as received.
    const QString version = reply.left(2);
    const QString vector = reply.mid(2, 4);
    const QString fault = identificationFault(version, vector);
    QString expected;
    if (version != QStringLiteral("11"))
        expected = Message::IncorrectFirmware;
    else if (vector.size() < 4)
        expected = Message::IncorrectVectorAddress;
    else if (hexValueOrZero(vector) > 0x2000)
        expected = Message::ProgramTooLarge;
    require(fault == expected, "the identification is judged by version and address");
    if (fault.isEmpty())
        require(reply.startsWith(QStringLiteral("11")) && hexValueOrZero(vector) <= 0x2000,
                "only firmware 11 with a boot vector of at most 2000 is accepted");

    // A word reply: the four characters compared with the markers, or read as a value.
    (void)hexValueOrZero(reply);
    return 0;
}
