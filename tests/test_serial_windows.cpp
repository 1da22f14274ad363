// The serial device on Windows, against the simulated target that scripts/test-windows puts
// behind COM1 and COM12 (started with --reset immediately): the kernel32 calls, the read rule
// they hold, the line settings put back on closing, and the messages of a port that will not
// open or set up.
#include "driver/DownloadSession.h"
#include "link/Messages.h"
#include "link/SerialPlatform.h"
#include "support/FailureLog.h"
#include "support/PortEndings.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <optional>

#include <windows.h>

namespace {

const QString TargetPort = QStringLiteral("COM1");

// Makes one call on the port, opened with the system's own call while the tool does not hold it.
template <class Call> bool onPort(const QString& portName, Call call) {
    const std::wstring name = (QStringLiteral("\\\\.\\") + portName).toStdWString();
    const HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    const bool done = call(port);
    CloseHandle(port);
    return done;
}

std::optional<DCB> readLineSettings(const QString& portName) {
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!onPort(portName, [&](HANDLE port) { return GetCommState(port, &settings) != 0; }))
        return std::nullopt;
    return settings;
}

bool writeLineSettings(const QString& portName, DCB settings) {
    return onPort(portName, [&](HANDLE port) { return SetCommState(port, &settings) != 0; });
}

// What a comparison of line settings looks at.
QString describe(const DCB& settings) {
    return QStringLiteral("%1 baud, %2 data bits, parity %3, stop bits %4, CTS %5, DSR %6, "
                          "XON/XOFF %7/%8, DTR %9, RTS %10")
        .arg(uint(settings.BaudRate))
        .arg(uint(settings.ByteSize))
        .arg(uint(settings.Parity))
        .arg(uint(settings.StopBits))
        .arg(uint(settings.fOutxCtsFlow))
        .arg(uint(settings.fOutxDsrFlow))
        .arg(uint(settings.fOutX))
        .arg(uint(settings.fInX))
        .arg(uint(settings.fDtrControl))
        .arg(uint(settings.fRtsControl));
}

} // namespace

class SerialWindowsTest : public QObject {
    Q_OBJECT

private slots:
    // COM10 and above exist only in the device namespace: opened by their plain names, they would
    // be files.
    void identifiesTheTarget_data() {
        QTest::addColumn<QString>("portName");
        QTest::newRow("COM1") << TargetPort;
        QTest::newRow("COM12") << "COM12";
    }
    void identifiesTheTarget() {
        QFETCH(QString, portName);
        DownloadSession session;
        QVERIFY(session.OpenCom(portName));
        QVERIFY(session.WAIT_FOR_ACK()); // "*" until "i"
        session.SEND_HEX(QStringLiteral("rFFFF"));
        const QString reply = session.GET_REPLY();
        QCOMPARE(reply.size(), 6); // the version, then the boot-vector address
        QCOMPARE(reply.left(2), QStringLiteral("11"));
        QVERIFY(session.CloseCom());
        QVERIFY(!session.CloseCom());
    }

    // The line settings that the port had before the tool opened it come back when the tool
    // lets go of it, however it does.
    void closingPutsBackTheLineSettings_data() { PortEndings::addRows(); }
    void closingPutsBackTheLineSettings() {
        QFETCH(QString, ending);
        const std::optional<DCB> found = readLineSettings(TargetPort);
        QVERIFY(found);
        DCB before = *found; // 9600 baud, two stop bits, both kinds of flow control
        before.BaudRate = CBR_9600;
        before.StopBits = TWOSTOPBITS;
        before.fOutxCtsFlow = 1;
        before.fRtsControl = RTS_CONTROL_HANDSHAKE;
        before.fOutX = 1;
        before.fInX = 1;
        QVERIFY(writeLineSettings(TargetPort, before));
        const QString expected = describe(*readLineSettings(TargetPort)); // as the port took them
        QVERIFY2(expected.startsWith(QStringLiteral("9600 baud")), qPrintable(expected));

        DownloadSession session;
        QVERIFY(session.OpenCom(TargetPort));
        QVERIFY(PortEndings::letGo(session, TargetPort, ending));
        const std::optional<DCB> after = readLineSettings(TargetPort);
        QVERIFY(writeLineSettings(TargetPort, *found)); // as this test found the port
        QVERIFY(after);
        QCOMPARE(describe(*after), expected);
    }

    // The system's serial device map lists COM1; a COM port with nothing behind it is not there.
    void portsPresent() {
        const SerialPlatform& system = serialPlatform();
        const QList<DetectedPort> ports = system.detectedPorts();
        QVERIFY(std::any_of(ports.cbegin(), ports.cend(), [](const DetectedPort& port) {
            return port.name == TargetPort && port.device == TargetPort;
        }));
        QVERIFY(system.deviceExists(TargetPort));
        QVERIFY(!system.deviceExists(QStringLiteral("COM7")));
    }

    // The device's time-outs: a read of n bytes with nothing coming ends after 10 x n + 10 ms.
    void readWithNothingComingEndsAfterItsTime_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("one byte") << 1;
        QTest::newRow("a reply line") << 7;
    }
    void readWithNothingComingEndsAfterItsTime() {
        QFETCH(int, count);
        DownloadSession session;
        QVERIFY(session.OpenCom(TargetPort));
        QVERIFY(session.WAIT_FOR_ACK()); // "*" until "i"
        QElapsedTimer clock;
        clock.start();
        QVERIFY(session.PortHandle.read(count).isEmpty());
        const qint64 took = clock.elapsed();
        const qint64 budget = SerialDevice::transferBudgetMs(count);
        QVERIFY2(took >= budget - 5 && took < budget + 500, qPrintable(QString::number(took)));
    }

    // A device that opens but refuses a set-up step: the tool tip gives the system's own
    // reason (under Wine, "Invalid handle."). The null device has no line settings.
    void setUpFailureSaysWhy() {
        DownloadSession session;
        const FailureLog log(session);
        QVERIFY(!session.OpenCom(QStringLiteral("NUL")));
        const QString message = Message::openFailure(SerialDevice::OpenResult::ReadSettingsFailed,
                                                     QStringLiteral("NUL"));
        QCOMPARE(session.status(), message);
        const QString reason = session.PortHandle.errorString();
        QVERIFY(!reason.isEmpty());
        QCOMPARE(log.failures.size(), 1);
        QCOMPARE(log.failures[0].detail, "The device refused: " + reason);
        QVERIFY(!session.PortHandle.isOpen());
    }

    // A port with nothing behind it says so. Wine
    // does not refuse a second opening of a serial device, so a port held by another program
    // cannot be made here.
    void portsThatWillNotOpen_data() {
        QTest::addColumn<QString>("portName");
        QTest::newRow("one digit") << "COM7";
        QTest::newRow("two digits") << "COM13";
    }
    void portsThatWillNotOpen() {
        QFETCH(QString, portName);
        DownloadSession session;
        const FailureLog log(session);
        QVERIFY(!session.OpenCom(portName));
        QCOMPARE(session.status(), QStringLiteral("Problem Opening Port ") + portName);
        QCOMPARE(log.failures.size(), 1);
        QVERIFY2(log.failures[0].detail.contains(QStringLiteral("not there: is the cradle's")),
                 qPrintable(log.failures[0].detail));
        QVERIFY(!session.PortHandle.isOpen());
    }
};

QTEST_MAIN(SerialWindowsTest)
#include "test_serial_windows.moc"
