#pragma once

#include "ui/TDownloadForm.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A download window started as from an executable in a temporary folder of its own, so that
// its settings file (and any file a test puts there) lives in that folder.
class StartedWindow {
public:
    StartedWindow() = default; // the folder only: start() creates the window
    // Writes the settings file first when `settings` is given, then starts the window.
    explicit StartedWindow(const QStringList& arguments, const QByteArray* settings = nullptr);

    // Creates the window as started with these command-line arguments (after the executable).
    void start(const QStringList& arguments = {});

    QString folder() const { return directory_.path(); }
    QString path(const QString& name) const { return directory_.filePath(name); }
    QString executable() const { return path(QStringLiteral("dwnld")); }
    QString settingsPath() const { return path(QStringLiteral("DWNLD.INI")); }
    bool started() const { return form_ != nullptr; }
    TDownloadForm& form() { return *form_; }
    const TDownloadForm& form() const { return *form_; }

    // Shows the window and waits until its start-up on activation has run.
    bool activate();

private:
    QTemporaryDir directory_;
    std::unique_ptr<TDownloadForm> form_;
};
