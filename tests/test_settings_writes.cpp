// Writes of the settings file that fail part-way, and several tools writing it at once.
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/SettingsFile.h"
#include "support/CrampedFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>

#include <sys/resource.h>

namespace {

const QString Section = QStringLiteral("ZELTRA_IR_DOWNLOAD");
const QString Key = QStringLiteral("PORT");
const char* const WriterOption = "--write-port";

// A settings file as a user may have edited it: a comment, another section, CR LF line ends.
QByteArray settingsWithPort(const QString& port) {
    return "; ZELTRA IR Downloader\r\n[OTHER]\r\nKey=keep me\r\n\r\n[ZELTRA_IR_DOWNLOAD]\r\nPORT=" +
           port.toUtf8() + "\r\nColour=blue\r\n";
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QString& directory) {
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Files written by this process may grow to `bytes` only, while it exists: a write beyond fails
// (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Run as its own process: writes the port `count` times; exit code 1 when a write fails.
int writePorts(const QString& path, const QString& port, int count) {
    SettingsFile file(path);
    try {
        for (int i = 0; i < count; ++i)
            file.writeString(Section, Key, port);
    } catch (const DownloaderError&) {
        return 1;
    }
    return 0;
}

} // namespace

class SettingsWritesTest : public QObject {
    Q_OBJECT

    QTemporaryDir directory_;

    QString settingsPath() const { return directory_.filePath(QStringLiteral("DWNLD.INI")); }

    // A read while writers are at work must see one of the whole files they write.
    static bool isWholeFile(const QByteArray& bytes, const QStringList& ports) {
        for (const QString& port : ports)
            if (bytes == settingsWithPort(port))
                return true;
        return false;
    }

private slots:
    void init() {
        for (const QString& name : entries(directory_.path())) {
            const QString path = directory_.filePath(name);
            QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        }
    }

    // The new file is cut short while it is written: the old file stays as it was, byte for
    // byte, and no part-written file is left beside it.
    void cutShortWriteKeepsTheOldFile_data() {
        QTest::addColumn<int>("limit");
        QTest::newRow("nothing can be written") << 0;
        QTest::newRow("cut after 16 bytes") << 16;
        QTest::newRow("cut after a first part") << 1024;
    }
    void cutShortWriteKeepsTheOldFile() {
        QFETCH(int, limit);
        const QByteArray old = settingsWithPort(QStringLiteral("COM2"));
        writeFile(settingsPath(), old);
        const QString longPort = QStringLiteral("COM3") + QString(2000, QLatin1Char(' ')) + 'x';
        SettingsFile settings(settingsPath());
        {
            const FileSizeLimit cut{rlim_t(limit)};
            QVERIFY_THROWS_EXCEPTION(DownloaderError, settings.writeString(Section, Key, longPort));
        }
        QCOMPARE(contentsOf(settingsPath()), old);
        QCOMPARE(entries(directory_.path()), QStringList{QStringLiteral("DWNLD.INI")});
        // Once the cause is gone, the next write goes through.
        settings.writeString(Section, Key, longPort);
        QCOMPARE(contentsOf(settingsPath()), settingsWithPort(longPort));
    }

    void theErrorNamesTheFile() {
        writeFile(settingsPath(), settingsWithPort(QStringLiteral("COM1")));
        const FileSizeLimit cut(0);
        try {
            SettingsFile(settingsPath()).writeString(Section, Key, QStringLiteral("COM2"));
            QFAIL("the write did not fail");
        } catch (const DownloaderError& error) {
            QCOMPARE(error.message(), Message::unableToWrite(settingsPath()));
        }
    }

    // The new file is written but cannot take the old one's place.
    void unplaceableNewFileKeepsTheOldFile() {
        const QString folder = crampedFolder(directory_.path());
        QVERIFY(!folder.isEmpty());
        const QString path = folder + QStringLiteral("/DWNLD.INI");
        const QByteArray old = settingsWithPort(QStringLiteral("COM2"));
        writeFile(path, old);
        QCOMPARE(contentsOf(path), old);
        SettingsFile settings(path);
        QVERIFY_THROWS_EXCEPTION(DownloaderError,
                                 settings.writeString(Section, Key, QStringLiteral("COM3")));
        QCOMPARE(contentsOf(path), old);
        QCOMPARE(entries(folder), QStringList{QStringLiteral("DWNLD.INI")});
        QCOMPARE(settings.readString(Section, Key, QString()), QStringLiteral("COM2"));
    }

    // Tools choosing ports at the same time, each in its own process: every read in between
    // sees a whole file, and the last one holds one of the ports.
    void toolsWritingAtOnceNeverTearTheFile() {
        const QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM2") + QString(300, 'x'),
                                QStringLiteral("/dev/ttyUSB0") + QString(3000, 'y')};
        writeFile(settingsPath(), settingsWithPort(ports[0]));
        QList<QProcess*> tools;
        for (const QString& port : ports) {
            auto* tool = new QProcess(this);
            tool->start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(WriterOption), settingsPath(), port});
            tools.append(tool);
        }
        for (QProcess* tool : tools)
            QVERIFY(tool->waitForStarted(30000));
        int reads = 0;
        int torn = 0;
        auto running = [&] {
            return std::any_of(tools.begin(), tools.end(), [](QProcess* tool) {
                return !tool->waitForFinished(0) && tool->state() != QProcess::NotRunning;
            });
        };
        while (running() && reads < 1000000) {
            torn += isWholeFile(contentsOf(settingsPath()), ports) ? 0 : 1;
            ++reads;
        }
        for (QProcess* tool : tools) {
            QVERIFY(tool->state() == QProcess::NotRunning || tool->waitForFinished(120000));
            QCOMPARE(tool->exitStatus(), QProcess::NormalExit);
            QCOMPARE(tool->exitCode(), 0);
        }
        QCOMPARE(torn, 0);
        QVERIFY(reads > 0);
        QVERIFY(isWholeFile(contentsOf(settingsPath()), ports));
        QCOMPARE(entries(directory_.path()), QStringList{QStringLiteral("DWNLD.INI")});
    }

    // Many writers within one process, and a reader watching the whole file.
    void manyThreadsHammeringNeverTearTheFile() {
        QStringList ports;
        for (int i = 0; i < 8; ++i)
            ports.append(QStringLiteral("COM%1").arg(i + 1) + QString(i * 400, QLatin1Char('z')));
        writeFile(settingsPath(), settingsWithPort(ports[0]));
        std::atomic<int> failures{0};
        std::atomic<int> writing{int(ports.size())};
        std::vector<std::thread> writers;
        for (const QString& port : ports)
            writers.emplace_back([&, port] {
                failures += writePorts(settingsPath(), port, 150);
                --writing;
            });
        int reads = 0;
        int torn = 0;
        while (writing > 0) {
            torn += isWholeFile(contentsOf(settingsPath()), ports) ? 0 : 1;
            ++reads;
        }
        for (std::thread& writer : writers)
            writer.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(torn, 0);
        QVERIFY(isWholeFile(contentsOf(settingsPath()), ports));
        QCOMPARE(entries(directory_.path()), QStringList{QStringLiteral("DWNLD.INI")});
    }
};

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], WriterOption) == 0)
        return writePorts(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), 400);
    SettingsWritesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_settings_writes.moc"
