// The session's state, its status reports and its gauge. The operations themselves are
// implemented in the folders of their subsystems: driver/, link/, device/ and hex/.
#include "driver/DownloadSession.h"

#include "link/Protocol.h"

#include <QCoreApplication>
#include <QTimer>

#include <utility>

namespace {
QTimer* makeTimer(QObject* parent, const char* name, int interval) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    return timer;
}
} // namespace

DownloadSession::DownloadSession(QObject* parent) : QObject(parent) {
    qRegisterMetaType<GaugeBar>();
    Timer1 = makeTimer(this, "Timer1", 10);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    Timeout_Timer = makeTimer(this, "Timeout_Timer", AckTimeoutMs);
    connect(Timeout_Timer, &QTimer::timeout, this, [this] { Timeout_TimerTimer(Timeout_Timer); });
}

DownloadSession::~DownloadSession() = default;

void DownloadSession::DISPLAY_MESSAGE(const QString& text) {
    const bool changed = text != std::exchange(shownStatus_, text);
    emit statusShown(text);
    if (changed)
        emit reported(text, QString(), ReportKind::Status);
    pump();
}

void DownloadSession::showResult(const QString& text, const QString& detail) {
    shownStatus_ = text;
    emit resultShown(text, detail);
    emit reported(text, detail, ReportKind::Status);
    pump();
}

// Shows the text with the buttons enabled, so that Enter tries again, and turns the gauge red
// (the bar keeps its length); then lets the user act and closes the port.
void DownloadSession::DO_ERROR(const QString& text, const QString& detail) {
    const QString shownDetail = detail.isEmpty() ? std::exchange(failureDetail_, {}) : detail;
    shownStatus_ = text;
    emit failureShown(text, shownDetail);
    setGaugeBar(GaugeBar::Red);
    DownloadOk = false;
    if (progress_.failure.isEmpty()) {
        progress_.failure = text;
        progress_.failureDetail = shownDetail;
    }
    emit reported(text, shownDetail, ReportKind::Failure);
    pump();
    CloseCom();
}

void DownloadSession::explainFailure(const QString& detail) {
    failureDetail_ = detail;
}

void DownloadSession::cancel() {
    CancelRequested = true;
    DISPLAY_MESSAGE(QString());
    setGaugeBar(GaugeBar::Lime);
    setGaugeProgress(0);
    pump();
    DownloadOk = false;
}

void DownloadSession::close() {
    CloseRequested = true;
    CloseCom();
}

void DownloadSession::requestStop() {
    stopRequested_ = true;
}

void DownloadSession::pump() {
    QCoreApplication::processEvents();
}

void DownloadSession::setGaugeMaximum(int maximum) {
    gauge_.setMaximum(maximum);
    emit gaugeChanged(gauge_.progress(), gauge_.maximum());
}

void DownloadSession::setGaugeProgress(int progress) {
    gauge_.setProgress(progress);
    emit gaugeChanged(gauge_.progress(), gauge_.maximum());
}

void DownloadSession::setGaugeBar(GaugeBar bar) {
    bar_ = bar;
    emit gaugeBarChanged(bar);
}
