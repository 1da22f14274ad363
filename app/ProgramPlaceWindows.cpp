#include "app/ProgramPlace.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

// The installer records its folder where Apps & features finds the program.
bool isInstalledProgramFolder(const QString& exeDir) {
    const QSettings uninstall(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                                             "CurrentVersion\\Uninstall\\ZELTRA IR Downloader"),
                              QSettings::NativeFormat);
    const QString recorded = uninstall.value(QStringLiteral("InstallLocation")).toString();
    if (recorded.isEmpty())
        return false;
    const QString installed = QDir(recorded).canonicalPath();
    return !installed.isEmpty() &&
           QDir(exeDir).canonicalPath().compare(installed, Qt::CaseInsensitive) == 0;
}

QString userSettingsFolder() {
    QString localData = qEnvironmentVariable("LOCALAPPDATA");
    if (!QDir::isAbsolutePath(localData))
        localData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::fromNativeSeparators(localData) + QStringLiteral("/ZELTRA IR Downloader");
}
