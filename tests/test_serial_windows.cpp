// The serial device on Windows, against the simulated target that scripts/test-windows puts
// behind COM1 and COM12 (started with --reset immediately): the kernel32 calls, the read rule
// they hold, the line settings put back on closing, what an FTDI adapter's registry entry says
// of late answers, and the messages of a port that will not open or set up.
#include "driver/DownloadSession.h"
#include "link/Messages.h"
#include "link/SerialPlatform.h"
#include "support/FailureLog.h"
#include "support/PortEndings.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <optional>
#include <string>

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

// The program's own entry for SetCommState in its import table, through which the device calls it.
extern "C" decltype(&SetCommState) __imp_SetCommState;

// Records the line settings that the program gives SetCommState while it lives. Wine's serial
// driver keeps no event character (GetCommState reports 0 whatever was set), so what the device
// sets is seen here, on its way to the system.
class SetCommStateRecord {
public:
    SetCommStateRecord() {
        given_.clear();
        system_ = __imp_SetCommState;
        redirect(&record);
    }
    ~SetCommStateRecord() { redirect(system_); }
    SetCommStateRecord(const SetCommStateRecord&) = delete;
    SetCommStateRecord& operator=(const SetCommStateRecord&) = delete;
    const QList<DCB>& given() const { return given_; }

private:
    using Call = decltype(&SetCommState);
    static BOOL WINAPI record(HANDLE port, DCB* settings) {
        given_.append(*settings);
        return system_(port, settings);
    }
    static void redirect(Call call) {
        DWORD protection = 0;
        VirtualProtect(&__imp_SetCommState, sizeof call, PAGE_READWRITE, &protection);
        __imp_SetCommState = call;
        VirtualProtect(&__imp_SetCommState, sizeof call, protection, &protection);
    }
    static inline QList<DCB> given_;
    static inline Call system_ = nullptr;
};

// An FTDI adapter's entry for a port, as its driver keeps it, for as long as this lives: it then
// takes away every key it made, whatever the test's outcome.
class FtdiPortEntry {
public:
    FtdiPortEntry(const QString& portName, DWORD latencyMs) {
        const std::wstring bus = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
        const std::wstring device = bus + L"\\VID_0403+PID_6001+TEST0A";
        HKEY key = nullptr;
        made_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, bus.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS
                    ? device
                    : bus;
        RegCloseKey(key);
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (device + L"\\0000\\Device Parameters").c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        const std::wstring name = portName.toStdWString();
        written_ =
            RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           DWORD((name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
            RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&latencyMs),
                           sizeof latencyMs) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~FtdiPortEntry() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, made_.c_str()); }
    FtdiPortEntry(const FtdiPortEntry&) = delete;
    FtdiPortEntry& operator=(const FtdiPortEntry&) = delete;
    bool written() const { return written_; }

private:
    std::wstring made_; // the uppermost key that this entry made
    bool written_ = false;
};

// What a comparison of line settings looks at.
QString describe(const DCB& settings) {
    return QStringLiteral("%1 baud, %2 data bits, parity %3, stop bits %4, CTS %5, DSR %6, "
                          "XON/XOFF %7/%8, DTR %9, RTS %10, event character %11")
        .arg(uint(settings.BaudRate))
        .arg(uint(settings.ByteSize))
        .arg(uint(settings.Parity))
        .arg(uint(settings.StopBits))
        .arg(uint(settings.fOutxCtsFlow))
        .arg(uint(settings.fOutxDsrFlow))
        .arg(uint(settings.fOutX))
        .arg(uint(settings.fInX))
        .arg(uint(settings.fDtrControl))
        .arg(uint(settings.fRtsControl))
        .arg(int(settings.EvtChar));
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
    // lets go of it, however it does. Opening sets LF as the event character; Wine keeps none,
    // so that is seen in what the tool gives SetCommState: LF on opening, and on letting go the
    // event character that the port had.
    void closingPutsBackTheLineSettings_data() { PortEndings::addRows(); }
    void closingPutsBackTheLineSettings() {
        QFETCH(QString, ending);
        const std::optional<DCB> found = readLineSettings(TargetPort);
        QVERIFY(found);
        DCB before = *found; // 9600 baud, two stop bits, both kinds of flow control, CR events
        before.BaudRate = CBR_9600;
        before.StopBits = TWOSTOPBITS;
        before.fOutxCtsFlow = 1;
        before.fRtsControl = RTS_CONTROL_HANDSHAKE;
        before.fOutX = 1;
        before.fInX = 1;
        before.EvtChar = '\r';
        QVERIFY(writeLineSettings(TargetPort, before));
        const std::optional<DCB> taken = readLineSettings(TargetPort); // as the port took them
        QVERIFY(taken);
        const QString expected = describe(*taken);
        QVERIFY2(expected.startsWith(QStringLiteral("9600 baud")), qPrintable(expected));

        QList<DCB> given;
        {
            const SetCommStateRecord record;
            DownloadSession session;
            QVERIFY(session.OpenCom(TargetPort));
            QVERIFY(PortEndings::letGo(session, TargetPort, ending));
            given = record.given();
        }
        const std::optional<DCB> after = readLineSettings(TargetPort);
        QVERIFY(writeLineSettings(TargetPort, *found)); // as this test found the port
        QVERIFY(after);
        QCOMPARE(describe(*after), expected);
        QVERIFY(given.size() >= 2);
        QCOMPARE(int(given.first().EvtChar), int('\n'));
        QCOMPARE(describe(given.last()), expected);
    }

    // A port of an FTDI adapter: the cause of late answers gives its latency timer, as the
    // adapter's driver keeps it in the registry, and no timer for a port it has no entry for.
    void lateAnswersCauseGivesTheLatencyTimer_data() {
        QTest::addColumn<QString>("entryPort"); // the port an FTDI entry names; no entry if empty
        QTest::addColumn<QString>("expected");  // what the cause must hold; "" for no timer
        QTest::newRow("this port's entry") << TargetPort << "set to 16 ms";
        QTest::newRow("in small letters") << TargetPort.toLower() << "set to 16 ms";
        QTest::newRow("another port's entry") << "COM9"
                                              << "";
        QTest::newRow("no entry") << ""
                                  << "";
    }
    void lateAnswersCauseGivesTheLatencyTimer() {
        QFETCH(QString, entryPort);
        QFETCH(QString, expected);
        std::optional<FtdiPortEntry> entry;
        if (!entryPort.isEmpty())
            QVERIFY(entry.emplace(entryPort, 16).written());
        DownloadSession session;
        QVERIFY(session.OpenCom(TargetPort));
        const QString cause = session.PortHandle.lateAnswersCause();
        QVERIFY2(cause.startsWith(QStringLiteral("A USB serial adapter")), qPrintable(cause));
        if (expected.isEmpty())
            QVERIFY2(!cause.contains(QStringLiteral("set to")), qPrintable(cause));
        else
            QVERIFY2(cause.contains(expected), qPrintable(cause));
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
