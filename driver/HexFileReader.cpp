#include "driver/HexFileReader.h"

#include "app/ErrorHandler.h"

#include <cstring>

namespace {
constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
constexpr char EndOfFile = 26; // control-Z
constexpr qint64 ChunkSize = 64 * 1024;
} // namespace

void HexFileReader::open() {
    close();
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadOnly)) {
        fail(file_.errorString());
    }
    // A file that grows while it is read is read as far as it reached when it was opened.
    remaining_ = file_.size();
    const QDateTime modified = file_.fileTime(QFileDevice::FileModificationTime);
    if (firstSize_ < 0) {
        firstSize_ = remaining_;
        firstModified_ = modified;
    } else if (remaining_ != firstSize_ || modified != firstModified_) {
        fail(QStringLiteral("the file has changed since the download began"));
    }
}

void HexFileReader::close() {
    file_.close();
    buffer_.clear();
    position_ = 0;
    remaining_ = 0;
    ended_ = false;
}

void HexFileReader::fail(const QString& reason) const {
    throw DownloaderError(QStringLiteral("Cannot read %1: %2").arg(path_, reason));
}

// Appends the next chunk of the file to the buffer; false at the end of the file.
bool HexFileReader::fillBuffer() {
    if (ended_ || remaining_ <= 0) {
        ended_ = true;
        return false;
    }
    if (position_ > 0) {
        buffer_.remove(0, position_);
        position_ = 0;
    }
    const qsizetype oldSize = buffer_.size();
    const qint64 wanted = std::min(ChunkSize, remaining_);
    buffer_.resize(oldSize + wanted);
    const qint64 got = file_.read(buffer_.data() + oldSize, wanted);
    if (got < 0) {
        fail(file_.errorString());
    }
    buffer_.resize(oldSize + got);
    remaining_ -= got;
    if (got == 0) {
        ended_ = true; // the file was cut short while it was read
    }
    return got > 0;
}

bool HexFileReader::atEnd() {
    while (position_ >= buffer_.size()) {
        if (!fillBuffer()) {
            return true;
        }
    }
    return buffer_.at(position_) == EndOfFile;
}

QByteArray HexFileReader::readLine(qsizetype maxLength) {
    QByteArray line;
    if (atEnd()) {
        return line;
    }
    const auto isCarriageReturn = [](char c) { return c == CarriageReturn; };
    bool full = false; // maxLength reached: the rest of the line is passed over
    for (;;) {
        const char* start = buffer_.constData() + position_;
        const qsizetype available = buffer_.size() - position_;
        const auto* lineEnd = static_cast<const char*>(std::memchr(start, LineFeed, available));
        const qsizetype untilEnd = lineEnd ? lineEnd - start : available;
        const auto* endOfFile = static_cast<const char*>(std::memchr(start, EndOfFile, untilEnd));
        const qsizetype take = endOfFile ? endOfFile - start : untilEnd;
        if (!full) {
            line.append(start, take);
            if (line.size() > maxLength) {
                line.removeIf(isCarriageReturn);
                full = line.size() > maxLength;
                line.truncate(std::min(line.size(), maxLength));
            }
        }
        position_ += take;
        if (endOfFile || lineEnd) {
            position_ += endOfFile ? 0 : 1; // control-Z stays: atEnd() reports it from here on
            break;
        }
        if (!fillBuffer()) {
            break;
        }
    }
    line.removeIf(isCarriageReturn);
    return line;
}
