#include "app/Messages.h"
#include "ui/TDownloadForm.h"

#include <QApplication>

// The tool's entry: one window, its message loop, and exit status 0 whatever the outcome.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The application's name, not a display name: Qt appends a display name to every caption,
    // and the caption is the HEX file's name alone.
    QApplication::setApplicationName(ApplicationTitle);
    TDownloadForm form;
    form.show();
    form.activateWindow(); // without a window manager the window is never activated otherwise
    application.exec();
    return 0;
}
