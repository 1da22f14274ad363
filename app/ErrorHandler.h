#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <stdexcept>

// An error that ends the event handler that raised it and is shown to the user in a message box
// titled with the application title (a settings file that cannot be written, a HEX file that
// cannot be read).
class DownloaderError : public std::runtime_error {
public:
    explicit DownloaderError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// Shows an error to the user. The default shows a message box with an error icon; tests
// replace it to observe the report without a modal dialog.
using ErrorReporter = std::function<void(const QString& message)>;
void setErrorReporter(ErrorReporter reporter); // an empty reporter restores the message box
void reportError(const QString& message);

// Runs one event handler's body; an error raised inside it ends the handler and is reported.
// Every handler runs inside this guard, so no exception ever unwinds through the toolkit.
template <class Handler> void guarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const DownloaderError& error) {
        reportError(error.message());
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportError(QStringLiteral("Unknown error"));
    }
}
