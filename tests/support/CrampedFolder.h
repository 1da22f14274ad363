#pragma once

#include <QString>

// A folder under base whose path leaves room for "DWNLD.INI" but not for the longer name that
// replacing a file there goes through: a settings file there can be read, but never rewritten,
// whoever runs the tool, root included. Empty when it cannot be made.
QString crampedFolder(const QString& base);
