// The serial port over a pseudo-terminal pair: line settings, the read rule, closed and vanished
// devices, and the set-up failures as the user sees them.
#include "driver/DownloadSession.h"
#include "link/Messages.h"
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"
#include "link/SerialPlatformPosix.h"
#include "support/CpuStopwatch.h"
#include "support/FailureLog.h"
#include "support/PortEndings.h"
#include "support/PtyPair.h"
#include "support/ScriptedPeer.h"

#include <QLabel>
#include <QtTest>

#include <cerrno>
#include <termios.h>
#include <thread>

namespace {

QByteArray allByteValues() {
    QByteArray bytes;
    for (int v = 0; v < 256; ++v)
        bytes.append(char(v));
    return bytes;
}

// Collects what the tool sends until count bytes are there or timeoutMs passes.
QByteArray readMaster(const PtyPair& pty, qsizetype count, int timeoutMs) {
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < count && clock.elapsed() < timeoutMs)
        bytes += pty.readFromMaster(int(timeoutMs - clock.elapsed()));
    return bytes;
}

// A driver that takes or refuses low latency, with a record of what the device asked of it.
class LatencyDriver : public PosixSerialDriver {
public:
    explicit LatencyDriver(bool takesIt) : takesIt_(takesIt) { setPosixSerialDriver(this); }
    ~LatencyDriver() override { setPosixSerialDriver(nullptr); }
    bool askLowLatency(Handle handle) const override {
        calls << QStringLiteral("ask");
        handles << handle;
        return takesIt_;
    }
    void endLowLatency(Handle handle) const override {
        calls << QStringLiteral("end");
        handles << handle;
    }
    bool inLowLatency(Handle) const override { return takesIt_; }
    QString driverName(const QString&) const override { return QStringLiteral("ftdi_sio"); }

    mutable QStringList calls;
    mutable QList<Handle> handles;

private:
    bool takesIt_;
};

// A driver that refuses one set-up step of the named kind, with the system's reason in errno.
class RefusingDriver : public PosixSerialDriver {
public:
    RefusingDriver(SerialDevice::OpenResult step, int reason) : step_(step), reason_(reason) {
        setPosixSerialDriver(this);
    }
    ~RefusingDriver() override { setPosixSerialDriver(nullptr); }
    bool readLineSettings(Handle handle) const override {
        return !refuses(SerialDevice::OpenResult::ReadSettingsFailed) &&
               PosixSerialDriver::readLineSettings(handle);
    }
    bool handOverReadsAtOnce(Handle handle) const override {
        return !refuses(SerialDevice::OpenResult::TimeoutsFailed) &&
               PosixSerialDriver::handOverReadsAtOnce(handle);
    }

private:
    // True, with errno set, for the step that is refused.
    bool refuses(SerialDevice::OpenResult step) const {
        if (step != step_)
            return false;
        errno = reason_;
        return true;
    }

    SerialDevice::OpenResult step_;
    int reason_;
};

// A system that denies the user every device (root, who runs the tests, is never denied).
class DeniedDevices : public SerialPlatform {
public:
    DeniedDevices() { setSerialPlatform(this); }
    ~DeniedDevices() override { setSerialPlatform(nullptr); }
    bool mayUse(const QString&) const override { return false; }
};

} // namespace

Q_DECLARE_METATYPE(SerialDevice::OpenResult)

class SerialTest : public QObject {
    Q_OBJECT

private slots:
    void portNamesMapToDevices_data() {
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << "COM1"
                              << "/dev/ttyS0";
        QTest::newRow("COM3") << "COM3"
                              << "/dev/ttyS2";
        QTest::newRow("COM10") << "COM10"
                               << "/dev/ttyS9";
        QTest::newRow("lower case as written") << "com2"
                                               << "com2";
        QTest::newRow("COM0 as written") << "COM0"
                                         << "COM0";
        QTest::newRow("COM alone as written") << "COM"
                                              << "COM";
        QTest::newRow("device path") << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0";
        QTest::newRow("bare device name") << "ttyUSB0"
                                          << "ttyUSB0";
    }
    void portNamesMapToDevices() {
        QFETCH(QString, portName);
        QFETCH(QString, device);
        QCOMPARE(serialPlatform().devicePath(portName), device);
    }

