// The real dwnld-cli against the simulated target behind real servers of its serial line on
// 127.0.0.1: ser2net over RFC 2217 and over raw TCP, and pyserial's RFC 2217 server side. Whole
// downloads, 0xFF among the answers, a verification and a read through the network, and the
// faults a user meets: the server stopping in the middle, its port held by another client, a
// server without RFC 2217.
#include "driver/Messages.h"
#include "link/Messages.h"
#include "sim/HexCompare.h"
#include "support/CliRun.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/PortServer.h"
#include "support/TcpPeer.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

using zeltra::sim::Options;

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(PortServer::Kind)
Q_DECLARE_METATYPE(PortServer::Gathering)

namespace {

using Kind = PortServer::Kind;

// Whether the target holds the HEX text.
bool holds(const zeltra::sim::PtyTarget& target, const QByteArray& hex, std::string* why) {
    const auto comparison = zeltra::sim::compareWithHexFile(
        hex.toStdString(), [&](std::uint16_t at) { return target.programWord(at); },
        [&](std::uint16_t at) { return target.eepromByte(at); });
    *why = zeltra::sim::describe(comparison);
    return comparison.matches();
}

} // namespace

// Skips the test when a server of this kind cannot run here.
#define REQUIRE_SERVER(kind)                                                                       \
    do {                                                                                           \
        if (const QString why = PortServer::missing(kind); !why.isEmpty())                         \
            QSKIP(qPrintable(why));                                                                \
    } while (false)

