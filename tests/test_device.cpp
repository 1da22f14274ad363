// Identification, erase and completion marker against the simulated target.
#include "device/Markers.h"
#include "device/Messages.h"
#include "device/TargetIdentity.h"
#include "link/Protocol.h"
#include "support/DownloadRig.h"
#include "support/PtyPair.h"
#include "support/ScriptedPeer.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using zeltra::sim::Options;

namespace {
Options targetWith(const std::string& version, const std::string& bootVector) {
    Options options = DownloadRig::quickTarget();
    options.firmwareVersion = version;
    options.bootVector = bootVector;
    return options;
}

} // namespace

class DeviceTest : public QObject {
    Q_OBJECT

private slots:
    void identifiesTheBootloader_data();
    void identifiesTheBootloader();
    void refusesShortIdentificationReplies_data();
    void refusesShortIdentificationReplies();
    void readsTheBootVectorWordAsReceived();
    void markersAreComparedExactly_data();
    void markersAreComparedExactly();
    void erasesRowsBelowTheBootVector_data();
    void erasesRowsBelowTheBootVector();
    void refusesABootVectorWithoutRows_data();
    void refusesABootVectorWithoutRows();
    void eraseFailsWhenTheMarkerDoesNotReadBack();
    void portChoiceEndsTheEraseAtTheCurrentRow();
    void writesTheCompletionMarker();
    void completionFailsWhenTheMarkerDoesNotReadBack();
    void completionSendsTheWholeBlockAfterALostAcknowledgement();

private:
    // Opens the line, synchronises and identifies; returns the identification's result.
    static QString identify(DownloadRig& rig) {
        return rig.connect() ? rig.session().GET_FIRMWARE_VERSION() : QStringLiteral("no link");
    }
};

void DeviceTest::identifiesTheBootloader_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("status");
    QTest::newRow("1FE0") << "11"
                          << "1FE0"
                          << "11"
                          << "";
    QTest::newRow("2000 is the limit") << "11"
                                       << "2000"
                                       << "11"
                                       << "";
    QTest::newRow("2001") << "11"
                          << "2001"
                          << "" << Message::ProgramTooLarge;
    QTest::newRow("version 10") << "10"
                                << "1F00"
                                << "" << Message::IncorrectFirmware;
    QTest::newRow("lower case") << "11"
                                << "1f00"
                                << "11"
                                << "";
    QTest::newRow("not hexadecimal") << "11"
                                     << "ZZZZ"
                                     << "11"
                                     << "";
}

void DeviceTest::identifiesTheBootloader() {
    QFETCH(QString, version);
    QFETCH(QString, bootVector);
    QFETCH(QString, result);
    QFETCH(QString, status);
    DownloadRig rig(targetWith(version.toStdString(), bootVector.toStdString()));
    QCOMPARE(identify(rig), result);
    QCOMPARE(rig.session().FirmwareVersion, version);
    QCOMPARE(rig.session().BootVectorAddress, bootVector);
    QCOMPARE(rig.status(), status);
    QCOMPARE(rig.session().PortHandle.isOpen(), result == "11");
}

namespace {
// A bootloader that answers the handshake, acknowledges every command, gives `identification`
// to "rFFFF" and `word` to every "r1".
struct ScriptedTarget {
    ScriptedTarget(const QByteArray& identification, const QByteArray& word)
        : peer(pty, [=](const QByteArray& unit) -> QByteArray {
              if (unit == "*") {
                  return "i";
              }
              if (unit == "rFFFF\n") {
                  return identification;
              }
              return unit == "r1\n" ? word : QByteArray("\n");
          }) {
        opened = session.OpenCom(pty.slavePath()) && session.WAIT_FOR_ACK();
    }
    PtyPair pty;
    ScriptedPeer peer;
    DownloadSession session;
    bool opened = false;
};
} // namespace

void DeviceTest::refusesShortIdentificationReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<QString>("status");
    QTest::newRow("three address digits") << QByteArray("111F0\n") << "11"
                                          << "1F0" << Message::IncorrectVectorAddress;
    QTest::newRow("version only") << QByteArray("11\n") << "11"
                                  << "" << Message::IncorrectVectorAddress;
    QTest::newRow("one character") << QByteArray("1\n") << "1"
                                   << "" << Message::IncorrectFirmware;
    QTest::newRow("LF only") << QByteArray("\n") << ""
                             << "" << Message::IncorrectFirmware;
    QTest::newRow("nothing") << QByteArray() << ""
                             << "" << Message::IncorrectFirmware;
}

