#include "bench/Session.h"

#include "app/ErrorHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

#include <ctime>
#include <stdexcept>

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

double cpuSeconds(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1.0e9;
}

} // namespace

double threadCpuSeconds() {
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double processCpuSeconds() {
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

Session::Session(zeltra::sim::Options options, const QByteArray& hexText)
    : target_(std::make_unique<zeltra::sim::PtyTarget>(std::move(options))) {
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    QGuiApplication::setQuitOnLastWindowClosed(false);
    setErrorReporter([this](const QString& message) { reportedErrors.append(message); });
    writeFile(dir_.filePath("DWNLD.INI"),
              "[ZELTRA_IR_DOWNLOAD]\r\nPORT=" + QByteArray::fromStdString(target_->devicePath()) +
                  "\r\n");
    writeFile(hexPath(), hexText);
    const QString exe = dir_.filePath("dwnld");
    form_ = std::make_unique<TDownloadForm>(StartupContext{exe, QStringList{exe, hexPath()}});
    followDownload();
}

void Session::followDownload() {
    QObject::connect(&form_->session(), &DownloadSession::phaseChanged, form_.get(),
                     [this](DownloadPhase phase) {
                         begun_ = true;
                         phase_ = phase;
                     });
    QObject::connect(&form_->session(), &DownloadSession::reported, form_.get(),
                     [this](const QString& text, const QString&, ReportKind kind) {
                         begun_ = true;
                         lastReport_ = text;
                         if (kind == ReportKind::Failure && failure_.isEmpty())
                             failure_ = text;
                     });
    QObject::connect(&form_->session(), &DownloadSession::answersLate, form_.get(),
                     [this](const LateAnswers& pace) { lateAnswers_ = pace; });
}

Session::~Session() {
    form_.reset();
    setErrorReporter({});
}

double Session::run() {
    QElapsedTimer clock;
    clock.start();
    form_->show();
    form_->activateWindow();
    // The whole download runs inside the window's first activation, the pass of the pump in which
    // it announces its first event: once that pass has returned, the download is over.
    while (!begun_)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return double(clock.nsecsElapsed()) / 1.0e9;
}

void Session::when(std::function<bool()> condition, std::function<void()> action, int intervalMs) {
    auto* timer = new QTimer(form_.get());
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, action] {
        if (condition()) {
            timer->stop();
            action();
        }
    });
    timer->start();
}

bool Session::succeeded() const {
    if (phase_ != DownloadPhase::Done || !failure_.isEmpty())
        return false;
    const zeltra::sim::Report r = report(); // taken once the target has handled the "g"
    return r.goReceived && r.violations.empty();
}

int Session::commandsSent() const {
    int count = 0;
    for (const auto& [kind, n] : report().commandCounts)
        count += n;
    return count;
}
