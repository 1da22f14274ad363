#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A scripted TCP server on 127.0.0.1 for the network port's tests: a thread with a listening
// socket on a port the system picks, serving one client at a time.
//
// As an RFC 2217 server (Script::telnet) it takes up BINARY, SUPPRESS-GO-AHEAD and
// COM-PORT-OPTION (or refuses the last), answers every Com Port Control request with the
// server's code and the value asked for (or leaves some unanswered), and records the client's
// negotiation and sub-negotiations. Without telnet it is a raw TCP server. Either way the
// client's data, with Telnet taken out, is cut into lines (at LF) and each line handed to
// Script::onLine on the peer's thread, whose return is sent back; it may also call send() and
// block for a while, to model a slow or chunked answer. The peer's sends never block: what the
// client does not take waits on the peer's thread.
class TcpPeer {
public:
    struct Script {
        bool telnet = true;           // speaks RFC 2217 as a server
        bool takesComPort = true;     // DO COM-PORT-OPTION, or DONT
        bool acksSettings = true;     // answers the Com Port Control requests
        bool acksControlLines = true; // answers SET-CONTROL for DTR and RTS too
        bool togglesOptions = false;  // answers every negotiation with its opposite, and back
        QByteArray greeting;          // sent as soon as a client connects
        bool closeAfterGreeting = false;
        std::function<QByteArray(TcpPeer& peer, const QByteArray& line)> onLine;
    };

    explicit TcpPeer(Script script);
    TcpPeer() : TcpPeer(Script{}) {}
    ~TcpPeer(); // stops the thread
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    quint16 port() const { return port_; }
    // rfc2217://127.0.0.1:PORT for a Telnet peer, socket://127.0.0.1:PORT otherwise.
    QString url() const;
    // A port on 127.0.0.1 on which nothing listens.
    static quint16 unusedPort();
    // Whether a socket of any process listens on 127.0.0.1:port now.
    static bool listensOnLoopback(quint16 port);

    // Sends bytes to the client as they are, from any thread.
    void send(QByteArrayView bytes);
    // Closes the connection to the client once what was sent has gone out.
    void closeConnection();

    QByteArray receivedRaw() const;  // every byte the client sent
    QByteArray receivedData() const; // its data, without Telnet
    // The client's negotiation, three bytes each (IAC verb option), and its sub-negotiations,
    // each from the option byte to before IAC SE, 0xFF undoubled.
    QList<QByteArray> negotiations() const;
    QList<QByteArray> subnegotiations() const;
    int connections() const; // clients accepted so far
    // How the latest client's connection ended: not yet, in order (its FIN), or reset; and when
    // the peer saw that end.
    enum class ClientEnd { NotYet, InOrder, Reset };
    ClientEnd clientEnd() const;
    std::chrono::steady_clock::time_point clientEndedAt() const;

    // Blocks the calling thread until the condition on the peer holds or timeoutMs passes.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs) const;

private:
    enum class Parse { Data, Command, Option, Sub, SubCommand };

    void run();
    void accept();
    // Takes what the client sent (under the lock); gives the lines completed.
    QList<QByteArray> take(const char* bytes, qsizetype count);
    void answer(quint8 verb, quint8 option); // under the lock
    void answerSub();                        // under the lock
    void queue(QByteArrayView bytes);        // under the lock
    void flush();                            // under the lock
    void dropClient();                       // under the lock
    void wake();

    Script script_;
    int listener_ = -1;
    quint16 port_ = 0;
    int wakePipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int client_ = -1;
    bool closing_ = false;
    bool stopping_ = false;
    int connections_ = 0;
    ClientEnd clientEnd_ = ClientEnd::NotYet;
    std::chrono::steady_clock::time_point clientEndedAt_;
    quint64 changes_ = 0; // counts the peer's changes, for waitUntil()
    QByteArray outbox_;
    QByteArray raw_;
    QByteArray data_;
    QByteArray line_;
    QList<QByteArray> negotiations_;
    QList<QByteArray> subnegotiations_;
    Parse parse_ = Parse::Data;
    quint8 verb_ = 0;
    QByteArray sub_;
    std::thread thread_;
};
