#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <limits>

// Reads a HEX file as text lines: a line ends at LF, a CR before the LF is not part of it and a
// lone CR is dropped, control-Z ends the file, and lines have no length limit. The file is
// opened for reading only, other programs may read it at the same time. Failing to open or read
// it throws DownloaderError with the file system's reason.
//
// The first opening fixes the file's size and modification time: a file opened again that
// differs in either has changed since it was first read, and opening it fails.
class HexFileReader {
public:
    explicit HexFileReader(QString path) : path_(std::move(path)) {}

    void open();  // opens at the beginning (again, when already open)
    void close(); // closing a closed reader does nothing
    bool atEnd(); // no further line
    // The next line, cut to at most maxLength characters: the rest of a longer line is passed
    // over without being kept, so that a huge line costs no memory.
    QByteArray readLine(qsizetype maxLength = std::numeric_limits<qsizetype>::max());
    void skipLine() { readLine(0); }

private:
    [[noreturn]] void fail(const QString& reason) const;
    bool fillBuffer();

    QString path_;
    QFile file_;
    QByteArray buffer_;
    qsizetype position_ = 0;
    qint64 remaining_ = 0;  // bytes of the file not read yet
    bool ended_ = false;    // end of file or control-Z reached
    qint64 firstSize_ = -1; // the size and modification time at the first opening
    QDateTime firstModified_;
};
