#include "app/StartUp.h"
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/SettingsFile.h"
#include "ui/PortMenu.h"
#include "ui/TDownloadForm.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString Section = QStringLiteral("ZELTRA_IR_DOWNLOAD");
const QString PortKey = QStringLiteral("PORT");
const QString DefaultPort = QStringLiteral("COM1");
const QString SettingsName = QStringLiteral("DWNLD.INI");

} // namespace

QString executableDirectory(const QString& executablePath) {
    QString directory = executablePath.left(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    while (directory.endsWith(QLatin1String("//")))
        directory.chop(1);
    return directory;
}

StartupContext StartupContext::fromApplication() {
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments()};
}

void TDownloadForm::FormActivate(QObject*) {
    ExeDir = executableDirectory(context_.executablePath);
    const QString settingsPath = ExeDir + SettingsName;
    SettingsFile_ = std::make_unique<SettingsFile>(settingsPath);
    if (QFileInfo(settingsPath).isFile()) {
        PortName = SettingsFile_->readString(Section, PortKey, DefaultPort);
    } else {
        PortName = DefaultPort;
        SettingsFile_->writeString(Section, PortKey, PortName);
    }
    portMenu_->list(PortName); // marks the port in use

    const QString argument = context_.arguments.value(1);
    if (!argument.isEmpty()) {
        HexFileName = argument;
        setWindowTitle(argument.mid(argument.lastIndexOf(QLatin1Char('/')) + 1));
    } else {
        setWindowTitle(ApplicationTitle);
    }
    pump(); // paint the caption before the download starts
    HexFilePresent = !HexFileName.isEmpty() && QFileInfo(HexFileName).isFile();

    // The automatic start: press Write, as the user would; a success ends the program there.
    WriteButtonClick(this);
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
    PortName = portName;
    portMenu_->list(PortName);
    if (!SettingsFile_) // chosen before the first activation
        SettingsFile_ = std::make_unique<SettingsFile>(
            executableDirectory(context_.executablePath) + SettingsName);
    SettingsFile_->writeString(Section, PortKey, PortName);
}
