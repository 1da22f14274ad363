// The simulated target served on a pseudo-terminal: a host's conversation through the slave side.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "link/SerialDevice.h"
#include "sim/PtyTarget.h"

using namespace zeltra::sim;

namespace {

// The host's end of the line, opened raw like a serial port.
class HostLine {
public:
    explicit HostLine(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~HostLine() { close(); }
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    void write(const QByteArray& bytes) {
        QCOMPARE(::write(fd_, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    // Up to n bytes, waiting at most timeoutMs in all.
    QByteArray read(int n, int timeoutMs) {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < n && timer.elapsed() < timeoutMs) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, int(timeoutMs - timer.elapsed())) <= 0 || !(fd.revents & POLLIN))
                break;
            char buffer[64];
            const ssize_t count =
                ::read(fd_, buffer, size_t(std::min<int>(n - int(bytes.size()), 64)));
            if (count <= 0)
                break;
            bytes.append(buffer, count);
        }
        return bytes;
    }
    // A command line and its answer of n bytes.
    QByteArray command(const QByteArray& text, int n) {
        write(text + "\n");
        return read(n, 3000);
    }
    // "*" until "i", as the host does it: purge, send, read one byte within about 20 ms, then
    // drop what else has come.
    bool synchronise(int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            ::tcflush(fd_, TCIFLUSH);
            write("*");
            if (read(1, 20) == "i") {
                ::tcflush(fd_, TCIFLUSH); // answers to earlier passes that came late
                return true;
            }
        }
        return false;
    }

private:
    int fd_;
};

// The zeltra-sim executable, as the test set-up names it.
QString simExecutable() {
    const QString path = qEnvironmentVariable("ZELTRA_SIM");
    if (path.isEmpty())
        qFatal("ZELTRA_SIM must name the zeltra-sim executable (ctest sets it)");
    return path;
}

Options listening() {
    Options options;
    options.reset = Options::Reset::Immediately;
    return options;
}

} // namespace

class SimPtyTest : public QObject {
    Q_OBJECT

private slots:
    void scriptedConversation_data();
    void scriptedConversation();
    void answersArriveWhole_data();
    void answersArriveWhole();
    void resetPressTiming();
    void hangUpClosesTheLine();
    void hangUpAfterCommands();
    void zeltraSimProcess();
    void zeltraSimHelp();
};

void SimPtyTest::scriptedConversation_data() {
    QTest::addColumn<QByteArray>("bootVector");
    QTest::newRow("1F00") << QByteArray("1F00");
    QTest::newRow("lower case") << QByteArray("1f00");
    QTest::newRow("1800") << QByteArray("1800");
}

// A host's download over the pty, with the host closing and reopening its side in the middle.
void SimPtyTest::scriptedConversation() {
    QFETCH(QByteArray, bootVector);
    Options options = listening();
    options.bootVector = bootVector.toStdString();
    PtyTarget target(options);
    auto line = std::make_unique<HostLine>(target.devicePath());
    QVERIFY(line->isOpen());
    QVERIFY(line->synchronise(3000));
    QCOMPARE(line->command("rFFFF", 7), "11" + bootVector + "\n");
    QCOMPARE(line->command("a" + bootVector, 1), QByteArray("\n"));
    QCOMPARE(line->command("r1", 5), QByteArray("19CC\n"));
    QCOMPARE(line->command("a0000", 1), QByteArray("\n"));
    QCOMPARE(line->command("e", 1), QByteArray("\n"));
    for (const QByteArray text : {"a0000", "w0123", "w0456", "w3FFF", "w3FFF", "a0000"})
        QCOMPARE(line->command(text, 1), QByteArray("\n"));
    QByteArray words;
    for (int i = 0; i < 5; ++i)
        words += line->command("r1", 5);
    QCOMPARE(words, QByteArray("0123\n0456\n3FFF\n3FFF\n3FFF\n"));

    line = std::make_unique<HostLine>(target.devicePath()); // the downloader's next download
    QVERIFY(line->isOpen());
    QVERIFY(line->synchronise(3000));
    for (const QByteArray text : {"a2100", "w00AB", "a2100"})
        QCOMPARE(line->command(text, 1), QByteArray("\n"));
    QCOMPARE(line->command("r1", 5), QByteArray("00AB\n"));
    line->write("g\n");
    QTRY_VERIFY_WITH_TIMEOUT(target.report().goReceived, 3000);
    QVERIFY(!line->synchronise(100)); // the user's program runs now

    const Report report = target.report();
    QVERIFY2(report.violations.empty(),
             report.violations.empty() ? "" : report.violations[0].c_str());
    QCOMPARE(report.commandLog.size(), std::size_t(21));
    QCOMPARE(report.commandLog.back(), std::string("g"));
    QCOMPARE(target.programWord(0x0000), 0x0123);
    QCOMPARE(target.programWord(0x0001), 0x0456);
    QCOMPARE(target.programWord(0x0004), 0x3FFF);
    QCOMPARE(target.eepromByte(0x2100), 0xAB);
    QVERIFY(QByteArray::fromStdString(target.reportJson()).contains("\"goReceived\":true"));
}

void SimPtyTest::answersArriveWhole_data() {
    QTest::addColumn<bool>("lineModel");
    QTest::addColumn<int>("heldUpMs");
    QTest::newRow("line model") << true << 0;
    // Twice the pause that ends a read.
    QTest::newRow("line model, serving thread held up") << true << 20;
    QTest::newRow("direct line, serving thread held up") << false << 20;
}