class RemotePortTest : public QObject {
    Q_OBJECT

private slots:
    // A whole download through the server; --json gives the port as it was named. Through
    // ser2net's default, which gathers what it reads, on a line of the cradle's own pace, the
    // answers come late and the notice names the setting.
    void writesTheFile_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Options>("target");
        QTest::addColumn<PortServer::Gathering>("gathering");
        const Options quick = DownloadRig::quickTarget();
        Options ff = quick;
        ff.ffBeforeAck = 2; // each sent by an RFC 2217 server as IAC IAC
        Options paced = quick;
        paced.lineModel = true;
        paced.bootVector = "0800";
        const auto off = PortServer::Gathering::Off;
        QTest::newRow("ser2net, rfc2217") << Kind::Ser2netRfc2217 << quick << off;
        QTest::newRow("ser2net, raw tcp") << Kind::Ser2netRaw << quick << off;
        QTest::newRow("ser2net, rfc2217, 0xFF before acknowledgements")
            << Kind::Ser2netRfc2217 << ff << off;
        QTest::newRow("ser2net, raw tcp, gathering as by default")
            << Kind::Ser2netRaw << paced << PortServer::Gathering::Default;
        QTest::newRow("pyserial, rfc2217") << Kind::Pyserial << quick << off;
        QTest::newRow("pyserial, rfc2217, 0xFF before acknowledgements")
            << Kind::Pyserial << ff << off;
    }
    void writesTheFile() {
        QFETCH(Kind, kind);
        QFETCH(Options, target);
        QFETCH(PortServer::Gathering, gathering);
        REQUIRE_SERVER(kind);
        CliRun run(target);
        const PortServer server(kind, run.port(), gathering);
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        const QByteArray hex = HexFiles::image(64, 8);
        QCOMPARE(run.run({"--json", "--port", server.url(), run.writeHex(hex)}), 0);
        // The last command, "g", is passed on by the server after the tool has left.
        QTRY_VERIFY(run.target.report().goReceived);
        QVERIFY2(run.errors().contains(Message::WrittenSuccessfully), qPrintable(run.errors()));
        QVERIFY(run.target.report().violations.empty());
        std::string why;
        QVERIFY2(holds(run.target, hex, &why), why.c_str());
        const QString events = run.standardOutput();
        const QByteArray first = events.toUtf8().split('\n').front();
        QCOMPARE(QJsonDocument::fromJson(first).object()["port"].toString(), server.url());
        const bool gathered = gathering == PortServer::Gathering::Default;
        QCOMPARE(events.contains("\"event\":\"slow-line\""), gathered);
        QCOMPARE(run.errors().contains("chardelay: false"), gathered);
    }

    // The window, with the server's URL in DWNLD.INI as a user writes it there.
    void windowWritesTheFileThroughTheSettingsPort() {
        REQUIRE_SERVER(Kind::Ser2netRfc2217);
        DownloadRig rig;
        const PortServer server(Kind::Ser2netRfc2217,
                                QString::fromStdString(rig.target().devicePath()));
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                            "[ZELTRA_IR_DOWNLOAD]\r\nPORT=" + server.url().toUtf8() + "\r\n");
        const QByteArray hex = HexFiles::image(40, 4);
        rig.createWindow(hex);
        rig.showAndDownload();
        QCOMPARE(rig.status(), Message::WrittenSuccessfully);
        QCOMPARE(rig.form().session().PortName, server.url());
        QTRY_VERIFY(rig.target().report().goReceived);
        std::string why;
        QVERIFY2(holds(rig.target(), hex, &why), why.c_str());
    }

    // A board written on its own line, verified and read back through ser2net's RFC 2217.
    void readsBackThroughRfc2217_data() {
        QTest::addColumn<bool>("read"); // or verify
        QTest::addColumn<QString>("done");
        QTest::newRow("--verify") << false << Message::HoldsHexFile;
        QTest::newRow("--read") << true << Message::Reading;
    }
    void readsBackThroughRfc2217() {
        QFETCH(bool, read);
        QFETCH(QString, done);
        REQUIRE_SERVER(Kind::Ser2netRfc2217);
        CliRun run;
        const QByteArray hex = HexFiles::image(61, 8);
        const QString hexPath = run.writeHex(hex);
        QCOMPARE(run.run({hexPath}), 0);
        run.target.pressReset();
        auto before = run.target.report().commandCounts;
        const PortServer server(Kind::Ser2netRfc2217, run.port());
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        const QString copy = run.path(QStringLiteral("copy.hex"));
        const int status =
            run.run(QStringList{"--port", server.url()} +
                    (read ? QStringList{"--read", copy} : QStringList{"--verify", hexPath}));
        QVERIFY2(status == 0 && run.errors().contains(done), qPrintable(run.errors()));
        QTRY_COMPARE(run.target.report().commandCounts["g"], before["g"] + 1);
        auto after = run.target.report().commandCounts;
        QCOMPARE(after["w"], before["w"]);
        QCOMPARE(after["e"], before["e"]);
        if (read) { // the used blocks eight words a record, the EEPROM eight bytes a record
            const QByteArray copied = HexFiles::readFile(copy);
            QCOMPARE(copied.count('\n'), 8 + 32 + 1);
            std::string why;
            QVERIFY2(holds(run.target, copied, &why), why.c_str());
        }
    }

    // ser2net killed once some words are written: the download fails within its
    // acknowledgement's time, naming the connection that closed.
    void serverStopsInTheMiddle() {
        REQUIRE_SERVER(Kind::Ser2netRfc2217);
        Options target = DownloadRig::quickTarget();
        target.lineModel = true; // some 4 s of writing, at 19200 baud
        CliRun run(target);
        PortServer server(Kind::Ser2netRfc2217, run.port());
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        QVERIFY(run.start({"--port", server.url(), run.writeHex(HexFiles::image(1024))}));
        QTRY_VERIFY_WITH_TIMEOUT(run.target.report().commandCounts["w"] >= 8 || !run.running(),
                                 CliRun::RunTimeoutMs);
        QVERIFY2(run.running(), qPrintable(run.errors()));
        QElapsedTimer clock;
        clock.start();
        server.kill();
        QCOMPARE(run.finish(), 1);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        const QString errors = run.errors();
        QVERIFY2(errors.contains(Message::LostContact), qPrintable(errors));
        QVERIFY2(errors.contains(Message::connectionClosed(server.endpoint())), qPrintable(errors));
        QVERIFY(!run.target.report().goReceived);
        QVERIFY(!server.running());
    }

    // While one dwnld-cli holds ser2net's port (waiting for RESET), another is turned away.
    void portHeldByAnotherClient_data() {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("rfc2217") << Kind::Ser2netRfc2217;
        QTest::newRow("raw tcp") << Kind::Ser2netRaw;
    }
    void portHeldByAnotherClient() {
        QFETCH(Kind, kind);
        REQUIRE_SERVER(kind);
        Options neverReset;
        neverReset.reset = Options::Reset::Never;
        CliRun holder(neverReset);
        const PortServer server(kind, holder.port());
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        const QString hexPath = holder.writeHex(HexFiles::image(8));
        QVERIFY(holder.start({"--port", server.url(), hexPath}));
        QTRY_VERIFY_WITH_TIMEOUT(holder.errors().contains(Message::PressReset),
                                 CliRun::RunTimeoutMs);
        CliRun second;
        QCOMPARE(second.run({"--port", server.url(), second.writeHex(HexFiles::image(8))}), 1);
        const QString errors = second.errors();
        QVERIFY2(errors.contains("Problem Opening Port " + server.url()), qPrintable(errors));
        QVERIFY2(errors.contains(server.endpoint() + Message::HeldByAnotherProgram),
                 qPrintable(errors));
        QCOMPARE(second.target.report().bytesIn, 0u);
        holder.interrupt();
        QCOMPARE(holder.finish(), 130);
    }

    // A TCP server that does not speak RFC 2217, named rfc2217://: ser2net's raw accepter, which
    // gives no answer to Telnet, and a peer that answers DONT COM-PORT-OPTION.
    void serverWithoutRfc2217_data() {
        QTest::addColumn<bool>("ser2net"); // or the refusing peer
        QTest::newRow("ser2net, raw tcp") << true;
        QTest::newRow("peer refusing COM-PORT-OPTION") << false;
    }
    void serverWithoutRfc2217() {
        QFETCH(bool, ser2net);
        if (ser2net)
            REQUIRE_SERVER(Kind::Ser2netRaw);
        CliRun run;
        std::unique_ptr<PortServer> server;
        std::unique_ptr<TcpPeer> peer;
        quint16 port = 0;
        if (ser2net) {
            server = std::make_unique<PortServer>(Kind::Ser2netRaw, run.port());
            QVERIFY2(server->listening(), qPrintable(server->failure()));
            port = server->port();
        } else {
            TcpPeer::Script script;
            script.takesComPort = false;
            peer = std::make_unique<TcpPeer>(script);
            port = peer->port();
        }
        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);
        const QString url = "rfc2217://" + endpoint;
        QCOMPARE(run.run({"--port", url, run.writeHex(HexFiles::image(8))}), 1);
        const QString errors = run.errors();
        QVERIFY2(errors.contains("Problem Opening Port " + url), qPrintable(errors));
        QVERIFY2(errors.contains("does not offer RFC 2217"), qPrintable(errors));
        QVERIFY2(errors.contains("socket://" + endpoint), qPrintable(errors));
        QVERIFY(!run.target.report().goReceived);
    }
};

QTEST_MAIN(RemotePortTest)
#include "test_remote_port.moc"
