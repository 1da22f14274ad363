#pragma once

#include <QString>

class SettingsFile;

// The directory part of the executable's full path, ending in exactly one "/" (the root is "/").
QString executableDirectory(const QString& executablePath);

// Where the settings file is: "DWNLD.INI" beside the executable (exeDir ends in "/") when it is
// there or can be created there, as with a portable copy (the installed program's folder is
// never given a new one); otherwise "DWNLD.INI" in the user's own settings folder
// (app/ProgramPlace.h).
QString settingsLocation(const QString& exeDir);

// The port of a new settings file.
inline const QString DefaultPort = QStringLiteral("COM1");

// The port kept in the settings file: "COM1" when the file, or the port in it, is absent.
QString savedPort(const SettingsFile& settings);
// Writes the port into the settings file, creating its folder as needed (the user's
// configuration folder may not exist yet). Throws DownloaderError when it cannot be written.
void savePort(SettingsFile& settings, const QString& portName);

// Whether name names a file that can be written to the target: an empty name or a directory
// does not.
bool isHexFilePresent(const QString& name);
