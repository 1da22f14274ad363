#pragma once

#include <QString>

// Where the installed program and the user's own settings are, in the system's own ways
// (ProgramPlacePosix.cpp, ProgramPlaceWindows.cpp).

// Whether exeDir (ending in "/") is the installed program's folder, which every user shares: on
// Linux the package's binary folder, on Windows the folder the installer recorded.
bool isInstalledProgramFolder(const QString& exeDir);

// The folder of the user's own settings file: "$XDG_CONFIG_HOME/zeltra-ir-downloader" on Linux
// ("~/.config" when the variable is unset, empty or not an absolute path),
// "%LOCALAPPDATA%\<the product's name>" on Windows.
QString userSettingsFolder();
