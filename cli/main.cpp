#include "cli/CommandLine.h"
#include "cli/Console.h"

#include <QCoreApplication>

// dwnld-cli's entry: the window's download from the command line, with no display at all.
int main(int argc, char* argv[]) {
    catchInterrupts();
    QCoreApplication application(argc, argv);
    return runCommandLine(QCoreApplication::arguments(), QCoreApplication::applicationFilePath());
}
