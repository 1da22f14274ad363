#pragma once

#include "link/HexText.h"

#include <QString>

// What the record writers and readers note about a failed record or word.
namespace Message {

// A word that did not read back as it was written: its word address, the word written and the
// reply read back (empty when none came).
inline QString readBackMismatch(quint16 wordAddress, quint16 written, const QString& reply) {
    const QString read = reply.isEmpty() ? QStringLiteral("nothing") : reply;
    return QStringLiteral("word %1 did not read back: %2 written, %3 read")
        .arg(hexWord(wordAddress), hexWord(written), read);
}

// A word that was asked for and did not come.
inline QString noWordRead(quint16 wordAddress) {
    return QStringLiteral("word %1 was asked for, and no answer came").arg(hexWord(wordAddress));
}

} // namespace Message
