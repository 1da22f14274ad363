// placeholder: the window (being written)
#include "ui/TDownloadForm.h"
#include "app/SettingsFile.h"
#include "ui/ProgressGauge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

// Local stand-in for the link branch: only the two timers and the status line.
TDownloadForm::TDownloadForm(StartupContext context, QWidget* parent)
    : QMainWindow(parent), context_(std::move(context)) {
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    Edit2 = new QLabel(this);
    Timeout_Timer = new QTimer(this);
    Timeout_Timer->setSingleShot(true);
    Timeout_Timer->setTimerType(Qt::PreciseTimer);
    Timeout_Timer->setInterval(1000);
    connect(Timeout_Timer, &QTimer::timeout, this, [this] { Timeout_TimerTimer(Timeout_Timer); });
}
TDownloadForm::~TDownloadForm() = default;
void TDownloadForm::CancelButtonClick(QObject*) {}
void TDownloadForm::CloseButtonClick(QObject*) {}
void TDownloadForm::DISPLAY_MESSAGE(const QString&) {}
void TDownloadForm::DO_ERROR(const QString& text) {
    DownloadOk = false;
    Edit2->setText(text);
    pump();
    CloseCom();
}
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
