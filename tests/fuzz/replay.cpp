// Runs a fuzz target's entry point without libFuzzer over every file in the folders (or the
// files) named on the command line: the seeds and the kept regression inputs. A folder that does
// not exist holds nothing. A property that does not hold aborts, so the run fails.
#include "FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo argument(QString::fromLocal8Bit(argv[i]));
        const QFileInfoList files =
            argument.isDir() ? QDir(argument.filePath()).entryInfoList(QDir::Files, QDir::Name)
                             : QFileInfoList{argument};
        for (const QFileInfo& info : files) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                if (!info.exists() && !argument.isDir())
                    continue;
                std::fprintf(stderr, "cannot read %s\n", qPrintable(info.filePath()));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            std::fprintf(stderr, "%s\n", qPrintable(info.filePath()));
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
