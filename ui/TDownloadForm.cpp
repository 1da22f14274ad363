// placeholder: the window (being written)
#include "ui/TDownloadForm.h"
#include "app/SettingsFile.h"
#include "ui/ProgressGauge.h"

#include <QCoreApplication>
#include <QEvent>

TDownloadForm::TDownloadForm(StartupContext context, QWidget* parent)
    : QMainWindow(parent), context_(std::move(context)) {}
TDownloadForm::~TDownloadForm() = default;
void TDownloadForm::CancelButtonClick(QObject*) {}
void TDownloadForm::CloseButtonClick(QObject*) {}
void TDownloadForm::DISPLAY_MESSAGE(const QString&) {}
void TDownloadForm::DO_ERROR(const QString&) {}
bool TDownloadForm::event(QEvent* e) { return QMainWindow::event(e); }
void TDownloadForm::pump() { QCoreApplication::processEvents(); }
void TDownloadForm::choosePort(const QString&) {}
ProgressGauge::ProgressGauge(QWidget* parent) : QWidget(parent) {}
int ProgressGauge::percentDone() const { return 0; }
void ProgressGauge::setMinimum(int) {}
void ProgressGauge::setMaximum(int) {}
void ProgressGauge::setProgress(int) {}
void ProgressGauge::setBarColor(const QColor&) {}
void ProgressGauge::paintEvent(QPaintEvent*) {}
