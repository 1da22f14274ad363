#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// The two ways the tool reads hexadecimal text (a-f accepted as well as A-F).

// Leading-digits form, for the two-digit fields of a HEX line: the value of the hexadecimal
// digits before the first character that is not one; 0 when the first character is not a digit.
quint32 leadingHexValue(QByteArrayView text);

// All-or-zero form, for data words, the boot-vector address and every reply from the target:
// the value of the whole text as a hexadecimal number, or 0 as soon as the text is empty, holds
// any character that is not a hexadecimal digit, or does not fit in 32 bits.
quint32 hexValueOrZero(QByteArrayView text);
quint32 hexValueOrZero(const QString& text);
inline quint32 hexValueOrZero(const QByteArray& text) {
    return hexValueOrZero(QByteArrayView(text));
}

// A 16-bit value as the host always writes it in a command: four upper-case digits, zero-padded.
QString hexWord(quint16 value);

// One reply line from the bytes of one read from the target: everything before the first LF.
QString replyText(QByteArrayView bytes);
