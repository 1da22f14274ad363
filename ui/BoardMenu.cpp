// The Board menu: the board checked against the HEX file, or read into a HEX file, each writing
// nothing to it and run as Write runs a download; the window stays open after them.
#include "ui/BoardMenu.h"

#include "app/StartUp.h"
#include "driver/Messages.h"
#include "ui/Messages.h"
#include "ui/TDownloadForm.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {
ReadFileChooser& currentChooser() {
    static ReadFileChooser chooser;
    return chooser;
}
} // namespace

void setReadFileChooser(ReadFileChooser chooser) {
    currentChooser() = std::move(chooser);
}

QString chooseReadFile(QWidget* parent, const QString& suggested) {
    if (const ReadFileChooser& chooser = currentChooser())
        return chooser(parent, suggested);
    return QFileDialog::getSaveFileName(parent, Message::ReadIntoHexFile, suggested,
                                        Message::HexFileFilters);
}

QString suggestedReadPath(const QString& hexFileName, const QDateTime& when) {
    const QString folder =
        hexFileName.isEmpty() ? QDir::homePath() : QFileInfo(hexFileName).absolutePath();
    return QDir(folder).filePath(
        QStringLiteral("board-%1.hex").arg(when.toString(QStringLiteral("yyyy-MM-dd-HHmm"))));
}

// Without a HEX file to check against, the user picks one first, as for Write.
void TDownloadForm::VerifyItemClick(QObject*) {
    if (session_.running() || (!isHexFilePresent(session_.HexFileName) && !askForHexFile()))
        return;
    session_.HexFilePresent = true;
    runAgainForSearch([this] { return session_.verifyHexFile(); });
}

void TDownloadForm::ReadItemClick(QObject*) {
    if (session_.running())
        return;
    const QString path =
        chooseReadFile(this, suggestedReadPath(session_.HexFileName, QDateTime::currentDateTime()));
    if (path.isEmpty())
        return;
    runAgainForSearch([&] { return session_.readIntoHexFile(path); });
}