    void openSetsTheLineState() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QVERIFY(session.PortHandle.isOpen());
        QVERIFY(session.status().isEmpty()); // nothing reported
        termios line{};
        QCOMPARE(::tcgetattr(pty.slaveFd(), &line), 0);
        QCOMPARE(::cfgetispeed(&line), speed_t(B19200));
        QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK),
                 tcflag_t(0));
        QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(int(line.c_cc[VMIN]), 0);
        QCOMPARE(int(line.c_cc[VTIME]), 0);
        // A pseudo-terminal has no low-latency mode: refused, and no failure.
        QVERIFY(!PosixSerialDriver().askLowLatency(pty.slaveFd()));
    }

    // The line settings that the device had before the tool opened it come back when the tool
    // lets go of it, however it does.
    void closingPutsBackTheLineSettings_data() { PortEndings::addRows(); }
    void closingPutsBackTheLineSettings() {
        QFETCH(QString, ending);
        PtyPair pty;
        termios before{};
        QCOMPARE(::tcgetattr(pty.slaveFd(), &before), 0);
        // 9600 baud, two stop bits, both kinds of flow control, a canonical line that echoes.
        ::cfsetispeed(&before, B9600);
        ::cfsetospeed(&before, B9600);
        before.c_cflag |= CSTOPB | CRTSCTS;
        before.c_iflag |= IXON | IXOFF | ICRNL;
        before.c_lflag |= ICANON | ECHO;
        before.c_cc[VMIN] = 1;
        before.c_cc[VTIME] = 5;
        QCOMPARE(::tcsetattr(pty.slaveFd(), TCSANOW, &before), 0);
        QCOMPARE(::tcgetattr(pty.slaveFd(), &before), 0); // as the terminal took them

        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        termios during{};
        QCOMPARE(::tcgetattr(pty.slaveFd(), &during), 0);
        QCOMPARE(::cfgetospeed(&during), speed_t(B19200));
        QVERIFY(PortEndings::letGo(session, pty.slavePath(), ending));
        termios after{};
        QCOMPARE(::tcgetattr(pty.slaveFd(), &after), 0);
        QCOMPARE(::cfgetispeed(&after), speed_t(B9600));
        QCOMPARE(::cfgetospeed(&after), speed_t(B9600));
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(after.c_oflag, before.c_oflag);
        QCOMPARE(after.c_cflag, before.c_cflag);
        QCOMPARE(after.c_lflag, before.c_lflag);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(after.c_cc), NCCS),
                 QByteArray(reinterpret_cast<const char*>(before.c_cc), NCCS));
    }

    // Low latency is asked for on the open port and undone when the port is closed, whichever
    // way; a driver that refuses is no failure. The cause of late answers names a driver that
    // refused, and how to set low latency on the device.
    void lowLatencyWhileThePortIsOpen_data() {
        QTest::addColumn<bool>("takesIt");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("calls");
        const QStringList askAndEnd{"ask", "end"};
        QTest::newRow("taken, closed") << true << "close" << askAndEnd;
        QTest::newRow("taken, closed by a failure") << true << "failure" << askAndEnd;
        QTest::newRow("taken, opened again") << true << "open" << askAndEnd;
        QTest::newRow("taken, device gone first") << true << "gone" << QStringList{"ask"};
        QTest::newRow("refused") << false << "close" << QStringList{"ask"};
    }
    void lowLatencyWhileThePortIsOpen() {
        QFETCH(bool, takesIt);
        QFETCH(QString, ending);
        PtyPair pty;
        DownloadSession session;
        const LatencyDriver driver(takesIt);
        QVERIFY(session.OpenCom(pty.slavePath()));
        QCOMPARE(driver.calls, QStringList{"ask"});
        QVERIFY(session.status().isEmpty()); // nothing reported
        const QString cause = session.PortHandle.lateAnswersCause();
        const QStringList refusal{"(driver ftdi_sio)",
                                  "setserial " + pty.slavePath() + " low_latency",
                                  "DRIVERS==\"ftdi_sio\""};
        for (const QString& words : refusal)
            QVERIFY2(cause.contains(words) != takesIt, qPrintable(cause));
        QCOMPARE(cause.contains("took low latency"), takesIt);
        QCOMPARE(session.WRITE_BYTE('*'), 1);
        QCOMPARE(readMaster(pty, 1, 5000), QByteArray("*"));
        if (ending == QLatin1String("close")) {
            QVERIFY(session.CloseCom());
        } else if (ending == QLatin1String("failure")) {
            session.DO_ERROR(QStringLiteral("Lost contact with ZELTRA IR"));
        } else if (ending == QLatin1String("open")) {
            QVERIFY(session.OpenCom(pty.slavePath()));
            QCOMPARE(driver.calls, (QStringList{"ask", "end", "ask"}));
            QVERIFY(session.CloseCom());
            driver.calls.removeLast();
            driver.calls.removeLast();
        } else {
            pty.closeMaster();
            QCOMPARE(session.READ_BYTE(), '\0'); // finds the device gone
            QVERIFY(session.CloseCom());
        }
        QVERIFY(!session.PortHandle.isOpen());
        QTEST(driver.calls, "calls");
        QVERIFY(driver.handles.first() >= 0);
        QVERIFY(std::all_of(driver.handles.begin(), driver.handles.end(),
                            [&](auto handle) { return handle == driver.handles.first(); }));
    }

    void allByteValuesPassBothWays() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        const QByteArray all = allByteValues();

        QCOMPARE(session.PortHandle.write(all), qint64(all.size()));
        QCOMPARE(readMaster(pty, all.size(), 5000), all);
        for (char byte : {char(0x00), char(0x2A), char(0x0A), char(0x0D), char(0x11), char(0xFF)})
            QCOMPARE(session.WRITE_BYTE(byte), 1);
        QCOMPARE(readMaster(pty, 6, 5000), QByteArray("\x00\x2A\x0A\x0D\x11\xFF", 6));

        QVERIFY(pty.writeToMaster(all));
        QCOMPARE(session.PortHandle.read(int(all.size())), all);
        for (int v = 1; v < 256; ++v) {
            QVERIFY(pty.writeToMaster(QByteArray(1, char(v))));
            QCOMPARE(session.READ_BYTE(), char(v));
        }
    }

    void readWithNothingSentReturnsNothing() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(session.READ_BYTE(), '\0');
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(session.PortHandle.read(5).isEmpty());
        QVERIFY(session.PortHandle.isOpen());
    }

    void nulReadsAsZero() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QVERIFY(pty.writeToMaster(QByteArray(1, '\0')));
        QCOMPARE(session.READ_BYTE(), '\0');
        QVERIFY(pty.writeToMaster("A"));
        QCOMPARE(session.READ_BYTE(), 'A'); // the NUL was taken, not left waiting
    }

    // A read of n bytes does not wait for a pause once all n are there, and takes no more.
    void readReturnsAtOnceWithAllBytes() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        qint64 fastest = 1000;
        for (int trial = 0; trial < 5; ++trial) {
            QVERIFY(pty.writeToMaster("19FF\nrest"));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(session.PortHandle.read(5), QByteArray("19FF\n"));
            fastest = std::min(fastest, clock.elapsed());
            QCOMPARE(session.PortHandle.read(4), QByteArray("rest"));
        }
        QVERIFY2(fastest < 10, qPrintable(QString::number(fastest))); // a pause takes > 10 ms
    }

    // A pause of more than 10 ms after a byte ends the read with what has come.
    void readStopsAfterAPause() {
        PtyPair pty;
        ScriptedPeer peer(pty, [&](const QByteArray&) {
            peer.send("ab");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return QByteArray("cde");
        });
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QCOMPARE(session.PortHandle.write("x\n"), qint64(2));
        // 100 bytes may take 1010 ms in all: only the pause can end the read this early.
        QCOMPARE(session.PortHandle.read(100), QByteArray("ab"));
        QCOMPARE(session.PortHandle.read(100), QByteArray("cde"));
    }

    void closedPortReadsAndWritesNothing() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QVERIFY(session.CloseCom());
        QVERIFY(!session.PortHandle.isOpen());
        QVERIFY(pty.writeToMaster("iiiiiiiiii"));
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(session.READ_BYTE(), '\0');
        QVERIFY(session.PortHandle.read(7).isEmpty());
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(session.WRITE_BYTE('*'), 0);
        QCOMPARE(session.PortHandle.write("a01F0\n"), qint64(0));
        QVERIFY(!session.PortHandle.purge());
        session.PortHandle.clearErrors();
        QVERIFY(pty.readFromMaster(100).isEmpty());
    }

    void closeTwiceIsHarmless() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        QVERIFY(session.CloseCom());
        QVERIFY(!session.CloseCom());
        QVERIFY(!session.PortHandle.isOpen());
        QVERIFY(session.OpenCom(pty.slavePath())); // the device was released
        QCOMPARE(session.WRITE_BYTE('*'), 1);
        QCOMPARE(readMaster(pty, 1, 5000), QByteArray("*"));
        QVERIFY(session.CloseCom());
    }

    void missingDeviceFailsToOpen_data() {
        QTest::addColumn<QString>("portName");
        QTest::newRow("device path") << "/dev/ttyZELTRA-none";
        QTest::newRow("bare name") << "ttyZELTRA-none";
        QTest::newRow("port beyond the machine's") << "COM200";
    }
    void missingDeviceFailsToOpen() {
        QFETCH(QString, portName);
        DownloadSession session;
        session.DownloadOk = true;
        QVERIFY(!session.OpenCom(portName));
        QCOMPARE(session.status(),
                 Message::openFailure(SerialDevice::OpenResult::OpenFailed, portName));
        QVERIFY(!session.DownloadOk);
        QVERIFY(!session.PortHandle.isOpen());
        QVERIFY(!session.CloseCom()); // closing after a failed open does nothing
        QCOMPARE(session.WRITE_BYTE('*'), 0);
    }

    void deviceHeldElsewhereFailsToOpen() {
        PtyPair pty;
        SerialDevice other;
        QCOMPARE(other.open(pty.slavePath()), SerialDevice::OpenResult::Ok);
        DownloadSession session;
        QVERIFY(!session.OpenCom(pty.slavePath()));
        QCOMPARE(session.status(),
                 Message::openFailure(SerialDevice::OpenResult::OpenFailed, pty.slavePath()));
        QVERIFY(other.isOpen());
        QCOMPARE(other.write("*"), qint64(1)); // the holder is not disturbed
        QCOMPARE(readMaster(pty, 1, 5000), QByteArray("*"));
        QVERIFY(other.close());
        QVERIFY(session.OpenCom(pty.slavePath()));
    }

    // The status line keeps the message; its tool tip says which device a COM name is and why
    // the device would not open, in words the user can act on.
    void openFailureSaysWhy_data() {
        QTest::addColumn<QString>("device"); // "pty": a pseudo-terminal held by another opening
        QTest::addColumn<bool>("denied");
        QTest::addColumn<QString>("detail");
        QTest::newRow("missing") << "/dev/ttyZELTRA-none" << false
                                 << "The device is not there: is the cradle's adapter plugged in?";
        QTest::newRow("missing COM name")
            << "COM200" << false
            << "COM200 is /dev/ttyS199, which is not there: is the cradle's adapter plugged in?";
        QTest::newRow("busy") << "pty" << false << "The device is busy: another program holds it";
        QTest::newRow("no permission")
            << "pty" << true
            << "The device needs a permission you do not have: on Debian, add yourself to the "
               "dialout group, then log in again";
        QTest::newRow("not a serial device")
            << "/dev/null" << false << "The device cannot be opened: Inappropriate ioctl";
    }
    void openFailureSaysWhy() {
        QFETCH(QString, device);
        QFETCH(bool, denied);
        QFETCH(QString, detail);
        PtyPair pty;
        SerialDevice holder;
        if (device == "pty") {
            device = pty.slavePath();
            QCOMPARE(holder.open(device), SerialDevice::OpenResult::Ok);
        }
        const std::unique_ptr<DeniedDevices> system(denied ? new DeniedDevices : nullptr);
        DownloadSession session;
        const FailureLog log(session);
        QVERIFY(!session.OpenCom(device));
        const QString message = Message::openFailure(SerialDevice::OpenResult::OpenFailed, device);
        QCOMPARE(session.status(), message);
        QCOMPARE(log.failures.size(), 1);
        QCOMPARE(log.failures[0].text, message);
        QVERIFY2(log.failures[0].detail.startsWith(detail), qPrintable(log.failures[0].detail));
    }

    // A set-up step that the system refuses: the tool tip gives the system's own reason.
    void setUpFailureSaysWhy_data() {
        QTest::addColumn<SerialDevice::OpenResult>("step");
        QTest::addColumn<int>("reason");
        QTest::newRow("reading the line settings")
            << SerialDevice::OpenResult::ReadSettingsFailed << EIO;
        QTest::newRow("handing over reads") << SerialDevice::OpenResult::TimeoutsFailed << ENOTTY;
    }
    void setUpFailureSaysWhy() {
        QFETCH(SerialDevice::OpenResult, step);
        QFETCH(int, reason);
        PtyPair pty;
        const RefusingDriver driver(step, reason);
        DownloadSession session;
        const FailureLog log(session);
        QVERIFY(!session.OpenCom(pty.slavePath()));
        const QString message = Message::openFailure(step, pty.slavePath());
        QCOMPARE(session.status(), message);
        QCOMPARE(log.failures.size(), 1);
        QCOMPARE(log.failures[0].detail, "The device refused: " + qt_error_string(reason));
    }

    // A device that goes away leaves the port "open" for the tool; its reads still take their
    // time, so the loops that read keep their pace instead of spinning.
    void vanishedDeviceKeepsThePace() {
        PtyPair pty;
        DownloadSession session;
        QVERIFY(session.OpenCom(pty.slavePath()));
        pty.closeMaster();

        CpuStopwatch reads;
        reads.start();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(session.READ_BYTE(), '\0');
        QVERIFY(session.GET_WORD_REPLY().isEmpty());
        reads.stop();
        QVERIFY2(reads.wallMs() >= 10 * 19 + 59, reads.describe());
        QVERIFY2(reads.cpuShare() < 0.5, reads.describe());

        QVERIFY(session.PortHandle.isOpen());
        QCOMPARE(session.WRITE_BYTE('*'), 0);
        QVERIFY(session.CloseCom());
        QVERIFY(!session.CloseCom());
    }
};

QTEST_MAIN(SerialTest)
#include "test_serial.moc"