void DeviceTest::refusesShortIdentificationReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, version);
    QFETCH(QString, bootVector);
    QFETCH(QString, status);
    ScriptedTarget target(reply, "19FF\n");
    QVERIFY(target.opened);
    QCOMPARE(target.session.GET_FIRMWARE_VERSION(), QString());
    QCOMPARE(target.session.FirmwareVersion, version);
    QCOMPARE(target.session.BootVectorAddress, bootVector);
    QCOMPARE(target.session.status(), status);
    QVERIFY(!target.session.PortHandle.isOpen());
}

void DeviceTest::markersAreComparedExactly_data() {
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<bool>("erased");
    QTest::addColumn<bool>("completed");
    QTest::newRow("19FF") << QByteArray("19FF\n") << true << false;
    QTest::newRow("19CC") << QByteArray("19CC\n") << false << true;
    QTest::newRow("19ff") << QByteArray("19ff\n") << false << false;
    QTest::newRow("19cc") << QByteArray("19cc\n") << false << false;
    QTest::newRow("fifth character") << QByteArray("19FFF") << false << false;
}

void DeviceTest::markersAreComparedExactly() {
    QFETCH(QByteArray, word);
    QFETCH(bool, erased);
    QFETCH(bool, completed);
    {
        ScriptedTarget target("11003C\n", word);
        QVERIFY(target.opened);
        QCOMPARE(target.session.GET_FIRMWARE_VERSION(), QStringLiteral("11"));
        QCOMPARE(target.session.ERASE_PICMICRO(), erased);
        QCOMPARE(target.session.status(), erased ? Message::Erasing : Message::EraseFailed);
    }
    ScriptedTarget target("11003C\n", word);
    QVERIFY(target.opened);
    QCOMPARE(target.session.GET_FIRMWARE_VERSION(), QStringLiteral("11"));
    QCOMPARE(target.session.FINISH_BOOTLOAD(), completed);
    QCOMPARE(target.session.status(), completed ? QString() : Message::DownloadFailed);
}

void DeviceTest::readsTheBootVectorWordAsReceived() {
    DownloadRig rig(targetWith("11", "1f00"));
    QCOMPARE(identify(rig), QStringLiteral("11"));
    const QString word = rig.session().READ_VECTOR_ADDRESS();
    QCOMPARE(word, QString::asprintf("%04X", rig.target().programWord(0x1F00)));
    QCOMPARE(rig.commands(), (QStringList{"rFFFF", "a1f00", "r1"}));
}

void DeviceTest::erasesRowsBelowTheBootVector_data() {
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<int>("rows");
    QTest::newRow("1F00") << "1F00" << 248;
    QTest::newRow("2000") << "2000" << 256;
    QTest::newRow("001C") << "001C" << 1;
    QTest::newRow("003B") << "003B" << 1;
    QTest::newRow("003C") << "003C" << 2;
    QTest::newRow("1F1C, the vector's own row too") << "1F1C" << 249;
    QTest::newRow("lower case") << "1f00" << 248;
}

void DeviceTest::erasesRowsBelowTheBootVector() {
    QFETCH(QString, bootVector);
    QFETCH(int, rows);
    DownloadRig rig(targetWith("11", bootVector.toStdString()));
    rig.createWindowWithoutArgument(); // the window shows the erase
    QCOMPARE(identify(rig), QStringLiteral("11"));
    TDownloadForm& form = rig.form();
    bool blueWhileErasing = false;
    rig.when([&] { return form.DownloadGauge->progress() > 0; },
             [&] { blueWhileErasing = form.DownloadGauge->barColor() == GaugeColor::Blue; });
    QVERIFY(form.session().ERASE_PICMICRO());

    QStringList expected{"rFFFF"};
    for (int row = 0; row < rows; ++row) {
        expected << QString::asprintf("a%04X", row * 32) << "e";
    }
    expected << "a" + bootVector << "w19FF"
             << "w3FFF"
             << "w3FFF"
             << "w3FFF"
             << "a" + bootVector << "r1";
    QCOMPARE(rig.commands(), expected);
    QCOMPARE(rig.target().programWord(quint16(bootVector.toUInt(nullptr, 16))), EraseMarker);
    QCOMPARE(rig.target().programWord(quint16((rows - 1) * 32)), 0x3FFF);
    QCOMPARE(form.DownloadGauge->maximum(), int(bootVector.toUInt(nullptr, 16)) - 28);
    QVERIFY(blueWhileErasing || rows == 1);
    QCOMPARE(form.DownloadGauge->barColor(), GaugeColor::Lime);
    QCOMPARE(form.DownloadGauge->progress(), 0);
    QCOMPARE(rig.status(), Message::Erasing);
    QVERIFY(form.CancelButton->isEnabled() && form.CloseButton->isEnabled());
    QCOMPARE(rig.report().violations, std::vector<std::string>{});
}

