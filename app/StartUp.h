#pragma once

#include <QString>

// The directory part of the executable's full path, ending in exactly one "/" (the root is "/").
QString executableDirectory(const QString& executablePath);
