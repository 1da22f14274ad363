#pragma once

#include <QtGlobal>

// Program memory is erased in rows of RowWords words, from word 0 up to the row that starts at
// most EraseLimitOffset words below the boot vector: the row holding the boot-vector block is
// left alone unless the vector sits in the last four words of a row.
constexpr quint32 RowWords = 32;
constexpr quint32 EraseLimitOffset = 28;

// The rows an erase below the boot vector takes; none below the first row's end.
constexpr int rowsErased(quint32 bootVector) {
    return bootVector < EraseLimitOffset ? 0 : int((bootVector - EraseLimitOffset) / RowWords) + 1;
}
