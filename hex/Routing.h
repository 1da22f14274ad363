#pragma once

#include <QByteArrayView>

// The number of words a download writes for one line of a HEX file: the whole words of a data
// record, unless it starts on a word that is never written (the ID words and the configuration
// word); 0 for every other record.
int wordsWritten(QByteArrayView line);
