#include "hex/WrittenImage.h"

#include "device/Markers.h"
#include "hex/HexRecord.h"
#include "hex/Routing.h"

void WrittenImage::add(QByteArrayView line) {
    const RecordRoute route = routeOf(line);
    for (int i = 0; i < route.wordCount; ++i)
        words_.insert(quint16(route.wordAddress + i), HexRecord::dataWord(line, i));
    if (route.memory != RecordRoute::Memory::Program)
        return;
    const int fill = fillWordsAfter(route.wordCount);
    for (int i = route.wordCount; i < route.wordCount + fill; ++i)
        words_.insert(quint16(route.wordAddress + i), FillWord);
}
