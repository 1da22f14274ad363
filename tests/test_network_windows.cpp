// The network port through Winsock: a socket:// link to a peer of its own on 127.0.0.1 (data
// both ways, an answer that ends at an LF, a server that closes), a port where nothing listens,
// and a host that the resolver does not know.
// winsock2.h first: it brings windows.h in after itself, never the older winsock.h.
#include <winsock2.h>

#include "link/NetworkLink.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>
#include <utility>

namespace {

// A raw TCP server on 127.0.0.1 for one client: it answers the first line (up to an LF) with
// answer, then closes the connection when closeAfterAnswer, or else once the client does.
class LoopbackPeer {
public:
    LoopbackPeer(QByteArray answer, bool closeAfterAnswer)
        : answer_(std::move(answer)), closeAfterAnswer_(closeAfterAnswer) {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_ = started_ ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
        if (listener_ == INVALID_SOCKET)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0; // the system picks
        int size = sizeof address;
        if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackPeer() {
        if (listener_ != INVALID_SOCKET)
            ::closesocket(listener_); // ends a wait in accept()
        if (thread_.joinable())
            thread_.join();
        if (started_)
            ::WSACleanup();
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    quint16 port() const { return port_; } // 0 when the peer could not listen
    QString url() const { return QStringLiteral("socket://127.0.0.1:%1").arg(port_); }
    QByteArray received() const { return received_.load() ? line_ : QByteArray(); }

    // A port on 127.0.0.1 on which nothing listens: one the system gave and took back.
    static quint16 unusedPort() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return 0;
        quint16 port = 0;
        const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (s != INVALID_SOCKET &&
            ::bind(s, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        ::WSACleanup();
        return port;
    }

private:
    void serve() {
        const SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        char byte = 0;
        while (!line_.endsWith('\n') && ::recv(client, &byte, 1, 0) == 1)
            line_.append(byte);
        received_ = true;
        if (line_.endsWith('\n'))
            ::send(client, answer_.constData(), int(answer_.size()), 0);
        if (!closeAfterAnswer_) // until the client closes
            while (::recv(client, &byte, 1, 0) == 1) {
            }
        ::closesocket(client);
    }

    QByteArray answer_;
    bool closeAfterAnswer_;
    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    quint16 port_ = 0;
    std::thread thread_;
    QByteArray line_;
    std::atomic<bool> received_{false};
};

} // namespace

Q_DECLARE_METATYPE(NetworkLink::OpenFault)

class NetworkWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void transfers() {
        LoopbackPeer peer("111F00\nMORE", false);
        QVERIFY(peer.port() != 0);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QVERIFY(link.isOpen());
        const QByteArray command("a\xff\n");
        QCOMPARE(link.write(command), command.size());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.read(64), QByteArray("111F00\n")); // ends at the LF
        QVERIFY2(clock.elapsed() < SerialDevice::transferBudgetMs(64),
                 QByteArray::number(clock.elapsed()));
        QCOMPARE(peer.received(), command); // 0xFF raw on socket://
        QByteArray rest;                    // what followed the LF waits for the next read
        QTRY_COMPARE((rest += link.readWaiting()), QByteArray("MORE"));
        QVERIFY(!link.isGone());
        QVERIFY(link.close());
        QVERIFY(!link.isOpen());
    }

    // The server closes after its answer: the link is gone, and stays "open" until close().
    void serverCloses() {
        LoopbackPeer peer("OK", true);
        QVERIFY(peer.port() != 0);
        NetworkLink link;
        QCOMPARE(link.open(peer.url()), NetworkLink::OpenResult::Ok);
        QCOMPARE(link.write("x\n"), 2);
        QCOMPARE(link.read(5), QByteArray("OK"));
        QVERIFY(link.isGone());
        QVERIFY(link.isOpen());
        QVERIFY2(link.errorString().contains("closed the connection"),
                 qPrintable(link.errorString()));
        QCOMPARE(link.write("x\n"), 0);
        QVERIFY(link.close());
    }

    void nothingListening() {
        const quint16 port = LoopbackPeer::unusedPort();
        QVERIFY(port != 0);
        NetworkLink link;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(QStringLiteral("socket://127.0.0.1:%1").arg(port)),
                 NetworkLink::OpenResult::OpenFailed);
        QVERIFY2(clock.elapsed() < NetworkLink::ConnectBudgetMs,
                 QByteArray::number(clock.elapsed()));
        QCOMPARE(link.openFault(), NetworkLink::OpenFault::Refused);
        QVERIFY(!link.isOpen());
        // The system's words, after the endpoint.
        const QString prefix = QStringLiteral("127.0.0.1:%1: ").arg(port);
        QVERIFY2(link.errorString().startsWith(prefix), qPrintable(link.errorString()));
        QVERIFY2(link.errorString().size() > prefix.size(), qPrintable(link.errorString()));
        QCOMPARE(link.read(5), QByteArray());
        QCOMPARE(link.write("x"), 0);
    }

    void unknownHost() {
        NetworkLink link;
        QCOMPARE(link.open("socket://no-such-host.invalid:4000"),
                 NetworkLink::OpenResult::OpenFailed);
        QCOMPARE(link.openFault(), NetworkLink::OpenFault::UnknownHost);
        QVERIFY(!link.errorString().isEmpty());
        QVERIFY(!link.isOpen());
    }
};

QTEST_APPLESS_MAIN(NetworkWindowsTest)
#include "test_network_windows.moc"
