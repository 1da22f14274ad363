#include "app/ProgramPlace.h"

#include <QDir>

bool isInstalledProgramFolder(const QString& exeDir) {
    const QString installed = QDir(QStringLiteral(DWNLD_INSTALLED_BINDIR)).canonicalPath();
    return !installed.isEmpty() && QDir(exeDir).canonicalPath() == installed;
}

QString userSettingsFolder() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/zeltra-ir-downloader");
}
