#include "support/HexFiles.h"

#include "hex/HexRecord.h"

#include <QFile>

namespace HexFiles {

QByteArray record(quint8 type, quint16 byteAddress, const QByteArray& data) {
    return HexRecord::line(type, byteAddress, data);
}

QByteArray wordRecord(quint16 wordAddress, const QList<quint16>& words) {
    QByteArray data;
    for (const quint16 word : words) {
        data.append(char(word & 0xFF));
        data.append(char(word >> 8));
    }
    return record(0, quint16(wordAddress * 2), data);
}

QByteArray endRecord() {
    return ":00000001FF";
}

quint16 imageWord(int wordAddress) {
    return quint16((wordAddress * 7 + 0x0123) & 0x3FFF);
}

quint8 imageEepromByte(int offset) {
    return quint8(0xFF - offset);
}

QByteArray image(int wordCount, int eepromBytes) {
    QByteArray text;
    for (int start = 0; start < wordCount; start += 8) {
        QList<quint16> words;
        for (int address = start; address < std::min(start + 8, wordCount); ++address) {
            words.append(imageWord(address));
        }
        text += wordRecord(quint16(start), words) + "\r\n";
    }
    for (int start = 0; start < eepromBytes; start += 8) {
        QList<quint16> items;
        for (int offset = start; offset < std::min(start + 8, eepromBytes); ++offset) {
            items.append(imageEepromByte(offset));
        }
        text += wordRecord(quint16(0x2100 + start), items) + "\r\n";
    }
    return text + endRecord() + "\r\n";
}

QString writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace HexFiles
