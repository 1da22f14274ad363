#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class QWidget;

// Where a read of the board goes: asked in a save dialog that suggests `suggested` and asks
// before replacing a file; empty when the user cancels. Tests hand in their own answer.
using ReadFileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
void setReadFileChooser(ReadFileChooser chooser); // an empty chooser restores the dialog
QString chooseReadFile(QWidget* parent, const QString& suggested);

// The file suggested for a board read at `when`: board-YYYY-MM-DD-HHMM.hex beside the HEX file,
// or in the user's home folder when there is none.
QString suggestedReadPath(const QString& hexFileName, const QDateTime& when);
