// The TCP socket on Linux and other POSIX systems.
#include "link/NetworkSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

NetworkSocket::Resolution NetworkSocket::resolve(const QString& host, quint16 port) {
    Resolution resolution;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int error = ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found);
    if (error != 0) {
        resolution.error = error;
        resolution.errorText = error == EAI_SYSTEM ? qt_error_string(errno)
                                                   : QString::fromLocal8Bit(::gai_strerror(error));
        return resolution;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
        resolution.addresses.push_back(
            {a->ai_family, a->ai_socktype, a->ai_protocol,
             QByteArray(reinterpret_cast<const char*>(a->ai_addr), qsizetype(a->ai_addrlen))});
    ::freeaddrinfo(found);
    return resolution;
}

bool NetworkSocket::startConnect(const Address& address) {
    close();
    const int fd =
        ::socket(address.family, address.type | SOCK_NONBLOCK | SOCK_CLOEXEC, address.protocol);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    handle_ = fd;
    const auto* target = reinterpret_cast<const sockaddr*>(address.raw.constData());
    if (::connect(fd, target, socklen_t(address.raw.size())) == 0 || errno == EINPROGRESS)
        return true;
    error_ = errno;
    close();
    return false;
}

NetworkSocket::Wait NetworkSocket::finishConnect(int ms) {
    const Wait waited = waitWritable(ms);
    if (waited != Wait::Ready)
        return waited;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(int(handle_), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error == 0)
        return Wait::Ready;
    error_ = error;
    return Wait::Failed;
}

bool NetworkSocket::setNoDelay() {
    const int on = 1;
    if (::setsockopt(int(handle_), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
        return true;
    error_ = errno;
    return false;
}

NetworkSocket::Wait NetworkSocket::wait(short events, int ms) {
    if (!isOpen())
        return Wait::Failed;
    pollfd watch{int(handle_), events, 0};
    const int ready = ::poll(&watch, 1, ms < 0 ? 0 : ms);
    if (ready < 0) {
        if (errno == EINTR)
            return Wait::TimedOut;
        error_ = errno;
        return Wait::Failed;
    }
    // An error or hang-up counts as ready: the call that follows tells which.
    return ready == 0 ? Wait::TimedOut : Wait::Ready;
}

NetworkSocket::Wait NetworkSocket::waitReadable(int ms) {
    return wait(POLLIN, ms);
}

NetworkSocket::Wait NetworkSocket::waitWritable(int ms) {
    return wait(POLLOUT, ms);
}

qint64 NetworkSocket::sendSome(const char* bytes, qint64 count) {
    if (!isOpen())
        return -1;
    // MSG_NOSIGNAL: a connection the server closed gives EPIPE, not SIGPIPE.
    const ssize_t sent = ::send(int(handle_), bytes, size_t(count), MSG_NOSIGNAL);
    if (sent >= 0)
        return sent;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    error_ = errno;
    return -1;
}

qint64 NetworkSocket::receiveSome(char* bytes, qint64 count) {
    if (!isOpen())
        return Broken;
    const ssize_t received = ::recv(int(handle_), bytes, size_t(count), 0);
    if (received > 0)
        return received;
    if (received == 0)
        return Closed;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return NothingYet;
    error_ = errno;
    return Broken;
}

bool NetworkSocket::shutdownSending() {
    return ::shutdown(int(handle_), SHUT_WR) == 0;
}

void NetworkSocket::release() {
    ::close(int(handle_));
    handle_ = Invalid;
}

NetworkSocket::Failure NetworkSocket::failureOf(int error) {
    switch (error) {
    case ECONNREFUSED:
        return Failure::Refused;
    case ETIMEDOUT:
        return Failure::TimedOut;
    default:
        return Failure::Other;
    }
}

QString NetworkSocket::errorText(int error) {
    return qt_error_string(error);
}
