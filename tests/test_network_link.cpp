// The network port: its names, the Telnet layer of RFC 2217, and the link over TCP against a
// scripted server on 127.0.0.1 (the opening sequence, the network read rule, connections that
// fail, end or are turned away, and hostile servers), and through a real ser2net.
#include "link/NetworkAddress.h"
#include "link/NetworkLink.h"
#include "link/TelnetCodec.h"
#include "support/PeakMemory.h"
#include "support/PortServer.h"
#include "support/PtyPair.h"
#include "support/SmallQuarantine.h"
#include "support/TcpPeer.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <chrono>
#include <termios.h>
#include <thread>

namespace {

using Codec = TelnetCodec;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (const int v : values)
        b.append(char(v));
    return b;
}

QByteArray negotiation(int verb, int option) {
    return bytes({Codec::IAC, verb, option});
}

// The sub-negotiation that a client request or a server answer is, undoubled: option, code,
// value.
QByteArray sub(int code, const QByteArray& value) {
    return bytes({Codec::ComPortOption, code}) + value;
}

const QByteArray Baud19200 = bytes({0, 0, 0x4B, 0});

} // namespace

Q_DECLARE_METATYPE(NetworkLink::OpenResult)
Q_DECLARE_METATYPE(NetworkLink::OpenFault)

