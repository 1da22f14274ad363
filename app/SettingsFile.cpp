#include "app/SettingsFile.h"

#include "app/ErrorHandler.h"
#include "app/Messages.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <optional>

namespace {

// A value is read as its first 2047 bytes at most; the rest of a longer value is dropped.
constexpr qsizetype MaxValueBytes = 2047;

// One line of the file, split into its parts. Lines are kept as raw bytes so that a write
// leaves every other line exactly as it was.
struct Line {
    QByteArray text;                   // without its line end
    std::optional<QByteArray> section; // the name, for a "[name]" header line
    std::optional<QByteArray> key;     // for a "key=value" line
    QByteArray value;                  // its value, without surrounding blanks
};

Line parseLine(const QByteArray& raw) {
    Line line{raw, {}, {}, {}};
    const QByteArray trimmed = raw.trimmed();
    if (trimmed.startsWith('[')) {
        const qsizetype close = trimmed.indexOf(']');
        line.section = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
    } else if (const qsizetype equals = trimmed.indexOf('=');
               equals > 0 && !trimmed.startsWith(';')) {
        line.key = trimmed.left(equals).trimmed();
        line.value = trimmed.mid(equals + 1).trimmed();
    }
    return line;
}

bool sameName(const QByteArray& a, const QString& b) {
    return QString::fromUtf8(a).compare(b, Qt::CaseInsensitive) == 0;
}

// The line end of a new file: the system's own, as its editors write it.
#ifdef Q_OS_WIN
constexpr char NewFileLineEnd[] = "\r\n";
#else
constexpr char NewFileLineEnd[] = "\n";
#endif

struct Contents {
    QList<Line> lines;
    QByteArray lineEnd = NewFileLineEnd; // else the first line's: CR LF or LF
};

Contents parse(const QByteArray& bytes) {
    Contents contents;
    QList<QByteArray> raw = bytes.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast(); // the last line's line end is not a further line
    if (!raw.isEmpty())
        contents.lineEnd = raw.first().endsWith('\r') ? "\r\n" : "\n";
    for (QByteArray& text : raw) {
        if (text.endsWith('\r'))
            text.chop(1);
        contents.lines.append(parseLine(text));
    }
    return contents;
}

// Index of the first header of the section, or -1.
qsizetype findSection(const Contents& contents, const QString& section) {
    for (qsizetype i = 0; i < contents.lines.size(); ++i)
        if (contents.lines[i].section && sameName(*contents.lines[i].section, section))
            return i;
    return -1;
}

// One past the section's last line: the next header, or the end of the file.
qsizetype sectionEnd(const Contents& contents, qsizetype header) {
    qsizetype i = header + 1;
    while (i < contents.lines.size() && !contents.lines[i].section)
        ++i;
    return i;
}

// Index of the key's line within the section that starts at header, or -1.
qsizetype findKey(const Contents& contents, qsizetype header, const QString& key) {
    const qsizetype end = sectionEnd(contents, header);
    for (qsizetype i = header + 1; i < end; ++i)
        if (contents.lines[i].key && sameName(*contents.lines[i].key, key))
            return i;
    return -1;
}

std::optional<QByteArray> readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

QByteArray join(const Contents& contents) {
    QByteArray bytes;
    for (const Line& line : contents.lines)
        bytes += line.text + contents.lineEnd;
    return bytes;
}

// Sets the key's line: replaces it, adds it after the last non-blank line of its section, or
// adds the section at the end of the file.
void setKey(Contents& contents, const QString& section, const QString& key, const QString& value) {
    const Line line = parseLine(key.toUtf8() + '=' + value.toUtf8());
    const qsizetype header = findSection(contents, section);
    if (header < 0) {
        if (!contents.lines.isEmpty() && !contents.lines.last().text.trimmed().isEmpty())
            contents.lines.append(parseLine({}));
        contents.lines.append(parseLine('[' + section.toUtf8() + ']'));
        contents.lines.append(line);
        return;
    }
    if (const qsizetype found = findKey(contents, header, key); found >= 0) {
        contents.lines[found] = line;
        return;
    }
    qsizetype insertAt = sectionEnd(contents, header);
    while (insertAt > header + 1 && contents.lines[insertAt - 1].text.trimmed().isEmpty())
        --insertAt;
    contents.lines.insert(insertAt, line);
}

// Writes a new file beside the old one and renames it over it: the old file stays whole when
// anything fails, and two writers never mix their lines.
bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // write() only fills the buffer: a file cut short (no room, a file-size limit) shows only in
    // flush(), and commit() would put the cut file in place of the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

} // namespace

QString SettingsFile::readString(const QString& section, const QString& key,
                                 const QString& defaultValue) const {
    const std::optional<QByteArray> bytes = readAll(path_);
    if (!bytes)
        return defaultValue;
    const Contents contents = parse(*bytes);
    const qsizetype header = findSection(contents, section);
    const qsizetype found = header < 0 ? -1 : findKey(contents, header, key);
    if (found < 0)
        return defaultValue;
    return QString::fromUtf8(contents.lines[found].value.left(MaxValueBytes));
}

void SettingsFile::writeString(const QString& section, const QString& key, const QString& value) {
    Contents contents;
    if (QFile::exists(path_)) {
        const std::optional<QByteArray> bytes = readAll(path_);
        if (!bytes) // rewriting a file that cannot be read would lose its other lines
            throw DownloaderError(Message::unableToWrite(path_));
        contents = parse(*bytes);
    }
    setKey(contents, section, key, value);
    if (!replaceFile(path_, join(contents)))
        throw DownloaderError(Message::unableToWrite(path_));
}

bool SettingsFile::canBeCreated() const {
    QTemporaryFile probe(path_ + QStringLiteral(".XXXXXX"));
    return probe.open(); // removed again when the probe goes
}
