#include "app/ErrorHandler.h"

#include "app/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace {

ErrorReporter& currentReporter() {
    static ErrorReporter reporter;
    return reporter;
}

// The toolkit's error box: the application title as caption, an error icon, one OK button. It
// is modal and runs its own loop, so a handler that failed inside a nested pump returns to the
// download that pumped it once the user has read the message.
void showMessageBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle, message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

void setErrorReporter(ErrorReporter reporter) {
    currentReporter() = std::move(reporter);
}

void reportError(const QString& message) {
    if (const ErrorReporter& reporter = currentReporter())
        reporter(message);
    else
        showMessageBox(message);
}