class NetworkLinkTest : public QObject {
    Q_OBJECT

private slots:
    // ---- Names ----
    void networkPortNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("network");
        QTest::newRow("rfc2217") << "rfc2217://host:1" << true;
        QTest::newRow("socket, upper case") << "SOCKET://host:1" << true;
        QTest::newRow("mixed case, bad rest") << "Rfc2217://" << true;
        QTest::newRow("COM name") << "COM1" << false;
        QTest::newRow("device path") << "/dev/ttyUSB0" << false;
        QTest::newRow("other scheme") << "tcp://host:1" << true;
    }
    void networkPortNames() {
        QFETCH(QString, name);
        QFETCH(bool, network);
        QCOMPARE(isNetworkPortName(name), network);
    }

    void addresses_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("rfc2217");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("endpoint");
        QTest::newRow("IPv4") << "rfc2217://127.0.0.1:4000" << true << "127.0.0.1" << 4000
                              << "127.0.0.1:4000";
        QTest::newRow("name, upper-case scheme")
            << "RFC2217://cradle.example:1" << true << "cradle.example" << 1 << "cradle.example:1";
        QTest::newRow("socket, highest port")
            << "socket://localhost:65535" << false << "localhost" << 65535 << "localhost:65535";
        QTest::newRow("IPv6 in brackets") << "SoCkEt://[2001:db8::7]:4000" << false << "2001:db8::7"
                                          << 4000 << "[2001:db8::7]:4000";
        QTest::newRow("IPv6 loopback")
            << "rfc2217://[::1]:2217" << true << "::1" << 2217 << "[::1]:2217";
    }
    void addresses() {
        QFETCH(QString, name);
        QFETCH(bool, rfc2217);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, endpoint);
        const ParsedNetworkAddress parsed = parseNetworkAddress(name);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QCOMPARE(parsed.address.scheme == NetworkAddress::Scheme::Rfc2217, rfc2217);
        QCOMPARE(parsed.address.host, host);
        QCOMPARE(int(parsed.address.port), port);
        QCOMPARE(parsed.address.endpoint(), endpoint);
    }

    void badAddresses_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why");
        QTest::newRow("serial name") << "COM1"
                                     << "must begin with rfc2217:// or socket://";
        QTest::newRow("unknown scheme") << "telnet://host:23"
                                        << "scheme \"telnet\" is not known";
        QTest::newRow("empty host") << "rfc2217://:4000"
                                    << "host is empty";
        QTest::newRow("nothing after scheme") << "socket://"
                                              << "host is empty";
        QTest::newRow("no port") << "rfc2217://host"
                                 << "port is missing";
        QTest::newRow("empty port") << "rfc2217://host:"
                                    << "port is missing";
        QTest::newRow("port not a number") << "socket://host:4k"
                                           << "\"4k\" is not a number";
        QTest::newRow("negative port") << "socket://host:-1"
                                       << "is not a number";
        QTest::newRow("port 0") << "socket://host:0"
                                << "outside 1..65535";
        QTest::newRow("port 65536") << "socket://host:65536"
                                    << "outside 1..65535";
        QTest::newRow("port too long") << "socket://host:000000004000"
                                       << "outside 1..65535";
        QTest::newRow("IPv6 bare") << "rfc2217://2001:db8::7:4000"
                                   << "must be written in brackets";
        QTest::newRow("IPv6 no port") << "rfc2217://[2001:db8::7]"
                                      << "port is missing";
        QTest::newRow("IPv6 unclosed") << "rfc2217://[2001:db8::7:4000"
                                       << "closing bracket";
        QTest::newRow("IPv6 empty") << "rfc2217://[]:4000"
                                    << "host is empty";
        QTest::newRow("not IPv6") << "rfc2217://[cradle]:4000"
                                  << "is not an IPv6 address";
        QTest::newRow("IPv6 then junk") << "rfc2217://[::1]x:4000"
                                        << "a colon and the port";
        QTest::newRow("path") << "rfc2217://host:4000/ttyS0"
                              << "no path";
        QTest::newRow("trailing slash") << "socket://host:4000/"
                                        << "no path";
        QTest::newRow("query") << "socket://host:4000?baud=19200"
                               << "no path";
        QTest::newRow("user") << "rfc2217://me@host:4000"
                              << "user part";
        QTest::newRow("space in host") << "socket://my host:4000"
                                       << "characters";
    }
    void badAddresses() {
        QFETCH(QString, name);
        QFETCH(QString, why);
        const ParsedNetworkAddress parsed = parseNetworkAddress(name);
        QVERIFY(!parsed.ok());
        QVERIFY2(parsed.error.contains(why), qPrintable(parsed.error));
    }

    // ---- The Telnet layer ----
    void decoding_data() {
        QTest::addColumn<bool>("opened"); // opening() was sent first, and the server agreed
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("answers");
        const QByteArray none;
        QTest::newRow("plain data")
            << true << QByteArray("111F00\n") << QByteArray("111F00\n") << none;
        QTest::newRow("IAC IAC is one 0xFF")
            << true << bytes({'a', 255, 255, 'b', 255, 255}) << bytes({'a', 255, 'b', 255}) << none;
        QTest::newRow("NOP, GA and DM stripped")
            << true << bytes({'1', 255, Codec::NOP, '2', 255, Codec::GA, '3', 255, 242})
            << QByteArray("123") << none;
        QTest::newRow("unknown option offered: DONT")
            << true << QByteArray("1") + negotiation(Codec::WILL, 1) + "1F00\n"
            << QByteArray("11F00\n") << negotiation(Codec::DONT, 1);
        QTest::newRow("unknown option asked for: WONT")
            << true << negotiation(Codec::DO, 24) << none << negotiation(Codec::WONT, 24);
        QTest::newRow("option we are in: no answer")
            << true << negotiation(Codec::DO, Codec::Binary) + negotiation(Codec::WILL, 3) << none
            << none;
        QTest::newRow("option off that is off: no answer")
            << true << negotiation(Codec::WONT, 1) + negotiation(Codec::DONT, 24) << none << none;
        QTest::newRow("server leaves BINARY: DONT")
            << true << negotiation(Codec::WONT, Codec::Binary) << none
            << negotiation(Codec::DONT, Codec::Binary);
        QTest::newRow("unasked BINARY offer taken up")
            << false << negotiation(Codec::WILL, Codec::Binary) << none
            << negotiation(Codec::DO, Codec::Binary);
        QTest::newRow("sub-negotiation stripped")
            << true
            << QByteArray("ab") + bytes({255, Codec::SB, 24, 1, 255, 255, 255, Codec::SE}) + "c"
            << QByteArray("abc") << none;
        QTest::newRow("command inside a sub-negotiation ends it")
            << true << bytes({255, Codec::SB, 24, 'x', 255, Codec::NOP}) + "ok" << QByteArray("ok")
            << none;
        QTest::newRow("CR LF and CR NUL in binary")
            << true << QByteArray("a\r\nb\r", 5) + QByteArray(1, '\0')
            << QByteArray("a\r\nb\r", 5) + QByteArray(1, '\0') << none;
        QTest::newRow("CR NUL is CR without binary")
            << false << QByteArray("a\r", 2) + QByteArray(1, '\0') + "b\r\n"
            << QByteArray("a\rb\r\n") << none;
    }
    void decoding() {
        QFETCH(bool, opened);
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, answers);
        Codec codec;
        if (opened) {
            codec.opening();
            codec.decode(negotiation(Codec::DO, Codec::Binary) +
                         negotiation(Codec::WILL, Codec::Binary) + negotiation(Codec::DO, 3) +
                         negotiation(Codec::WILL, 3) +
                         negotiation(Codec::DO, Codec::ComPortOption));
            QCOMPARE(codec.takeAnswers(), QByteArray()); // answers to our requests
            QVERIFY(codec.receivesBinary() && codec.sendsBinary());
        }
        QCOMPARE(codec.decode(received), data);
        QCOMPARE(codec.takeAnswers(), answers);
        // The same bytes one at a time: the state carries over between batches.
        Codec split;
        if (opened) {
            split.opening();
            split.decode(negotiation(Codec::DO, Codec::Binary) +
                         negotiation(Codec::WILL, Codec::Binary) + negotiation(Codec::DO, 3) +
                         negotiation(Codec::WILL, 3) +
                         negotiation(Codec::DO, Codec::ComPortOption));
            split.takeAnswers();
        }
        QByteArray pieces;
        for (const char c : received)
            pieces += split.decode(QByteArrayView(&c, 1));
        QCOMPARE(pieces, data);
        QCOMPARE(split.takeAnswers(), answers);
    }

    void comPortOption_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<int>("state");
        QTest::newRow("no answer yet") << QByteArray() << int(Codec::ComPort::Waiting);
        QTest::newRow("DO") << negotiation(Codec::DO, 44) << int(Codec::ComPort::Accepted);
        QTest::newRow("DONT") << negotiation(Codec::DONT, 44) << int(Codec::ComPort::Refused);
        QTest::newRow("DO, then DONT") << negotiation(Codec::DO, 44) + negotiation(Codec::DONT, 44)
                                       << int(Codec::ComPort::Refused);
    }
    void comPortOption() {
        QFETCH(QByteArray, server);
        QFETCH(int, state);
        Codec codec;
        QCOMPARE(codec.comPort(), Codec::ComPort::NotAsked);
        QCOMPARE(codec.opening(), negotiation(Codec::WILL, 0) + negotiation(Codec::DO, 0) +
                                      negotiation(Codec::WILL, 3) + negotiation(Codec::DO, 3) +
                                      negotiation(Codec::WILL, 44));
        codec.decode(server);
        QCOMPARE(int(codec.comPort()), state);
    }

    void requests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        const auto framed = [](const QByteArray& inner) {
            return bytes({255, Codec::SB}) + inner + bytes({255, Codec::SE});
        };
        QTest::newRow("SET-BAUDRATE 19200")
            << Codec::setBaudRate(19200) << framed(sub(1, Baud19200));
        QTest::newRow("SET-BAUDRATE with 0xFF doubled")
            << Codec::setBaudRate(0x00FF00FF) << framed(sub(1, bytes({0, 255, 255, 0, 255, 255})));
        QTest::newRow("SET-DATASIZE 8") << Codec::setDataSize(8) << framed(sub(2, bytes({8})));
        QTest::newRow("SET-PARITY NONE")
            << Codec::setParity(Codec::ParityNone) << framed(sub(3, bytes({1})));
        QTest::newRow("SET-STOPSIZE 1")
            << Codec::setStopSize(Codec::StopSizeOne) << framed(sub(4, bytes({1})));
        QTest::newRow("SET-CONTROL no flow control")
            << Codec::setControl(Codec::ControlNoFlowControl) << framed(sub(5, bytes({1})));
        QTest::newRow("SET-CONTROL DTR off")
            << Codec::setControl(Codec::ControlDtrOff) << framed(sub(5, bytes({9})));
        QTest::newRow("SET-CONTROL RTS off")
            << Codec::setControl(Codec::ControlRtsOff) << framed(sub(5, bytes({12})));
        QTest::newRow("PURGE-DATA both")
            << Codec::purgeData(Codec::PurgeBothBuffers) << framed(sub(12, bytes({3})));
    }
    void requests() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        QCOMPARE(request, expected);
    }

    void encoding_data() {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << true << QByteArray("a0000\n") << QByteArray("a0000\n");
        QTest::newRow("0xFF doubled")
            << true << bytes({1, 255, 2, 255}) << bytes({1, 255, 255, 2, 255, 255});
        QTest::newRow("CR raw in binary") << true << QByteArray("\r") << QByteArray("\r");
        QTest::newRow("CR NUL without binary")
            << false << QByteArray("a\rb\r\n")
            << QByteArray("a\r", 2) + QByteArray(1, '\0') + "b\r\n";
    }
    void encoding() {
        QFETCH(bool, binary);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, encoded);
        Codec codec;
        if (binary) {
            codec.opening();
            codec.decode(negotiation(Codec::DO, Codec::Binary));
        }
        QCOMPARE(codec.encode(data), encoded);
        QCOMPARE(codec.dataCarried(data, encoded.size()), data.size());
        QCOMPARE(codec.dataCarried(data, 0), 0);
    }

    void serverReplies() {
        Codec codec;
        codec.opening();
        const QByteArray answer = bytes({255, Codec::SB, 44, 101, 0, 0, 0x4B, 0, 255, Codec::SE});
        QCOMPARE(codec.decode("1" + answer + "2"), QByteArray("12"));
        QCOMPARE(codec.replyCount(Codec::SetBaudRate), 1);
        QCOMPARE(codec.reply(Codec::SetBaudRate), Baud19200);
        codec.decode(bytes({255, Codec::SB, 44, 105, 1, 255, Codec::SE, 255, Codec::SB, 44, 105, 9,
                            255, Codec::SE}));
        QCOMPARE(codec.replyCount(Codec::SetControl), 2);
        QCOMPARE(codec.reply(Codec::SetControl), bytes({9}));
        // One longer than kept is dropped whole.
        codec.decode(bytes({255, Codec::SB, 44, 102}) + QByteArray(Codec::MaxSubnegotiation, 8) +
                     bytes({255, Codec::SE}));
        QCOMPARE(codec.replyCount(Codec::SetDataSize), 0);
        codec.forgetReplies();
        QCOMPARE(codec.replyCount(Codec::SetBaudRate), 0);
    }

    // A server that toggles options for ever gets a bounded number of answers, and its data
    // still comes through.
    void endlessNegotiationIsBounded_data() {
        QTest::addColumn<QByteArray>("round");
        QTest::newRow("WILL/WONT BINARY")
            << negotiation(Codec::WILL, 0) + negotiation(Codec::WONT, 0);
        QTest::newRow("DO/DONT SGA") << negotiation(Codec::DO, 3) + negotiation(Codec::DONT, 3);
        QTest::newRow("WILL unknown") << negotiation(Codec::WILL, 99);
        QTest::newRow("DO/DONT COM-PORT")
            << negotiation(Codec::DO, 44) + negotiation(Codec::DONT, 44);
    }
    void endlessNegotiationIsBounded() {
        QFETCH(QByteArray, round);
        Codec codec;
        codec.opening();
        qsizetype answered = 0;
        for (int i = 0; i < 10000; ++i) {
            QCOMPARE(codec.decode(round + "x"), QByteArray("x"));
            answered += codec.takeAnswers().size();
        }
        QVERIFY2(answered <= 2 * 3 * Codec::MaxAnswersPerOption, QByteArray::number(answered));
    }

    // A sub-negotiation that never ends keeps nothing beyond its cap, and what follows its end
    // is data again.
    void endlessSubnegotiation() {
        Codec codec;
        codec.opening();
        const PeakMemory memory;
        QCOMPARE(codec.decode(bytes({255, Codec::SB, 44, 101})), QByteArray());
        const QByteArray filler(64 * 1024, 'x');
        for (int i = 0; i < 64; ++i) // 4 MB
            QCOMPARE(codec.decode(filler), QByteArray());
        QCOMPARE(codec.decode(bytes({255, Codec::SE}) + "OK\n"), QByteArray("OK\n"));
        QCOMPARE(codec.replyCount(Codec::SetBaudRate), 0);
        QVERIFY2(memory.growthKb() < 4 * 1024, QByteArray::number(memory.growthKb()));
    }

    // ---- The link over TCP ----
    void openingSequence() {
        TcpPeer peer;
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QCOMPARE(link.openFault(), NetworkLink::OpenFault::None);
        QVERIFY(link.isOpen() && !link.isGone());
        QCOMPARE(link.endpoint(), QStringLiteral("127.0.0.1:%1").arg(peer.port()));
        const QByteArray opening = negotiation(Codec::WILL, 0) + negotiation(Codec::DO, 0) +
                                   negotiation(Codec::WILL, 3) + negotiation(Codec::DO, 3) +
                                   negotiation(Codec::WILL, 44);
        const QList<QByteArray> settings = {
            sub(1, Baud19200),  sub(2, bytes({8})), sub(3, bytes({1})),  sub(4, bytes({1})),
            sub(5, bytes({1})), sub(5, bytes({9})), sub(5, bytes({12})), sub(12, bytes({3}))};
        QVERIFY(
            peer.waitUntil([&] { return peer.subnegotiations().size() >= settings.size(); }, 5000));
        QByteArray expected = opening;
        for (const QByteArray& s : settings)
            expected += bytes({255, Codec::SB}) + s + bytes({255, Codec::SE});
        QCOMPARE(peer.receivedRaw(), expected);
        QCOMPARE(peer.subnegotiations(), settings);
        QVERIFY(link.close());
        QVERIFY(!link.isOpen());
        QVERIFY(!link.close());
    }

    void openOutcomes_data() {
        QTest::addColumn<bool>("telnet");
        QTest::addColumn<bool>("takesComPort");
        QTest::addColumn<bool>("acksSettings");
        QTest::addColumn<bool>("acksControlLines");
        QTest::addColumn<NetworkLink::OpenResult>("result");
        QTest::addColumn<NetworkLink::OpenFault>("fault");
        QTest::addColumn<bool>("waitsItsBudget");
        QTest::addColumn<QString>("why");
        using R = NetworkLink::OpenResult;
        using F = NetworkLink::OpenFault;
        QTest::newRow("everything acknowledged")
            << true << true << true << true << R::Ok << F::None << false << QString();
        QTest::newRow("DTR and RTS never acknowledged")
            << true << true << true << false << R::Ok << F::None << false << QString();
        QTest::newRow("no acknowledgements")
            << true << true << false << false << R::WriteSettingsFailed << F::None << true
            << "did not acknowledge SET-BAUDRATE, SET-DATASIZE";
        QTest::newRow("COM-PORT-OPTION refused") << true << false << true << true << R::OpenFailed
                                                 << F::NoRfc2217 << false << "refuses RFC 2217";
        QTest::newRow("no Telnet at all") << false << true << true << true << R::OpenFailed
                                          << F::NoRfc2217 << true << "did not take up RFC 2217";
    }
    void openOutcomes() {
        QFETCH(bool, telnet);
        QFETCH(bool, takesComPort);
        QFETCH(bool, acksSettings);
        QFETCH(bool, acksControlLines);
        QFETCH(NetworkLink::OpenResult, result);
        QFETCH(NetworkLink::OpenFault, fault);
        QFETCH(bool, waitsItsBudget);
        QFETCH(QString, why);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.takesComPort = takesComPort;
        script.acksSettings = acksSettings;
        script.acksControlLines = acksControlLines;
        TcpPeer peer(script);
        NetworkLink link;
        QElapsedTimer clock;
        clock.start();
        const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(peer.port());
        QCOMPARE(link.open(url), result);
        const qint64 took = clock.elapsed();
        QCOMPARE(link.openFault(), fault);
        QVERIFY2(link.errorString().contains(why), qPrintable(link.errorString()));
        if (result != NetworkLink::OpenResult::Ok)
            QVERIFY(link.errorString().contains(link.endpoint()));
        QCOMPARE(link.isOpen(), result != NetworkLink::OpenResult::OpenFailed);
        if (waitsItsBudget)
            QVERIFY2(took >= NetworkLink::NegotiationBudgetMs - 5, QByteArray::number(took));
        QVERIFY2(took < NetworkLink::NegotiationBudgetMs + 1000, QByteArray::number(took));
    }

    // What goes both ways, on both kinds of port.
    void transfers_data() {
        QTest::addColumn<bool>("telnet");
        QTest::addColumn<QByteArray>("answer"); // what the server sends for a line, raw
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("read");
        const QByteArray iac = bytes({255, 255});
        QTest::newRow("rfc2217: plain")
            << true << QByteArray("111F00\n") << 7 << QByteArray("111F00\n");
        QTest::newRow("socket: plain")
            << false << QByteArray("111F00\n") << 7 << QByteArray("111F00\n");
        QTest::newRow("rfc2217: IAC IAC is 0xFF") << true << iac + "A\n"
                                                  << 3 << bytes({255, 'A', '\n'});
        QTest::newRow("socket: 0xFF raw")
            << false << bytes({255, 255, '\n'}) << 3 << bytes({255, 255, '\n'});
        QTest::newRow("rfc2217: negotiation in the reply")
            << true
            << QByteArray("11") + negotiation(Codec::WILL, 1) + "1F" +
                   bytes({255, Codec::SB, 24, 1, 255, Codec::SE, 255, Codec::NOP}) + "00\n"
            << 7 << QByteArray("111F00\n");
        QTest::newRow("rfc2217: ends at LF")
            << true << QByteArray("OK\nMORE") << 64 << QByteArray("OK\n");
        QTest::newRow("socket: ends at LF")
            << false << QByteArray("OK\nMORE") << 64 << QByteArray("OK\n");
        QTest::newRow("socket: ends at the count")
            << false << QByteArray("2000") << 4 << QByteArray("2000");
    }
    void transfers() {
        QFETCH(bool, telnet);
        QFETCH(QByteArray, answer);
        QFETCH(int, count);
        QFETCH(QByteArray, read);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.onLine = [answer](TcpPeer&, const QByteArray&) { return answer; };
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        const QByteArray command = bytes({'a', 255, '\n'});
        QCOMPARE(link.write(command), command.size());
        // The peer answers as soon as it has the line: the read's time is the link's own.
        QVERIFY(peer.waitUntil([&] { return peer.receivedData() == command; }, 5000));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.read(count), read);
        if (read.endsWith('\n') && read.size() < count) // it ended at the LF, not at its budget
            QVERIFY2(clock.elapsed() < SerialDevice::transferBudgetMs(count),
                     QByteArray::number(clock.elapsed()));
        // 0xFF went out doubled (an answer to negotiation may come after it), and the unknown
        // option was refused.
        if (telnet) {
            QVERIFY(peer.receivedRaw().contains(bytes({'a', 255, 255, '\n'})));
            if (answer.contains(negotiation(Codec::WILL, 1)))
                QVERIFY(peer.waitUntil(
                    [&] { return peer.negotiations().contains(negotiation(Codec::DONT, 1)); },
                    5000));
        }
    }

    // An answer in two segments with a pause between them is read whole.
    void answerInTwoParts_data() {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("rfc2217") << true;
        QTest::newRow("socket") << false;
    }
    void answerInTwoParts() {
        QFETCH(bool, telnet);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.onLine = [](TcpPeer& peer, const QByteArray&) {
            peer.send("111");
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the segments' pause
            return QByteArray("F00\n");
        };
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QCOMPARE(link.write("a0000\n"), 6);
        QCOMPARE(link.read(7), QByteArray("111F00\n"));
    }

    void readWaitingGivesWhatArrived() {
        TcpPeer::Script script;
        script.onLine = [](TcpPeer&, const QByteArray&) { return QByteArray("*\n*"); };
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QCOMPARE(link.write("*\n"), 2);
        QByteArray got;
        QTRY_COMPARE((got += link.readWaiting()), QByteArray("*\n*"));
    }

    void nothingListening() {
        const quint16 port = TcpPeer::unusedPort();
        NetworkLink link;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port)),
                 NetworkLink::OpenResult::OpenFailed);
        QVERIFY2(clock.elapsed() < NetworkLink::ConnectBudgetMs,
                 QByteArray::number(clock.elapsed()));
        QCOMPARE(link.openFault(), NetworkLink::OpenFault::Refused);
        QVERIFY(!link.isOpen());
        QCOMPARE(link.errorString(), QStringLiteral("127.0.0.1:%1: Connection refused").arg(port));
        QCOMPARE(link.read(5), QByteArray());
        QCOMPARE(link.write("x"), 0);
    }

    void namesThatDoNotConnect_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<NetworkLink::OpenFault>("fault");
        QTest::newRow("bad address") << "rfc2217://cradle" << NetworkLink::OpenFault::BadAddress;
        QTest::newRow("unknown host")
            << "socket://no-such-host.invalid:4000" << NetworkLink::OpenFault::UnknownHost;
    }
    void namesThatDoNotConnect() {
        QFETCH(QString, name);
        QFETCH(NetworkLink::OpenFault, fault);
        NetworkLink link;
        QCOMPARE(link.open(name), NetworkLink::OpenResult::OpenFailed);
        QCOMPARE(link.openFault(), fault);
        QVERIFY(!link.errorString().isEmpty());
        QVERIFY(!link.isOpen());
    }

    // The link ends after a last command as a server can pass it on: the end comes no sooner
    // than PassOnMs after the write, and in order, though the server sent more meanwhile.
    void endsInOrderAfterTheLastCommand_data() {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("rfc2217") << true;
        QTest::newRow("socket") << false;
    }
    void endsInOrderAfterTheLastCommand() {
        QFETCH(bool, telnet);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.onLine = [](TcpPeer&, const QByteArray&) { return QByteArray("unread\n"); };
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        const auto written = std::chrono::steady_clock::now();
        QCOMPARE(link.write("g\n"), 2);
        QVERIFY(link.close());
        QVERIFY(
            peer.waitUntil([&] { return peer.clientEnd() != TcpPeer::ClientEnd::NotYet; }, 5000));
        QCOMPARE(peer.clientEnd(), TcpPeer::ClientEnd::InOrder);
        QVERIFY(peer.receivedData().endsWith("g\n"));
        QVERIFY(peer.clientEndedAt() - written >= std::chrono::milliseconds(NetworkLink::PassOnMs));
    }

    // A server that turns the connection away says why and closes: its port held by another
    // client (a busy port), or its port that would not open.
    void serverTurnsTheConnectionAway_data() {
        QTest::addColumn<bool>("telnet");
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<NetworkLink::OpenFault>("fault");
        const QByteArray inUse = "Port already in use\r\n";
        const QByteArray openFailure = "Device open failure: Value or file not found\r\n";
        QTest::newRow("rfc2217, in use") << true << inUse << NetworkLink::OpenFault::Busy;
        QTest::newRow("socket, in use") << false << inUse << NetworkLink::OpenFault::Busy;
        QTest::newRow("socket, device open failure")
            << false << openFailure << NetworkLink::OpenFault::Other;
    }
    void serverTurnsTheConnectionAway() {
        QFETCH(bool, telnet);
        QFETCH(QByteArray, greeting);
        QFETCH(NetworkLink::OpenFault, fault);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.greeting = greeting;
        script.closeAfterGreeting = true;
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::OpenFailed);
        QCOMPARE(link.openFault(), fault);
        QVERIFY2(link.errorString().contains(greeting.trimmed()), qPrintable(link.errorString()));
        QVERIFY(!link.isOpen());
    }

    // keepWaiting is asked while open() waits, and its false abandons the open.
    void openCanBeAbandoned() {
        TcpPeer::Script script;
        script.acksSettings = false;
        TcpPeer peer(script);
        NetworkLink link;
        int asked = 0;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(peer.url(), [&] { return ++asked < 5; }),
                 NetworkLink::OpenResult::OpenFailed);
        QCOMPARE(link.openFault(), NetworkLink::OpenFault::Cancelled);
        QCOMPARE(asked, 5);
        QVERIFY2(clock.elapsed() < NetworkLink::NegotiationBudgetMs,
                 QByteArray::number(clock.elapsed()));
        QVERIFY(!link.isOpen());
        // Asked all along a whole negotiation's wait, at least every PumpMs or so.
        asked = 0;
        clock.restart();
        QCOMPARE(link.open(peer.url(), [&] { return ++asked > 0; }),
                 NetworkLink::OpenResult::WriteSettingsFailed);
        QVERIFY2(asked >= clock.elapsed() / (4 * NetworkLink::PumpMs), QByteArray::number(asked));
    }

    // The server closes the connection in the middle of an answer: the link is gone, its reads
    // take their time and give nothing new, its writes transfer nothing.
    void serverClosesMidTransfer_data() {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("rfc2217") << true;
        QTest::newRow("socket") << false;
    }
    void serverClosesMidTransfer() {
        QFETCH(bool, telnet);
        TcpPeer::Script script;
        script.telnet = telnet;
        script.onLine = [](TcpPeer& peer, const QByteArray&) {
            peer.send("11");
            peer.closeConnection();
            return QByteArray();
        };
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QCOMPARE(link.write("a0000\n"), 6);
        const qint64 budget = SerialDevice::transferBudgetMs(7);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.read(7), QByteArray("11"));
        QVERIFY2(clock.elapsed() >= budget - 2, QByteArray::number(clock.elapsed()));
        QVERIFY(link.isGone());
        QVERIFY(link.isOpen());
        QVERIFY2(link.errorString().contains("closed the connection"),
                 qPrintable(link.errorString()));
        for (int i = 0; i < 3; ++i) {
            clock.restart();
            QCOMPARE(link.read(7), QByteArray());
            QVERIFY2(clock.elapsed() >= budget - 2, QByteArray::number(clock.elapsed()));
        }
        QCOMPARE(link.write("a0000\n"), 0);
        QCOMPARE(link.readWaiting(), QByteArray());
        QVERIFY(!link.purge());
        QVERIFY(link.close());
        QVERIFY(!link.isGone());
    }

    // A server that never settles its options: the open ends, and what the link sends stays
    // bounded.
    void hostileNegotiation() {
        TcpPeer::Script script;
        script.togglesOptions = true;
        script.greeting = negotiation(Codec::WILL, 0) + negotiation(Codec::DO, 3) +
                          negotiation(Codec::WILL, 99) + negotiation(Codec::DO, 98);
        TcpPeer peer(script);
        NetworkLink link;
        QElapsedTimer clock;
        clock.start();
        link.open(peer.url());
        QVERIFY2(clock.elapsed() < NetworkLink::NegotiationBudgetMs + 1000,
                 QByteArray::number(clock.elapsed()));
        QVERIFY2(peer.receivedRaw().size() < 4096, QByteArray::number(peer.receivedRaw().size()));
    }

    // Megabytes of garbage and a sub-negotiation that never ends: every read ends, the memory
    // stays bounded, and a line after them comes through.
    void hostileData_data() {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("rfc2217") << true;
        QTest::newRow("socket") << false;
    }
    void hostileData() {
        QFETCH(bool, telnet);
        TcpPeer::Script script;
        script.telnet = telnet;
        TcpPeer peer(script);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QByteArray garbage(4 * 1024 * 1024, '\0');
        QRandomGenerator random(2217);
        random.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
        const QByteArray endless = bytes({255, Codec::SB, 44, 101}) + QByteArray(1024 * 1024, 'x');
        const QByteArray end = bytes({255, Codec::SE, 255, Codec::SE}) + "\nEND\n";
        const PeakMemory memory;
        peer.send(garbage + endless + end);
        QByteArray tail;
        int reads = 0;
        while (!tail.endsWith("\nEND\n")) {
            const QByteArray got = link.read(4096);
            QVERIFY2(!got.isEmpty(), "a read ran out of time before the end came");
            tail = (tail + got).right(8);
            ++reads;
        }
        QVERIFY(reads > 1);
        QVERIFY(!link.isGone());
        QVERIFY2(memory.growthKb() < 48 * 1024, QByteArray::number(memory.growthKb()));
    }

    // A real RFC 2217 server, ser2net, on a pseudo-terminal configured at 9600 baud: the link
    // sets the line to 19200 8N1 through it, and data passes both ways, 0xFF included.
    void throughSer2net() {
        if (const QString why = PortServer::missing(PortServer::Kind::Ser2netRfc2217);
            !why.isEmpty())
            QSKIP(qPrintable(why));
        PtyPair pty;
        const PortServer server(PortServer::Kind::Ser2netRfc2217, pty.slavePath());
        QVERIFY2(server.listening(), qPrintable(server.failure()));
        const QString url = server.url();
        NetworkLink link;
        QCOMPARE(link.open(url), NetworkLink::OpenResult::Ok);

        termios line{};
        QCOMPARE(::tcgetattr(pty.slaveFd(), &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
        QCOMPARE(::cfgetispeed(&line), speed_t(B19200));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));

        const QByteArray command = bytes({'a', 0xff, '0', '\n'});
        QCOMPARE(link.write(command), command.size());
        QByteArray arrived;
        QTRY_COMPARE((arrived += pty.readFromMaster(0)), command);
        const QByteArray answer = bytes({'1', 0xff, '1', 'F', '0', '0', '\n'});
        QVERIFY(pty.writeToMaster(answer));
        QCOMPARE(link.read(int(answer.size())), answer);

        // While this client holds the port, ser2net turns another away.
        NetworkLink second;
        QCOMPARE(second.open(url), NetworkLink::OpenResult::OpenFailed);
        QVERIFY2(second.openFault() == NetworkLink::OpenFault::Busy,
                 qPrintable(second.errorString()));

        QVERIFY(link.close());
    }
};

QTEST_GUILESS_MAIN(NetworkLinkTest)
#include "test_network_link.moc"
