#pragma once

#include "sim/PtyTarget.h"
#include "support/StartedWindow.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>

// A downloader window wired to a simulated target on a pseudo-terminal, in a folder of its own
// that holds the executable's settings file and the HEX file. Errors that the application's
// handler would show in a message box are collected in `reportedErrors` instead. Every look at
// the target (report(), target()'s snapshots) is taken once it has handled all that the tool
// has sent.
class DownloadRig {
public:
    explicit DownloadRig(zeltra::sim::Options options = quickTarget());
    ~DownloadRig();

    // A target whose RESET is pressed at once, so that tests do not wait for the user.
    static zeltra::sim::Options quickTarget();

    zeltra::sim::PtyTarget& target() { return *target_; }
    TDownloadForm& form() { return window_.form(); }
    // The window's session; before a window is created, one of the rig's own, for tests of
    // single operations.
    DownloadSession& session();
    QString folder() const { return window_.folder(); }
    QString hexPath() const;

    // Writes the HEX file and creates the window as started with its path (no path: started
    // without an argument), with the settings naming the target's line.
    void createWindow(const QByteArray& hexText);
    void createWindowWithoutArgument();
    // Shows the window; its activation runs the automatic download. Returns when it has ended.
    void showAndDownload();
    // Opens the line and synchronises, for tests of single operations.
    bool connect();

    // Runs `action` once, in the first pass of the message pump in which `condition` holds.
    void when(std::function<bool()> condition, std::function<void()> action);

    // The window's status line; without a window, the session's status text.
    QString status() const;
    // The lines of the status line's tool tip, without their indentation.
    QStringList tipLines() const;
    zeltra::sim::Report report() const { return target_->report(); }
    QStringList commands() const; // every command line the target received, in order

    // The download failed with `status` left on the status line, the target was not told to run
    // its program, and the window is usable again: open, red, port closed, buttons enabled,
    // Write with the keyboard focus.
    void verifyFailedAndUsable(const QString& status);

    QStringList reportedErrors;

private:
    std::unique_ptr<zeltra::sim::PtyTarget> target_;
    StartedWindow window_; // closed before the target goes
    std::unique_ptr<DownloadSession> session_;
};
