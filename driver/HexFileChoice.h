#pragma once

#include <QString>

#include <functional>

class QMimeData;
class QWidget;

// Asks the user for the HEX file to write, starting in folder (empty: the current folder);
// empty when the user chose none. The default is the system's file dialog; tests put in their
// own to answer without a modal dialog.
using HexFileChooser = std::function<QString(QWidget* parent, const QString& folder)>;
void setHexFileChooser(HexFileChooser chooser); // an empty chooser restores the dialog
QString chooseHexFile(QWidget* parent, const QString& folder);

// The file that dragged data bring: the first of their addresses when it is a local file, or
// an empty text.
QString droppedFile(const QMimeData& data);
