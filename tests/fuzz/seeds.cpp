// Writes the seed inputs of every fuzz target into <folder>/<target>/: the example program, HEX
// files as a PIC toolchain writes them, their single lines, identification and word replies,
// hexadecimal texts, and what RFC 2217 servers send.
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

// What RFC 2217 servers send: negotiation, acknowledgements, data with doubled IAC, and the
// hostile kinds (endless toggling, a sub-negotiation without its end, commands inside one).
QList<QByteArray> telnetStreams() {
    const auto b = [](std::initializer_list<int> values) {
        QByteArray bytes;
        for (const int v : values)
            bytes.append(char(v));
        return bytes;
    };
    const QByteArray agree = b({255, 253, 0, 255, 251, 0, 255, 253, 3, 255, 251, 3, 255, 253, 44});
    const QByteArray acks = b({255, 250, 44,  101, 0,   0,   0x4b, 0,   255, 240, 255, 250, 44,
                               102, 8,   255, 240, 255, 250, 44,   103, 1,   255, 240, 255, 250,
                               44,  104, 1,   255, 240, 255, 250,  44,  105, 1,   255, 240});
    QByteArray toggling;
    for (int i = 0; i < 40; ++i)
        toggling += b({255, 251, 0, 255, 252, 0, 255, 253, 44, 255, 254, 44});
    return {agree + acks,
            agree + acks + "111F00\n",
            "11" + b({255, 251, 1}) + "1F" + b({255, 241, 255, 249}) + "00\n",
            b({'a', 255, 255, 'b', 255, 255, '\n'}),
            b({255, 254, 44}),
            toggling,
            b({255, 250, 44, 101}) + QByteArray(300, 'x') + b({255, 240}) + "OK\n",
            b({255, 250, 24, 'x', 255, 241, 'o', 'k'}),
            QByteArray("a\r", 2) + QByteArray(1, '\0') + "b\r\n",
            b({255}),
            b({255, 250}),
            b({255, 250, 44, 105, 255, 255, 255, 240})};
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
    writeSeeds(folder + QStringLiteral("/telnet"), telnetStreams());
    return 0;
}
