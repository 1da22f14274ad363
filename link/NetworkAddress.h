#pragma once

#include <QString>
#include <QtGlobal>

// A port named as a network URL instead of a serial device:
//   rfc2217://HOST:PORT  a Telnet server with the Com Port Control option (RFC 2217), through
//                        which the tool sets the remote serial line itself;
//   socket://HOST:PORT   a raw TCP connection to a server whose serial line is already set up.
// HOST is a name, an IPv4 address, or an IPv6 address in brackets ([2001:db8::7]). The scheme
// is case-insensitive; nothing may follow the port (no path, query or fragment) and nothing may
// come before the host (no user part).
struct NetworkAddress {
    enum class Scheme { Rfc2217, Socket };

    Scheme scheme = Scheme::Socket;
    QString host;     // as written, without the brackets of an IPv6 address
    quint16 port = 0; // 1..65535

    // "HOST:PORT" for messages, an IPv6 address in brackets.
    QString endpoint() const;
};

// What a port name says as a network URL: the address, or why it is not one.
struct ParsedNetworkAddress {
    NetworkAddress address;
    QString error; // empty when the name is a good address

    bool ok() const { return error.isEmpty(); }
};

// True for a name written as a URL (SCHEME://...): such a name is meant as a network port, good
// or not (an unknown scheme is one of the things parseNetworkAddress() refuses), and never as a
// serial device.
bool isNetworkPortName(const QString& name);

// Reads a port name as a network URL; the error says what is wrong with it, in words for the
// user ("the port is missing", "an IPv6 address must be written in brackets", ...).
ParsedNetworkAddress parseNetworkAddress(const QString& name);
