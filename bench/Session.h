#pragma once

#include "sim/PtyTarget.h"
#include "ui/TDownloadForm.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// One run of the downloader as the user starts it: the real window, started with the path of a
// HEX file, its settings naming a simulated target served on a pseudo-terminal from a thread of
// its own. The download is followed through the window's events, as everything beside the window
// follows it. Errors that would open a message box are collected instead.
class Session {
public:
    Session(zeltra::sim::Options options, const QByteArray& hexText);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Shows the window, whose activation runs the download, and returns when it has ended.
    // Returns the wall time from showing the window to the end of the download, in seconds.
    double run();

    // Runs `action` once, from the window's message pump, as soon as `condition` holds; the
    // condition is looked at every `intervalMs`.
    void when(std::function<bool()> condition, std::function<void()> action, int intervalMs);

    TDownloadForm& form() { return *form_; }
    zeltra::sim::PtyTarget& target() { return *target_; }
    QString hexPath() const { return dir_.filePath("program.hex"); }
    zeltra::sim::Report report() const { return target_->report(); }
    // The phase the download announced last; none before it has begun.
    std::optional<DownloadPhase> phase() const { return phase_; }
    // The first failure the download reported; empty while none has been.
    const QString& failure() const { return failure_; }
    // The text the download reported last, a failure's or a status text.
    const QString& lastReport() const { return lastReport_; }
    // The download announced its end, reporting no failure; "g" went out, the target saw no
    // protocol violation.
    bool succeeded() const;
    int commandsSent() const;
    // What the pace came to when the download found its answers late; none if it did not.
    const std::optional<LateAnswers>& lateAnswers() const { return lateAnswers_; }

    QStringList reportedErrors;

private:
    void followDownload();

    QTemporaryDir dir_;
    std::unique_ptr<zeltra::sim::PtyTarget> target_;
    std::unique_ptr<TDownloadForm> form_;
    bool begun_ = false; // the download has announced something
    std::optional<DownloadPhase> phase_;
    QString failure_;
    QString lastReport_;
    std::optional<LateAnswers> lateAnswers_;
};

// CPU time in seconds: of the calling thread, and of the whole process.
double threadCpuSeconds();
double processCpuSeconds();
