// The TCP socket on Windows, through Winsock 2.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600 // WSAPoll() came with Windows Vista
#endif
#include "link/NetworkSocket.h"

// winsock2.h first: it brings windows.h in after itself, never the older winsock.h.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <string>

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace {

// Winsock is started once, on first use, and left running until the program ends.
bool winsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET socketOf(qintptr handle) {
    return static_cast<SOCKET>(handle);
}

} // namespace

NetworkSocket::Resolution NetworkSocket::resolve(const QString& host, quint16 port) {
    Resolution resolution;
    if (!winsockStarted()) {
        resolution.error = WSANOTINITIALISED;
        resolution.errorText = errorText(resolution.error);
        return resolution;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    ADDRINFOW* found = nullptr;
    const std::wstring name = host.toStdWString();
    const std::wstring service = QString::number(port).toStdWString();
    const int error = ::GetAddrInfoW(name.c_str(), service.c_str(), &hints, &found);
    if (error != 0) {
        resolution.error = error;
        resolution.errorText = errorText(error);
        return resolution;
    }
    for (const ADDRINFOW* a = found; a != nullptr; a = a->ai_next)
        resolution.addresses.push_back(
            {a->ai_family, a->ai_socktype, a->ai_protocol,
             QByteArray(reinterpret_cast<const char*>(a->ai_addr), qsizetype(a->ai_addrlen))});
    ::FreeAddrInfoW(found);
    return resolution;
}

bool NetworkSocket::startConnect(const Address& address) {
    close();
    if (!winsockStarted()) {
        error_ = WSANOTINITIALISED;
        return false;
    }
    const SOCKET s = ::WSASocketW(address.family, address.type, address.protocol, nullptr, 0,
                                  WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        error_ = ::WSAGetLastError();
        return false;
    }
    handle_ = static_cast<qintptr>(s);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        error_ = ::WSAGetLastError();
        close();
        return false;
    }
    const auto* target = reinterpret_cast<const sockaddr*>(address.raw.constData());
    if (::connect(s, target, int(address.raw.size())) == 0)
        return true;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS)
        return true;
    error_ = error;
    close();
    return false;
}

NetworkSocket::Wait NetworkSocket::finishConnect(int ms) {
    // select(), not WSAPoll(): WSAPoll() of older Windows never reports a refused connection.
    // A connection made is writable; one that failed is in the exception set.
    if (!isOpen())
        return Wait::Failed;
    const SOCKET s = socketOf(handle_);
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const int wait = ms < 0 ? 0 : ms;
    timeval limit{wait / 1000, (wait % 1000) * 1000};
    const int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) {
        error_ = ::WSAGetLastError();
        return Wait::Failed;
    }
    if (ready == 0)
        return Wait::TimedOut;
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        error = ::WSAGetLastError();
    if (error == 0 && !FD_ISSET(s, &failed))
        return Wait::Ready;
    error_ = error != 0 ? error : WSAECONNREFUSED;
    return Wait::Failed;
}

bool NetworkSocket::setNoDelay() {
    const BOOL on = TRUE;
    if (::setsockopt(socketOf(handle_), IPPROTO_TCP, TCP_NODELAY,
                     reinterpret_cast<const char*>(&on), sizeof on) == 0)
        return true;
    error_ = ::WSAGetLastError();
    return false;
}

NetworkSocket::Wait NetworkSocket::wait(short events, int ms) {
    if (!isOpen())
        return Wait::Failed;
    WSAPOLLFD watch{};
    watch.fd = socketOf(handle_);
    watch.events = events;
    const int ready = ::WSAPoll(&watch, 1, ms < 0 ? 0 : ms);
    if (ready == SOCKET_ERROR) {
        error_ = ::WSAGetLastError();
        return Wait::Failed;
    }
    // An error or hang-up counts as ready: the call that follows tells which.
    return ready == 0 ? Wait::TimedOut : Wait::Ready;
}

NetworkSocket::Wait NetworkSocket::waitReadable(int ms) {
    return wait(POLLRDNORM, ms);
}

NetworkSocket::Wait NetworkSocket::waitWritable(int ms) {
    return wait(POLLWRNORM, ms);
}

qint64 NetworkSocket::sendSome(const char* bytes, qint64 count) {
    if (!isOpen())
        return -1;
    const int chunk = count > 0x7fffffff ? 0x7fffffff : int(count);
    const int sent = ::send(socketOf(handle_), bytes, chunk, 0);
    if (sent != SOCKET_ERROR)
        return sent;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR)
        return 0;
    error_ = error;
    return -1;
}

qint64 NetworkSocket::receiveSome(char* bytes, qint64 count) {
    if (!isOpen())
        return Broken;
    const int chunk = count > 0x7fffffff ? 0x7fffffff : int(count);
    const int received = ::recv(socketOf(handle_), bytes, chunk, 0);
    if (received > 0)
        return received;
    if (received == 0)
        return Closed;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR)
        return NothingYet;
    error_ = error;
    return Broken;
}

bool NetworkSocket::shutdownSending() {
    return ::shutdown(socketOf(handle_), SD_SEND) == 0;
}

void NetworkSocket::release() {
    ::closesocket(socketOf(handle_));
    handle_ = Invalid;
}

NetworkSocket::Failure NetworkSocket::failureOf(int error) {
    switch (error) {
    case WSAECONNREFUSED:
        return Failure::Refused;
    case WSAETIMEDOUT:
        return Failure::TimedOut;
    default:
        return Failure::Other;
    }
}

QString NetworkSocket::errorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString words;
    if (length > 0 && text != nullptr)
        words = QString::fromWCharArray(text, int(length)).trimmed();
    if (text != nullptr)
        ::LocalFree(text);
    if (words.isEmpty())
        words = QStringLiteral("Winsock error %1").arg(error);
    return words;
}
