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

namespace {

const QString Section = QStringLiteral("ZELTRA_IR_DOWNLOAD");
const QString PortKey = QStringLiteral("PORT");
const QString DefaultPort = QStringLiteral("COM1");
const QString SettingsName = QStringLiteral("DWNLD.INI");

// Writes the port into the settings file, creating its folder as needed (the user's
// configuration folder may not exist yet).
void savePort(SettingsFile& settings, const QString& portName) {
    QDir().mkpath(QFileInfo(settings.path()).path());
    settings.writeString(Section, PortKey, portName);
}

} // namespace

QString settingsLocation(const QString& exeDir) {
    const QString beside = exeDir + SettingsName;
    // The installed program's folder is shared by every user: a file made there by the one user
    // who can write it (root, an administrator) would be read by all, and no one else could save
    // a port in it.
    if (QFileInfo::exists(beside) ||
        (!isInstalledProgramFolder(exeDir) && SettingsFile(beside).canBeCreated()))
        return beside;
    return userSettingsFolder() + QLatin1Char('/') + SettingsName;
}

QString savedPort(const SettingsFile& settings) {
    return settings.readString(Section, PortKey, DefaultPort);
}

QString executableDirectory(const QString& executablePath) {
    QString directory = executablePath.left(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    while (directory.endsWith(QLatin1String("//")))
        directory.chop(1);
    return directory;
}

bool isHexFilePresent(const QString& name) {
    return !name.isEmpty() && QFileInfo(name).isFile();
}

StartupContext StartupContext::fromApplication() {
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments()};
}

void TDownloadForm::FormActivate(QObject*) {
    ExeDir = executableDirectory(context_.executablePath);
    SettingsFile_ = std::make_unique<SettingsFile>(settingsLocation(ExeDir));
    if (QFileInfo(SettingsFile_->path()).isFile()) {
        PortName = savedPort(*SettingsFile_);
    } else {
        PortName = DefaultPort;
        // A file that cannot be created is reported, and the start goes on without it.
        guarded([&] { savePort(*SettingsFile_, PortName); });
    }
    portMenu_->list(PortName); // marks the port in use

    const QString argument = context_.arguments.value(1);
    if (!argument.isEmpty()) {
        takeHexFile(argument);
    } else {
        setWindowTitle(ApplicationTitle);
    }
    pump(); // paint the caption before the download starts
    HexFilePresent = isHexFilePresent(HexFileName);

    // The automatic start: press Write, as the user would; a success ends the program there.
    WriteButtonClick(this);
}

void TDownloadForm::takeHexFile(const QString& path) {
    HexFileName = path;
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
    CancelRequested = true;
    keepPort(portName);
}

// Asks for a network port's URL; OK chooses it as a COMn item is chosen, Cancel changes nothing.
// The dialog is modal to the window but leaves a running download running until then.
void TDownloadForm::NetworkPortItemClick(QObject*) {
    auto* dialog = new NetworkPortDialog(PortName, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { guarded([&] { choosePort(dialog->portName()); }); });
    dialog->open();
}

// Looks for the cradle in a download of its own. A running download ends at its next poll, as
// with any choice in the menu; the search starts once it has ended.
void TDownloadForm::FindCradleItemClick(QObject* Sender) {
    CancelRequested = true;
    portSearch = PortSearch::Once;
    if (downloading_)
        return;
    WriteButtonClick(Sender);
    portSearch = PortSearch::Off; // also when no download ran: no HEX file was chosen
}

void TDownloadForm::keepPort(const QString& portName) {
    PortName = portName;
    portMenu_->list(PortName);
    if (!SettingsFile_) // chosen before the first activation
        SettingsFile_ = std::make_unique<SettingsFile>(
            settingsLocation(executableDirectory(context_.executablePath)));
    savePort(*SettingsFile_, PortName);
}
