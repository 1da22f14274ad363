#pragma once

#include <QString>

// The tool's initialisation file: "[section]" header lines, under them "key=value" lines.
// Sections and keys match without regard to case; values are read without surrounding blanks.
// Writing a key keeps every other line of the file and replaces the file atomically (a new
// file, then a rename), so that the old file stays whole when a write fails.
class SettingsFile {
public:
    explicit SettingsFile(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // The key's value (its first 2047 bytes at most), or defaultValue when the file, the
    // section or the key is absent, or the file cannot be read.
    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Sets the key, creating the file and the section when needed. Throws DownloaderError
    // "Unable to write to <path>" when the file cannot be written.
    void writeString(const QString& section, const QString& key, const QString& value);
    // Whether a write could create the file where it is absent: a new file can be made in its
    // folder. Tried for real, since permissions alone do not tell (a read-only mount, or root,
    // who passes every permission check); nothing is left behind.
    bool canBeCreated() const;

private:
    QString path_;
};
