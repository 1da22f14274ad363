#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real server that offers a serial device (a pseudo-terminal) on 127.0.0.1, for the tests of
// the network port against servers other than our own scripted ones:
//
//   Ser2netRfc2217  ser2net with a telnet(rfc2217) accepter; its line at 9600n81 until the
//                   client sets it,
//   Ser2netRaw      ser2net with a raw tcp accepter; its line at 19200n81,
//   Pyserial        tests/rfc2217_server.py, on pyserial's RFC 2217 server side, its line at
//                   9600n81 until the client sets it,
//
// ser2net runs as `ser2net -n -c FILE -P PIDFILE` on a YAML file of its own, with `chardelay:
// false` unless its own default, which gathers what it reads, is asked for. Each listens on a port
// that was free; the constructor returns once it listens there (seen in the system's table of
// sockets, without connecting), or once it has failed to. The destructor stops it and waits for its
// end, so that nothing is left running.
class PortServer {
public:
    enum class Kind { Ser2netRfc2217, Ser2netRaw, Pyserial };

    // Why a server of this kind cannot run here (its program is not installed), or empty.
    static QString missing(Kind kind);

    // Whether ser2net gathers what it reads from the device before sending it on.
    enum class Gathering { Off, Default };

    PortServer(Kind kind, const QString& device, Gathering gathering = Gathering::Off);
    ~PortServer();
    PortServer(const PortServer&) = delete;
    PortServer& operator=(const PortServer&) = delete;

    bool listening() const { return listening_; }
    // Why it does not listen, with what it said.
    QString failure() const { return failure_; }
    quint16 port() const { return port_; }
    QString endpoint() const; // "127.0.0.1:PORT"
    QString url() const;      // rfc2217://127.0.0.1:PORT, or socket:// for Ser2netRaw
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Kills it at once (SIGKILL), as a server that stops in the middle of a session, and waits
    // for its end.
    void kill();

private:
    bool listensNow() const;

    Kind kind_;
    quint16 port_ = 0;
    bool listening_ = false;
    QString failure_;
    QTemporaryDir folder_;
    QProcess process_;
};
