#include "support/StartedWindow.h"

#include "support/HexFiles.h"

#include <QtTest>

StartedWindow::StartedWindow(const QStringList& arguments, const QByteArray* settings) {
    if (settings)
        HexFiles::writeFile(settingsPath(), *settings);
    start(arguments);
}

void StartedWindow::start(const QStringList& arguments) {
    form_.reset(); // one window at a time
    form_ = std::make_unique<TDownloadForm>(
        StartupContext{executable(), QStringList{executable()} + arguments});
}

bool StartedWindow::activate() {
    form_->show();
    form_->activateWindow();
    return QTest::qWaitFor([&] { return form_->settingsFile() != nullptr; }, 10000);
}
