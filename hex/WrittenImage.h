#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QtGlobal>

// The words that a download of a HEX file leaves on the board, by word address: the words of
// every data record and the fill words of its last program-memory block, routed as the download
// routes them, so without the records it skips; where records overlap, the later one's words.
class WrittenImage {
public:
    // Adds one line of the file; lines are added in the file's order.
    void add(QByteArrayView line);
    const QMap<quint16, quint16>& words() const { return words_; }

private:
    QMap<quint16, quint16> words_;
};
