// placeholder: start-up and settings handlers (being written)
#include "app/ErrorHandler.h"
#include "app/SettingsFile.h"
#include "ui/TDownloadForm.h"

#include <QCoreApplication>

StartupContext StartupContext::fromApplication() {
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments()};
}
void TDownloadForm::FormActivate(QObject*) {}
void TDownloadForm::COM1ItemClick(QObject*) {}
void TDownloadForm::COM2ItemClick(QObject*) {}
void TDownloadForm::COM3ItemClick(QObject*) {}
void setErrorReporter(ErrorReporter) {}
void reportError(const QString&) {}
QString SettingsFile::readString(const QString&, const QString&, const QString& d) const { return d; }
void SettingsFile::writeString(const QString&, const QString&, const QString&) {}
