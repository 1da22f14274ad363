// Where the settings file is, and the port that it keeps.
#include "app/ProgramPlace.h"
#include "app/SettingsFile.h"
#include "app/StartUp.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString Section = QStringLiteral("ZELTRA_IR_DOWNLOAD");
const QString PortKey = QStringLiteral("PORT");
const QString SettingsName = QStringLiteral("DWNLD.INI");

} // namespace

void savePort(SettingsFile& settings, const QString& portName) {
    QDir().mkpath(QFileInfo(settings.path()).path());
    settings.writeString(Section, PortKey, portName);
}

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
