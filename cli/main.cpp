#include "cli/CommandLine.h"
#include "cli/Console.h"

#include <QApplication>

// dwnld-cli's entry: the window's download from the command line, with no display needed.
int main(int argc, char* argv[]) {
    catchInterrupts();
    // The window is never shown: unless the user chose a platform, the one that needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return runCommandLine(QApplication::arguments(), QApplication::applicationFilePath());
}
