#include "app/StartUp.h"
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/ProgramPlace.h"
#include "app/SettingsFile.h"
#include "ui/NetworkPortDialog.h"
#include "ui/PortMenu.h"
#include "ui/TDownloadForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

StartupContext StartupContext::fromApplication() {
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments()};
}

void TDownloadForm::FormActivate(QObject*) {
    ExeDir = executableDirectory(context_.executablePath);
    SettingsFile_ = std::make_unique<SettingsFile>(settingsLocation(ExeDir));
    if (QFileInfo(SettingsFile_->path()).isFile()) {
        session_.PortName = savedPort(*SettingsFile_);
    } else {
        session_.PortName = DefaultPort;
        // A file that cannot be created is reported, and the start goes on without it.
        guarded([&] { savePort(*SettingsFile_, session_.PortName); });
    }
    portMenu_->list(session_.PortName); // marks the port in use

    const QString argument = context_.arguments.value(1);
    if (!argument.isEmpty()) {
        takeHexFile(argument);
    } else {
        setWindowTitle(ApplicationTitle);
    }
    pump(); // paint the caption before the download starts
    session_.HexFilePresent = isHexFilePresent(session_.HexFileName);

    // The automatic start: press Write, as the user would; a success ends the program there.
    WriteButtonClick(this);
}

void TDownloadForm::takeHexFile(const QString& path) {
    session_.HexFileName = path;
    setWindowTitle(QFileInfo(path).fileName()); // after the last "/" (or "\" and ":" on Windows)
}

void TDownloadForm::COM1ItemClick(QObject*) {
    choosePort(QStringLiteral("COM1"));
}
void TDownloadForm::COM2ItemClick(QObject*) {
    choosePort(QStringLiteral("COM2"));
}
void TDownloadForm::COM3ItemClick(QObject*) {
    choosePort(QStringLiteral("COM3"));
}

// A port choice ends a running download at its next poll and is saved at once; the new port is
// used from the next download on.
void TDownloadForm::choosePort(const QString& portName) {
    session_.CancelRequested = true;
    keepPort(portName);
}

// Asks for a network port's URL; OK chooses it as a COMn item is chosen, Cancel changes nothing.
// The dialog is modal to the window but leaves a running download running until then.
void TDownloadForm::NetworkPortItemClick(QObject*) {
    auto* dialog = new NetworkPortDialog(session_.PortName, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { guarded([&] { choosePort(dialog->portName()); }); });
    dialog->open();
}

// Looks for the cradle in a download of its own. A running download ends at its next poll, as
// with any choice in the menu; the search starts once it has ended.
void TDownloadForm::FindCradleItemClick(QObject* Sender) {
    session_.CancelRequested = true;
    session_.portSearch = DownloadSession::PortSearch::Once;
    if (session_.running())
        return;
    WriteButtonClick(Sender);
    session_.portSearch =
        DownloadSession::PortSearch::Off; // also when no download ran: no HEX file was chosen
}

void TDownloadForm::keepPort(const QString& portName) {
    session_.PortName = portName;
    portMenu_->list(portName);
    if (!SettingsFile_) // chosen before the first activation
        SettingsFile_ = std::make_unique<SettingsFile>(
            settingsLocation(executableDirectory(context_.executablePath)));
    savePort(*SettingsFile_, portName);
}
