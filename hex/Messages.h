#pragma once

#include "link/HexText.h"

#include <QString>

// What the record writers note about a failed record for the report that follows.
namespace Message {

// A word that did not read back as it was written: its word address, the word written and the
// reply read back (empty when none came).
inline QString readBackMismatch(quint16 wordAddress, quint16 written, const QString& reply) {
    const QString read = reply.isEmpty() ? QStringLiteral("nothing") : reply;
    return QStringLiteral("word %1 did not read back: %2 written, %3 read")
        .arg(hexWord(wordAddress), hexWord(written), read);
}

} // namespace Message
