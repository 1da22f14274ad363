#include "support/TcpPeer.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint8 SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr quint8 ComPortOption = 44;

int listeningSocket(quint16& port, bool listens) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (listens && ::listen(fd, 4) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("a listening socket on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

QByteArray bytes(std::initializer_list<quint8> values) {
    QByteArray b;
    for (const quint8 v : values)
        b.append(char(v));
    return b;
}

QByteArray command(quint8 verb, quint8 option) {
    return bytes({IAC, verb, option});
}

} // namespace

TcpPeer::TcpPeer(Script script) : script_(std::move(script)) {
    listener_ = listeningSocket(port_, true);
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe2 failed");
    thread_ = std::thread([this] { run(); });
}

TcpPeer::~TcpPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    if (client_ >= 0)
        ::close(client_);
    ::close(listener_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

quint16 TcpPeer::unusedPort() {
    quint16 port = 0;
    ::close(listeningSocket(port, false)); // bound, never listening, and closed
    return port;
}

QString TcpPeer::url() const {
    return (script_.telnet ? QStringLiteral("rfc2217://127.0.0.1:")
                           : QStringLiteral("socket://127.0.0.1:")) +
           QString::number(port_);
}

void TcpPeer::wake() {
    const char byte = 0;
    while (::write(wakePipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

void TcpPeer::send(QByteArrayView bytes) {
    {
        std::lock_guard lock(mutex_);
        queue(bytes);
    }
    wake();
}

void TcpPeer::closeConnection() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        flush();
    }
    wake();
}

void TcpPeer::queue(QByteArrayView bytes) {
    outbox_.append(bytes.data(), bytes.size());
    flush();
}

void TcpPeer::flush() {
    while (client_ >= 0 && !outbox_.isEmpty()) {
        const ssize_t sent = ::send(client_, outbox_.constData(), size_t(outbox_.size()),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                outbox_.clear(); // the client is gone
            return;
        }
        outbox_.remove(0, sent);
    }
    // The end goes after the data: FIN, not a reset, while the client may still be sending.
    if (client_ >= 0 && closing_ && outbox_.isEmpty())
        ::shutdown(client_, SHUT_WR);
}

void TcpPeer::dropClient() {
    ::close(client_);
    client_ = -1;
    closing_ = false;
    outbox_.clear();
    parse_ = Parse::Data;
    line_.clear();
}

void TcpPeer::accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    const int on = 1; // every answer goes out at once, as a serial server's would
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::lock_guard lock(mutex_);
    if (client_ >= 0)
        dropClient();
    client_ = fd;
    ++connections_;
    clientEnd_ = ClientEnd::NotYet;
    if (!script_.greeting.isEmpty())
        queue(script_.greeting);
    if (script_.closeAfterGreeting) {
        closing_ = true;
        flush();
    }
    ++changes_;
    changed_.notify_all();
}

void TcpPeer::run() {
    char buffer[65536];
    for (;;) {
        pollfd watch[3] = {{wakePipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {-1, 0, 0}};
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            watch[2] = {client_, short(POLLIN | (outbox_.isEmpty() ? 0 : POLLOUT)), 0};
        }
        if (::poll(watch, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watch[0].revents != 0)
            while (::read(wakePipe_[0], buffer, sizeof buffer) > 0) {
            }
        if (watch[1].revents & POLLIN)
            accept();
        if (watch[2].fd < 0 || watch[2].revents == 0)
            continue;
        QList<QByteArray> lines;
        {
            std::lock_guard lock(mutex_);
            if (client_ != watch[2].fd)
                continue;
            flush();
            if (watch[2].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
                if (n > 0)
                    lines = take(buffer, n);
                else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    clientEnd_ = n == 0 ? ClientEnd::InOrder : ClientEnd::Reset;
                    clientEndedAt_ = std::chrono::steady_clock::now();
                    dropClient(); // the client closed its end
                }
            }
            ++changes_;
            changed_.notify_all();
        }
        if (!script_.onLine)
            continue;
        for (const QByteArray& line : lines) {
            const QByteArray reply = script_.onLine(*this, line);
            if (!reply.isEmpty())
                send(reply);
        }
    }
}

QList<QByteArray> TcpPeer::take(const char* bytes, qsizetype count) {
    raw_.append(bytes, count);
    QList<QByteArray> lines;
    const auto dataByte = [&](char c) {
        data_.append(c);
        line_.append(c);
        if (c == '\n') {
            lines.append(line_);
            line_.clear();
        }
    };
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 b = quint8(bytes[i]);
        switch (parse_) {
        case Parse::Data:
            if (script_.telnet && b == IAC)
                parse_ = Parse::Command;
            else
                dataByte(char(b));
            break;
        case Parse::Command:
            parse_ = Parse::Data;
            if (b == IAC) {
                dataByte(char(b));
            } else if (b >= WILL) {
                verb_ = b;
                parse_ = Parse::Option;
            } else if (b == SB) {
                sub_.clear();
                parse_ = Parse::Sub;
            }
            break;
        case Parse::Option:
            parse_ = Parse::Data;
            negotiations_.append(command(verb_, b));
            answer(verb_, b);
            break;
        case Parse::Sub:
            if (b == IAC)
                parse_ = Parse::SubCommand;
            else
                sub_.append(char(b));
            break;
        case Parse::SubCommand:
            if (b == IAC) {
                sub_.append(char(b));
                parse_ = Parse::Sub;
            } else {
                parse_ = Parse::Data;
                subnegotiations_.append(sub_);
                answerSub();
            }
            break;
        }
    }
    return lines;
}

void TcpPeer::answer(quint8 verb, quint8 option) {
    if (script_.togglesOptions) {
        // The opposite, then back again: a server that never settles.
        if (verb == WILL || verb == WONT)
            queue(command(verb == WILL ? DONT : DO, option) +
                  command(verb == WILL ? DO : DONT, option));
        else
            queue(command(verb == DO ? WONT : WILL, option) +
                  command(verb == DO ? WILL : WONT, option));
        return;
    }
    const bool known = option == 0 || option == 3 || (option == ComPortOption && verb == WILL);
    if (verb == WILL)
        queue(command(known && (option != ComPortOption || script_.takesComPort) ? DO : DONT,
                      option));
    else if (verb == DO)
        queue(command(known ? WILL : WONT, option));
}

void TcpPeer::answerSub() {
    if (!script_.acksSettings || sub_.size() < 2 || quint8(sub_[0]) != ComPortOption)
        return;
    const quint8 code = quint8(sub_[1]);
    const QByteArray value = sub_.mid(2);
    const bool controlLine =
        code == 5 && value.size() == 1 && quint8(value[0]) >= 7 && quint8(value[0]) <= 12;
    if (controlLine && !script_.acksControlLines)
        return;
    QByteArray reply = bytes({IAC, SB, ComPortOption, quint8(code + 100)});
    reply += QByteArray(value).replace("\xff", "\xff\xff");
    reply += bytes({IAC, SE});
    queue(reply);
}

QByteArray TcpPeer::receivedRaw() const {
    std::lock_guard lock(mutex_);
    return raw_;
}

QByteArray TcpPeer::receivedData() const {
    std::lock_guard lock(mutex_);
    return data_;
}

QList<QByteArray> TcpPeer::negotiations() const {
    std::lock_guard lock(mutex_);
    return negotiations_;
}

QList<QByteArray> TcpPeer::subnegotiations() const {
    std::lock_guard lock(mutex_);
    return subnegotiations_;
}

int TcpPeer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

// A line of /proc/net/tcp whose local address is 0100007F:PORT (hexadecimal) in state 0A.
bool TcpPeer::listensOnLoopback(quint16 port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}

TcpPeer::ClientEnd TcpPeer::clientEnd() const {
    std::lock_guard lock(mutex_);
    return clientEnd_;
}

std::chrono::steady_clock::time_point TcpPeer::clientEndedAt() const {
    std::lock_guard lock(mutex_);
    return clientEndedAt_;
}

bool TcpPeer::waitUntil(const std::function<bool()>& condition, int timeoutMs) const {
    // The condition takes the lock itself: it is asked without it, and the wait is for a change
    // after the answer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    for (;;) {
        const quint64 seen = changes_;
        lock.unlock();
        if (condition())
            return true;
        lock.lock();
        if (!changed_.wait_until(lock, deadline, [&] { return changes_ != seen; })) {
            lock.unlock();
            return condition();
        }
    }
}