void DeviceTest::refusesABootVectorWithoutRows_data() {
    QTest::addColumn<QString>("bootVector");
    QTest::newRow("0000") << "0000";
    QTest::newRow("0010") << "0010";
    QTest::newRow("001B") << "001B";
    QTest::newRow("ZZZZ") << "ZZZZ";
}

void DeviceTest::refusesABootVectorWithoutRows() {
    QFETCH(QString, bootVector);
    DownloadRig rig(targetWith("11", bootVector.toStdString()));
    QCOMPARE(identify(rig), QStringLiteral("11"));
    QVERIFY(!rig.session().ERASE_PICMICRO());
    QCOMPARE(rig.status(), Message::EraseFailed);
    QCOMPARE(rig.commands(), QStringList{"rFFFF"});
    QVERIFY(!rig.session().PortHandle.isOpen());
}

void DeviceTest::eraseFailsWhenTheMarkerDoesNotReadBack() {
    Options options = DownloadRig::quickTarget();
    options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x1F00, 0x3FFF};
    DownloadRig rig(options);
    QCOMPARE(identify(rig), QStringLiteral("11"));
    QVERIFY(!rig.session().ERASE_PICMICRO());
    QCOMPARE(rig.status(), Message::EraseFailed);
    QCOMPARE(rig.report().syncBytes, 1); // no closing synchronisation after the failure
}

void DeviceTest::portChoiceEndsTheEraseAtTheCurrentRow() {
    DownloadRig rig;
    rig.createWindowWithoutArgument(); // the port choice is the window's
    QCOMPARE(identify(rig), QStringLiteral("11"));
    TDownloadForm& form = rig.form();
    rig.when([&] { return form.DownloadGauge->progress() >= 10 * 32; },
             [&] { form.COM2Item->trigger(); });
    QVERIFY(!form.session().ERASE_PICMICRO());
    const int erased = int(rig.commands().count("e"));
    QVERIFY2(erased >= 10 && erased < 248, qPrintable(QString::number(erased)));
    QCOMPARE(rig.commands().count("w19FF"), 0);
    QCOMPARE(rig.status(), Message::Erasing);
    QCOMPARE(form.DownloadGauge->barColor(), GaugeColor::Blue);
    QVERIFY(form.CancelButton->isEnabled() && form.CloseButton->isEnabled());
    QVERIFY(form.session().PortHandle.isOpen());
}

void DeviceTest::writesTheCompletionMarker() {
    DownloadRig rig;
    QCOMPARE(identify(rig), QStringLiteral("11"));
    QVERIFY(rig.session().FINISH_BOOTLOAD());
    QCOMPARE(rig.commands(),
             (QStringList{"rFFFF", "a1F00", "w19CC", "w3FFF", "w3FFF", "w3FFF", "a1F00", "r1"}));
    QCOMPARE(rig.target().programWord(0x1F00), CompletionMarker);
    QCOMPARE(rig.status(), QString());
}

void DeviceTest::completionFailsWhenTheMarkerDoesNotReadBack() {
    Options options = DownloadRig::quickTarget();
    options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x1F00, EraseMarker};
    DownloadRig rig(options);
    QCOMPARE(identify(rig), QStringLiteral("11"));
    QVERIFY(!rig.session().FINISH_BOOTLOAD());
    QCOMPARE(rig.status(), Message::DownloadFailed);
}

void DeviceTest::completionSendsTheWholeBlockAfterALostAcknowledgement() {
    Options options = DownloadRig::quickTarget();
    options.dropAck = 2; // the "w19CC"
    DownloadRig rig(options);
    QCOMPARE(identify(rig), QStringLiteral("11"));
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!rig.session().FINISH_BOOTLOAD());
    // Three fill words and the read-back address each waited out a time-out on the closed line.
    QVERIFY2(elapsed.elapsed() >= 4 * (AckTimeoutMs - 50),
             qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(rig.status(), Message::DownloadFailed);
}

QTEST_MAIN(DeviceTest)
#include "test_device.moc"
