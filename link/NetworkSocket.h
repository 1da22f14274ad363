#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// The little of a TCP connection that each system does its own way: resolving a host, a
// non-blocking socket that connects, sends and receives, waiting on it with a bound, and the
// system's words for its errors. NetworkSocketPosix.cpp uses POSIX sockets and poll();
// NetworkSocketWindows.cpp uses Winsock 2 and WSAPoll(). NetworkLink builds the rest on it.
class NetworkSocket {
public:
    // One address that a host name stands for, as the system's resolver gave it.
    struct Address {
        int family = 0;
        int type = 0;
        int protocol = 0;
        QByteArray raw; // the system's socket address
    };
    // What resolving a host gave: addresses, or the resolver's error and its words.
    struct Resolution {
        std::vector<Address> addresses;
        int error = 0;
        QString errorText;
    };
    // What a system error code means for opening a connection, in terms every system has.
    enum class Failure { Refused, TimedOut, Other };
    // How a wait ended.
    enum class Wait { Ready, TimedOut, Failed };
    // What receiving found: bytes (a count above 0) or one of these.
    static constexpr qint64 NothingYet = -1; // nothing there now
    static constexpr qint64 Closed = 0;      // the server closed the connection
    static constexpr qint64 Broken = -2;     // reset, or another error (lastError())

    NetworkSocket() = default;
    ~NetworkSocket() { close(); }
    NetworkSocket(const NetworkSocket&) = delete;
    NetworkSocket& operator=(const NetworkSocket&) = delete;

    // The addresses of host for TCP to port, IPv4 and IPv6. Blocks as the resolver does.
    static Resolution resolve(const QString& host, quint16 port);

    bool isOpen() const { return handle_ != Invalid; }
    // Makes a non-blocking socket and starts connecting it; false on an error.
    bool startConnect(const Address& address);
    // Waits at most ms for the connection begun to be made: Ready when it is, Failed with
    // lastError() when it was refused or failed.
    Wait finishConnect(int ms);
    bool setNoDelay(); // TCP_NODELAY: every write goes out at once
    // Waits at most ms for something to receive (or the connection's end), or for room to send.
    Wait waitReadable(int ms);
    Wait waitWritable(int ms);
    // Sends what the system takes now: the count taken, 0 when none fits, -1 on an error.
    qint64 sendSome(const char* bytes, qint64 count);
    // Receives what is there now, at most count bytes: a count, NothingYet, Closed or Broken.
    qint64 receiveSome(char* bytes, qint64 count);
    // Ends the connection in order: the end is sent after what was sent, and the server's end
    // awaited (for at most EndWaitMs), what it still sends read and dropped. Closed at once, a
    // socket that receives more resets the connection, and the server's system then drops what
    // the server has not read yet, such as the last command.
    void close();

    int lastError() const { return error_; }
    static Failure failureOf(int error);
    static QString errorText(int error); // the system's words for an error code

private:
    static constexpr qintptr Invalid = -1; // also Winsock's INVALID_SOCKET
    Wait wait(short events, int ms);
    static constexpr int EndWaitMs = 1000;
    void awaitTheServersEnd();
    bool shutdownSending();
    void release();
    qintptr handle_ = Invalid;
    int error_ = 0;
};
