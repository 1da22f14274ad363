#include "link/NetworkAddress.h"

namespace {

const QString Rfc2217Prefix = QStringLiteral("rfc2217://");
const QString SocketPrefix = QStringLiteral("socket://");

// A host name or IPv4 address: letters, digits, '-', '_' and '.'.
bool isHostName(const QString& host) {
    for (const QChar c : host) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.';
        if (!allowed)
            return false;
    }
    return true;
}

// An IPv6 address as written between brackets: hexadecimal groups, colons, an IPv4 tail and a
// zone after '%'. The system's resolver judges it further.
bool isIpv6Text(const QString& host) {
    const qsizetype zone = host.indexOf(u'%');
    const QString address = zone < 0 ? host : host.left(zone);
    if (!address.contains(u':') || (zone >= 0 && zone + 1 == host.size()))
        return false;
    for (const QChar c : address) {
        const bool allowed = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                             (c >= u'A' && c <= u'F') || c == u':' || c == u'.';
        if (!allowed)
            return false;
    }
    return zone < 0 || isHostName(host.mid(zone + 1));
}

ParsedNetworkAddress failure(const QString& why) {
    return {NetworkAddress{}, why};
}

// The port after the host's colon: digits only, 1..65535.
QString portError(const QString& text, quint16& port) {
    if (text.isEmpty())
        return QStringLiteral("the port is missing after the host (HOST:PORT)");
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return QStringLiteral("the port \"%1\" is not a number").arg(text);
    bool ok = false;
    const uint value = text.size() <= 5 ? text.toUInt(&ok) : 0;
    if (!ok || value < 1 || value > 65535)
        return QStringLiteral("the port %1 is outside 1..65535").arg(text);
    port = quint16(value);
    return {};
}

} // namespace

QString NetworkAddress::endpoint() const {
    const QString shownHost =
        host.contains(u':') ? QStringLiteral("[") + host + QStringLiteral("]") : host;
    return shownHost + QStringLiteral(":") + QString::number(port);
}

bool isNetworkPortName(const QString& name) {
    return name.contains(QStringLiteral("://"));
}

ParsedNetworkAddress parseNetworkAddress(const QString& name) {
    NetworkAddress address;
    QString rest;
    if (name.startsWith(Rfc2217Prefix, Qt::CaseInsensitive)) {
        address.scheme = NetworkAddress::Scheme::Rfc2217;
        rest = name.mid(Rfc2217Prefix.size());
    } else if (name.startsWith(SocketPrefix, Qt::CaseInsensitive)) {
        address.scheme = NetworkAddress::Scheme::Socket;
        rest = name.mid(SocketPrefix.size());
    } else {
        const qsizetype schemeEnd = name.indexOf(QStringLiteral("://"));
        if (schemeEnd < 0)
            return failure(QStringLiteral("not a network address: it must begin with "
                                          "rfc2217:// or socket://"));
        return failure(QStringLiteral("the scheme \"%1\" is not known: use rfc2217:// or "
                                      "socket://")
                           .arg(name.left(schemeEnd)));
    }
    if (rest.contains(u'@'))
        return failure(QStringLiteral("a user part (USER@) is not allowed before the host"));
    if (rest.contains(u'/') || rest.contains(u'?') || rest.contains(u'#'))
        return failure(QStringLiteral("nothing may follow the port (no path, query or fragment)"));

    QString portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return failure(QStringLiteral("the IPv6 address lacks its closing bracket"));
        address.host = rest.mid(1, close - 1);
        if (address.host.isEmpty())
            return failure(QStringLiteral("the host is empty"));
        if (!isIpv6Text(address.host))
            return failure(
                QStringLiteral("\"%1\" in brackets is not an IPv6 address").arg(address.host));
        const QString after = rest.mid(close + 1);
        if (after.isEmpty())
            return failure(QStringLiteral("the port is missing after the host (HOST:PORT)"));
        if (!after.startsWith(u':'))
            return failure(QStringLiteral("a colon and the port must follow the IPv6 address"));
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.indexOf(u':');
        if (colon < 0) {
            if (rest.isEmpty())
                return failure(QStringLiteral("the host is empty"));
            return failure(QStringLiteral("the port is missing after the host (HOST:PORT)"));
        }
        if (rest.indexOf(u':', colon + 1) >= 0)
            return failure(QStringLiteral("an IPv6 address must be written in brackets, as in "
                                          "rfc2217://[2001:db8::7]:4000"));
        address.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (address.host.isEmpty())
            return failure(QStringLiteral("the host is empty"));
        if (!isHostName(address.host))
            return failure(QStringLiteral("the host \"%1\" has characters that no host name "
                                          "has")
                               .arg(address.host));
    }
    const QString why = portError(portText, address.port);
    if (!why.isEmpty())
        return failure(why);
    return {address, {}};
}
