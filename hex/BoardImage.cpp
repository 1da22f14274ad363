#include "hex/BoardImage.h"

#include "device/Markers.h"
#include "hex/HexRecord.h"
#include "hex/Routing.h"

#include <algorithm>

namespace {
constexpr int RecordWords = 8; // 16 bytes

// One data record of words from a word address, each stored low byte first.
QByteArray wordRecord(quint16 wordAddress, const QList<quint16>& words) {
    QByteArray data;
    for (const quint16 word : words) {
        data.append(char(word & 0xFF));
        data.append(char(word >> 8));
    }
    return HexRecord::line(0, quint16(wordAddress * 2), data) + '\n';
}

bool isErased(const QList<quint16>& words) {
    return std::all_of(words.begin(), words.end(), [](quint16 word) { return word == FillWord; });
}

// Records of whole blocks: a record takes the next block when it follows on and there is room.
QByteArray programRecords(const QList<quint16>& words) {
    QByteArray text;
    QList<quint16> record;
    qsizetype recordStart = 0;
    const auto endRecord = [&] {
        if (!record.isEmpty())
            text += wordRecord(quint16(recordStart), record);
        record.clear();
    };
    for (qsizetype start = 0; start < words.size(); start += BlockWords) {
        const QList<quint16> block = words.mid(start, BlockWords);
        if (isErased(block)) {
            endRecord();
            continue;
        }
        if (record.size() + block.size() > RecordWords)
            endRecord();
        if (record.isEmpty())
            recordStart = start;
        record += block;
    }
    endRecord();
    return text;
}

QByteArray eepromRecords(const QList<quint16>& items) {
    QByteArray text;
    for (qsizetype start = 0; start < items.size(); start += RecordWords)
        text += wordRecord(quint16(FirstEepromWord + start), items.mid(start, RecordWords));
    return text;
}
} // namespace

QByteArray intelHexText(const BoardImage& image) {
    return programRecords(image.programWords) + eepromRecords(image.eepromItems) +
           HexRecord::line(1, 0, {}) + '\n';
}
