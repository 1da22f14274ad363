#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reads a HEX file as text lines: a line ends at LF, a CR before the LF is not part of it and a
// lone CR is dropped, control-Z ends the file, and lines have no length limit. The file is
// opened for reading only, other programs may read it at the same time. Failing to open or read
// it throws DownloaderError with the file system's reason.
class HexFileReader {
public:
    explicit HexFileReader(QString path) : path_(std::move(path)) {}

    void open();  // opens at the beginning (again, when already open)
    void close(); // closing a closed reader does nothing
    bool atEnd(); // no further line
    QByteArray readLine();

private:
    [[noreturn]] void fail() const;
    bool fillBuffer();

    QString path_;
    QFile file_;
    QByteArray buffer_;
    qsizetype position_ = 0;
    qint64 remaining_ = 0; // bytes of the file not read yet
    bool ended_ = false;   // end of file or control-Z reached
};
