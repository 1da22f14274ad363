#include "ui/TDownloadForm.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("ZELTRA IR Downloader"));
    TDownloadForm form;
    form.show();
    form.activateWindow();
    application.exec();
    return 0;
}
