#pragma once

#include "link/SerialDevice.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

// A port reached over TCP instead of a serial device, named rfc2217://HOST:PORT or
// socket://HOST:PORT (link/NetworkAddress.h). It offers what SerialDevice offers, under the same
// names, so that the protocol can run over either.
//
// rfc2217:// speaks Telnet with RFC 2217's Com Port Control option to the server and sets the
// server's serial line itself: 19200 baud, 8 data bits, no parity, one stop bit, no flow control,
// DTR and RTS off. socket:// is a raw connection to a server whose line is already set up.
//
// open() resolves the host (IPv4 and IPv6), connects within ConnectBudgetMs in all, sets
// TCP_NODELAY, and on rfc2217:// negotiates BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION, sends
// the line settings and waits at most NegotiationBudgetMs for the server's acknowledgements of
// baud rate, data size, parity, stop size and flow control (not of DTR and RTS, which some
// servers never answer), then asks the server to purge its line's buffers and waits at most
// NegotiationBudgetMs for that answer too, going on without it. On socket:// it watches the
// connection for SettleMs: a server whose serial port another client holds accepts, says so ("Port
// already in use") and closes, and that is a busy port on both kinds. Whoever opens may keep a user
// interface live: keepWaiting is called about every PumpMs while open() waits, and its false
// abandons the open.
//
// Reads follow the network read rule: a read of n bytes returns as soon as n bytes have arrived,
// or when the last byte delivered is an LF, or at the latest SerialDevice::transferBudgetMs(n)
// after it began; never at a pause between bytes, since one answer may come in several segments.
// Telnet commands among the data are answered, never delivered. A write of n bytes goes out in
// one send, its 0xFF bytes doubled on rfc2217://, within SerialDevice::transferBudgetMs(n).
//
// A connection that the server closed or reset is let go of at once but stays "open" until
// close(): its reads still take their whole time and deliver nothing new, its writes transfer
// nothing, so no waiting loop ever spins. On a closed link reads deliver nothing and writes
// transfer nothing, at once. Neither Qt's event loop nor its timers are used.
class NetworkLink final : public PortDevice {
public:
    // The same steps as a serial device's: OpenFailed (with openFault()) when no usable
    // connection came about; WriteSettingsFailed when the server did not acknowledge the line
    // settings in time or set others (the link is then open until close()); PurgeFailed.
    using OpenResult = SerialDevice::OpenResult;

    // Why no connection came about (OpenResult::OpenFailed).
    enum class OpenFault {
        None,
        BadAddress,  // the name is no network address (errorString() says what is wrong)
        UnknownHost, // the resolver does not know the host
        Refused,     // nothing listens on the port (or the server turned the connection away)
        TimedOut,    // no connection within ConnectBudgetMs
        NoRfc2217,   // the server does not take up Com Port Control
        Busy,        // the server's port is held by another client
        Cancelled,   // keepWaiting said to stop
        Other
    };

    // Called while open() waits; false abandons the open.
    using KeepWaiting = std::function<bool()>;

    static constexpr int ConnectBudgetMs = 3000;     // resolving and connecting, in all
    static constexpr int NegotiationBudgetMs = 1000; // for the server's acknowledgements
    static constexpr int SettleMs = 100;             // a socket:// server's time to turn us away
    static constexpr int PumpMs = 20;                // keepWaiting is called at least this often
    // How long the connection stays after the last write before it ends: a server that sees the
    // end as it reads the last command may drop that command instead of passing it on (ser2net
    // does, now and then, with the "g" that starts the program).
    static constexpr int PassOnMs = 50;

    NetworkLink();
    ~NetworkLink() override;
    NetworkLink(const NetworkLink&) = delete;
    NetworkLink& operator=(const NetworkLink&) = delete;

    // Connects and sets up the port; a link that was open is closed first.
    OpenResult open(const QString& portName, const KeepWaiting& keepWaiting = {});
    bool isOpen() const override { return state_ != State::Closed; }
    // The server closed or reset the connection while it was open; so it stays until close().
    bool isGone() const override { return state_ == State::Gone; }
    OpenFault openFault() const { return openFault_; } // of the latest open()
    // The reason for the latest failure, with host and port ("127.0.0.1:4000: Connection
    // refused").
    QString errorString() const override;
    QString endpoint() const; // "HOST:PORT" of the latest open(), for messages
    bool close() override;    // false when there was nothing to close

    qint64 write(const QByteArray& bytes) override; // the number of data bytes transferred
    QByteArray read(int count) override;            // what arrived under the network read rule
    // Drops what has arrived and not been read. On rfc2217:// the server is asked to purge its
    // serial line's buffers only as the link opens (PURGE-DATA, its answer awaited): the
    // server's answer goes out on its own, and a server that holds back small segments while one
    // is unacknowledged (ser2net does) keeps the data after it back for as long as the client
    // delays its acknowledgement, some 40 ms, and the bootloader's answer to the synchronisation
    // byte that follows every purge would miss its read.
    bool purge() override;
    // A connection has no sticky error state to clear: there for the same interface.
    void clearErrors() override;
    // What has arrived by now, returned at once: for asking several ports in turn.
    QByteArray readWaiting() override;

    QString openFailureDetail(OpenResult result, const QString& portName) const override;
    QString lostContactDetail() const override;
    QString lateAnswersCause() const override;
    // Trades links with another: its connection, open or not, becomes this one's.
    void swap(NetworkLink& other) noexcept {
        std::swap(connection_, other.connection_);
        std::swap(openFault_, other.openFault_);
        std::swap(state_, other.state_);
    }

private:
    enum class State { Closed, Open, Gone };
    enum class Pumped { Something, Nothing, Ended };
    struct Connection; // the socket, the Telnet state and what has arrived

    OpenResult refused(OpenFault fault, const QString& why);
    OpenResult negotiate(const KeepWaiting& keepWaiting);
    // Asks the server to purge its serial line's buffers and waits at most NegotiationBudgetMs
    // for its answer, going on without it.
    OpenResult purgeServer(const KeepWaiting& keepWaiting);
    OpenResult settle(const KeepWaiting& keepWaiting);
    // The server closed the connection while it was being opened, with what it said.
    OpenResult closedWhileOpening(const QByteArray& said);
    Pumped pump();                     // receives one batch, handling Telnet, into what waits
    void wentAway(const QString& why); // lets go of a connection that ended, once
    void socketFailed();               // wentAway() for the socket's latest failure
    void givePassOnTime();             // waits out PassOnMs since the latest write
    qint64 sendAll(const QByteArray& bytes, qint64 budgetMs);
    void sendAnswers();
    bool usable() const { return state_ == State::Open; }

    std::unique_ptr<Connection> connection_;
    OpenFault openFault_ = OpenFault::None;
    State state_ = State::Closed;
};
