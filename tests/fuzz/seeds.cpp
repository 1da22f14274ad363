// Writes the seed inputs of every fuzz target into <folder>/<target>/: the example program, HEX
// files as a PIC toolchain writes them, their single lines, identification and word replies,
// and hexadecimal texts.
#include "support/HexFiles.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray example() {
    QFile file(QStringLiteral(DWNLD_SOURCE_DIR "/examples/blink.hex"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the example program");
    return file.readAll();
}

void writeSeeds(const QString& folder, const QList<QByteArray>& seeds) {
    QDir().mkpath(folder);
    for (qsizetype i = 0; i < seeds.size(); ++i)
        HexFiles::writeFile(QStringLiteral("%1/seed-%2").arg(folder).arg(i, 3, 10, QChar('0')),
                            seeds[i]);
}

QList<QByteArray> hexFiles() {
    const QByteArray image = HexFiles::image(8192, 256);
    // Longer than one read of the file, with lines of both ends.
    const QByteArray large =
        QByteArray(image).replace("\r\n", "\n").replace(":00000001FF\n", "") + image;
    return {example(),
            large,
            HexFiles::image(0),
            HexFiles::image(5),
            HexFiles::image(64, 16),
            HexFiles::image(1024, 64).replace("\r\n", "\n"),
            HexFiles::image(8) + char(26),
            HexFiles::record(4, 0, QByteArray(2, '\0')) + "\r\n" + HexFiles::image(3),
            HexFiles::image(3).replace(":", "")};
}

QList<QByteArray> hexLines() {
    QList<QByteArray> lines;
    for (const QByteArray& file : {example(), HexFiles::image(20, 3)})
        for (const QByteArray& line : file.split('\n'))
            if (!line.trimmed().isEmpty() && !lines.contains(line.trimmed()))
                lines.append(line.trimmed());
    for (quint8 type = 0; type <= 5; ++type)
        lines.append(HexFiles::record(type, 0, QByteArray(type == 2 || type == 4 ? 2 : 4, '\0')));
    lines.append(HexFiles::wordRecord(0x1000, {0x3FFF, 0x19CC, 0x0000, 0x2000}).toLower());
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    writeSeeds(folder + QStringLiteral("/hexfile"), hexFiles());
    writeSeeds(folder + QStringLiteral("/hexrecord"), hexLines());
    writeSeeds(folder + QStringLiteral("/hextext"),
               {"0", "1F", "ffff", "2000", "3FFF", "19CC", "FFFFFFFF", "100000000", "0000000000001",
                "1z", "", "ZZZZ"});
    writeSeeds(folder + QStringLiteral("/reply"),
               {"112000\n", "111F00\n", "111fff\n", "11ZZZZ\n", "110005\n", "102000\n", "11200",
                "19CC\n", "3FFF\n", "2CCC\n", "\n", "11", "ab\ncd"});
    return 0;
}
