#pragma once

#include <QtGlobal>

// The words of the boot-vector block: the marker at the boot vector tells how far a download
// came, and the block's other words, like the unused words of any program-memory block of four,
// hold the fill word.
constexpr quint16 EraseMarker = 0x19FF;      // program memory is erased
constexpr quint16 CompletionMarker = 0x19CC; // the whole HEX file has been written
constexpr quint16 FillWord = 0x3FFF;
