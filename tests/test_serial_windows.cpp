// The serial device on Windows, against the simulated target that scripts/test-windows puts
// behind COM1 and COM12 (started with --reset immediately): the kernel32 calls, the read rule
// they hold, and the messages of a port that will not open.
#include "link/SerialPlatform.h"
#include "ui/TDownloadForm.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>

namespace {

const QString TargetPort = QStringLiteral("COM1");

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
        TDownloadForm form;
        QVERIFY(form.OpenCom(portName));
        QVERIFY(form.WAIT_FOR_ACK()); // "*" until "i"
        form.SEND_HEX(QStringLiteral("rFFFF"));
        const QString reply = form.GET_REPLY();
        QCOMPARE(reply.size(), 6); // the version, then the boot-vector address
        QCOMPARE(reply.left(2), QStringLiteral("11"));
        QVERIFY(form.CloseCom());
        QVERIFY(!form.CloseCom());
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
        TDownloadForm form;
        QVERIFY(form.OpenCom(TargetPort));
        QVERIFY(form.WAIT_FOR_ACK()); // "*" until "i"
        QElapsedTimer clock;
        clock.start();
        QVERIFY(form.PortHandle.read(count).isEmpty());
        const qint64 took = clock.elapsed();
        const qint64 budget = 10 * count + 10;
        QVERIFY2(took >= budget - 5 && took < budget + 500, qPrintable(QString::number(took)));
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
        TDownloadForm form;
        QVERIFY(!form.OpenCom(portName));
        QCOMPARE(form.Edit2->text(), QStringLiteral("Problem Opening Port ") + portName);
        QVERIFY2(form.Edit2->toolTip().contains(QStringLiteral("not there: is the cradle's")),
                 qPrintable(form.Edit2->toolTip()));
        QVERIFY(!form.PortHandle.isOpen());
    }
};

QTEST_MAIN(SerialWindowsTest)
#include "test_serial_windows.moc"