// The host reads every reply whole under its read rule, which ends a read at a pause of more
// than 10 ms after a byte: a serving thread held up before it writes (as on a busy machine)
// delays a reply, it never splits it. Each reply is one write.
void SimPtyTest::answersArriveWhole() {
    QFETCH(bool, lineModel);
    QFETCH(int, heldUpMs);
    Options options = listening();
    options.lineModel = lineModel;
    std::atomic<int> writes = 0;
    PtyTarget target(options, [&] {
        ++writes;
        std::this_thread::sleep_for(std::chrono::milliseconds(heldUpMs));
    });
    SerialDevice host;
    QCOMPARE(host.open(QString::fromStdString(target.devicePath())), SerialDevice::OpenResult::Ok);
    const auto command = [&](const QByteArray& text, int n) {
        host.write(text + "\n");
        return host.read(n);
    };
    QCOMPARE(command("rFFFF", 7), QByteArray("111F00\n"));
    QCOMPARE(command("r1", 5), QByteArray("2000\n"));
    QCOMPARE(command("r1", 5), QByteArray("2001\n"));
    QCOMPARE(writes.load(), 3);
}

// No "i" before the RESET press some 300 ms after the first "*"; then "i".
void SimPtyTest::resetPressTiming() {
    PtyTarget target;
    HostLine line(target.devicePath());
    QElapsedTimer sinceFirstSync;
    sinceFirstSync.start();
    QVERIFY(line.synchronise(5000));
    const qint64 elapsed = sinceFirstSync.elapsed();
    QVERIFY2(elapsed >= 300, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
    const Report report = target.report();
    QVERIFY(report.syncBytes > 1);
    QCOMPARE(report.syncAnswers, 1);
    QCOMPARE(line.command("rFFFF", 7), QByteArray("111F00\n"));
}

// A pulled adapter: the host's side reports the loss and the device cannot be opened again.
void SimPtyTest::hangUpClosesTheLine() {
    PtyTarget target(listening());
    HostLine line(target.devicePath());
    QVERIFY(line.synchronise(3000));
    target.hangUp();
    QVERIFY(target.hungUp());
    QCOMPARE(line.read(1, 100), QByteArray());
    QVERIFY(!HostLine(target.devicePath()).isOpen());
    QVERIFY(target.report().hungUp);
}

void SimPtyTest::hangUpAfterCommands() {
    Options options = listening();
    options.hangUpAfter = 2;
    PtyTarget target(options);
    HostLine line(target.devicePath());
    QCOMPARE(line.command("a0000", 1), QByteArray("\n"));
    line.write("a0000\n");
    QTRY_VERIFY_WITH_TIMEOUT(target.hungUp(), 3000);
    QCOMPARE(line.read(1, 100), QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(!HostLine(target.devicePath()).isOpen(), 3000);
}

// zeltra-sim prints the device path first, serves, and reports when it stops after "g".
void SimPtyTest::zeltraSimProcess() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString reportFile = dir.filePath("report.json");
    const QString imageFile = dir.filePath("image.hex");
    QProcess sim;
    sim.start(simExecutable(), {"--reset", "immediately", "--exit-after-go", "--boot-vector",
                                "1F00", "--report", reportFile, "--image", imageFile});
    QVERIFY(sim.waitForStarted(3000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 3000);
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    HostLine line(path.toStdString());
    QVERIFY(line.isOpen());
    QVERIFY(line.synchronise(3000));
    QCOMPARE(line.command("rFFFF", 7), QByteArray("111F00\n"));
    for (const QByteArray text : {"a0008", "w1234", "w3FFF", "w3FFF", "w3FFF"})
        QCOMPARE(line.command(text, 1), QByteArray("\n"));

    ::kill(pid_t(sim.processId()), SIGUSR1); // a report on request, while serving
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(reportFile) && QFileInfo(reportFile).size() > 0, 3000);

    line.write("g\n");
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    QFile file(reportFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(report["goReceived"].toBool(), true);
    QCOMPARE(report["violations"].toArray().size(), 0);
    QCOMPARE(report["commandLog"].toArray().size(), 7);
    QCOMPARE(report["commandCounts"].toObject()["w"].toInt(), 4);
    QCOMPARE(report["memory"].toObject()["program"].toArray().at(8).toString(), QString("1234"));
    QFile image(imageFile);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray hex = image.readAll();
    QVERIFY(hex.contains(":100010003412FF3FFF3FFF3F"));
    QVERIFY(hex.endsWith(":00000001FF\n"));
}

void SimPtyTest::zeltraSimHelp() {
    QProcess sim;
    sim.start(simExecutable(), {"--help"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QByteArray help = sim.readAllStandardOutput();
    for (const char* option :
         {"--firmware-version", "--boot-vector", "--reset", "--reset-delay-ms", "--line-model",
          "--drop-ack", "--ack-delay-ms", "--reply-delay-ms", "--garbage-before-ack",
          "--ff-before-ack", "--reply-split-gap-ms", "--wrong-word", "--cancelling-pair",
          "--hang-up-after", "--exit-after-go", "--report", "--image"})
        QVERIFY2(help.contains(option), option);
    sim.start(simExecutable(), {"--boot-vector", "1F0"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
}

QTEST_GUILESS_MAIN(SimPtyTest)
#include "test_sim_pty.moc"
