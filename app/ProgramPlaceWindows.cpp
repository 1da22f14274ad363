#include "app/ProgramPlace.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

// The installer records its folder where Apps & features finds the program: DWNLD_INSTALL_RECORD
// is that key (CMakeLists.txt).
bool isInstalledProgramFolder(const QString& exeDir) {
    const QSettings record(QStringLiteral(DWNLD_INSTALL_RECORD), QSettings::NativeFormat);
    const QString recorded = record.value(QStringLiteral("InstallLocation")).toString();
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
    return QDir::fromNativeSeparators(localData) + QStringLiteral("/" DWNLD_PRODUCT);
}
