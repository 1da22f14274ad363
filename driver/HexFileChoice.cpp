// A HEX file chosen in the file dialog or dropped onto the window becomes the tool's file.
#include "driver/HexFileChoice.h"

#include "app/ErrorHandler.h"
#include "app/StartUp.h"
#include "driver/Messages.h"
#include "ui/TDownloadForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {
HexFileChooser& currentChooser() {
    static HexFileChooser chooser;
    return chooser;
}
} // namespace

void setHexFileChooser(HexFileChooser chooser) {
    currentChooser() = std::move(chooser);
}

QString chooseHexFile(QWidget* parent, const QString& folder) {
    if (const HexFileChooser& chooser = currentChooser())
        return chooser(parent, folder);
    return QFileDialog::getOpenFileName(parent, Message::ChooseHexFile, folder,
                                        Message::HexFileFilters);
}

QString droppedFile(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return {};
    const QString path = urls.front().toLocalFile();
    return isHexFilePresent(path) ? path : QString();
}

// Write pressed without a file to write: the user picks one. False when none was chosen.
bool TDownloadForm::askForHexFile() {
    const QString folder =
        session_.HexFileName.isEmpty() ? QString() : QFileInfo(session_.HexFileName).absolutePath();
    const QString chosen = chooseHexFile(this, folder);
    if (chosen.isEmpty())
        return false;
    takeHexFile(chosen);
    return true;
}

bool TDownloadForm::acceptsDrop(const QMimeData& data) const {
    return !session_.running() && !droppedFile(data).isEmpty();
}

// Runs once the drop has been delivered, so that the drag's source is not kept waiting for the
// whole download.
void TDownloadForm::writeDroppedFile(const QMimeData& data) {
    const QString path = droppedFile(data);
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            guarded([&] {
                takeHexFile(path);
                WriteButtonClick(WriteButton);
            });
        },
        Qt::QueuedConnection);
}
