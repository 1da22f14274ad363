#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A ser2net of the bench's own, serving one serial device with RFC 2217 (Telnet) on a free port of
// 127.0.0.1: its configuration file written in a temporary folder, the process started in the
// foreground and waited for until it listens, and stopped when this object goes. The device is
// configured at 9600 baud, so that the tool has to set 19200 through the server; the accepter's
// socket has Nagle's algorithm off (tcp(nodelay)).
class Ser2net {
public:
    enum class CharDelay {
        Off,    // options: chardelay: false, what README.md recommends for a bench machine
        Default // no options: ser2net gathers what it reads from the line for a while
    };

    Ser2net(const QString& device, CharDelay charDelay);
    ~Ser2net(); // stops ser2net
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    quint16 port() const { return port_; }
    QString url() const; // rfc2217://127.0.0.1:PORT

    // Whether ser2net can be found (in /usr/sbin or /usr/bin, or on PATH).
    static bool installed();

private:
    bool listening() const;

    QTemporaryDir dir_;
    QProcess server_;
    quint16 port_ = 0;
};
