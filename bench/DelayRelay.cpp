#include "bench/DelayRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("relay: ") + what + ": " + std::strerror(errno));
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void noDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// What one side sent, due to leave for the other side at `due`.
struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes;
    std::size_t sent = 0;
};

// One direction of a connection: read from `from`, held, written to `to`.
struct Direction {
    int* from;
    int* to;
    std::deque<Chunk> held;
    bool ended = false;    // `from` sent its end
    bool passedOn = false; // and `to` has been told, after the last chunk
};

// A client accepted, and its connection to the server.
struct Connection {
    int client = -1, server = -1;
    Direction up{&client, &server, {}}, down{&server, &client, {}};
    bool failed = false;

    ~Connection() {
        closeFd(client);
        closeFd(server);
    }
    bool finished() const { return failed || (up.passedOn && down.passedOn); }
};

// Reads what `direction`'s sender has, holding it from now.
void take(Direction& direction, std::chrono::nanoseconds hold, bool& failed) {
    std::vector<char> bytes(64 * 1024);
    const ssize_t got = ::recv(*direction.from, bytes.data(), bytes.size(), 0);
    if (got > 0) {
        bytes.resize(std::size_t(got));
        direction.held.push_back({Clock::now() + hold, std::move(bytes)});
    } else if (got == 0) {
        direction.ended = true;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        failed = true;
    }
}

// Sends on what is due, in order, as far as the receiver takes it.
void give(Direction& direction, Clock::time_point now, bool& failed) {
    while (!direction.held.empty() && direction.held.front().due <= now) {
        Chunk& chunk = direction.held.front();
        const ssize_t put = ::send(*direction.to, chunk.bytes.data() + chunk.sent,
                                   chunk.bytes.size() - chunk.sent, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                failed = true;
            return;
        }
        chunk.sent += std::size_t(put);
        if (chunk.sent < chunk.bytes.size())
            return; // the rest when the receiver takes more
        direction.held.pop_front();
    }
    if (direction.ended && direction.held.empty() && !direction.passedOn) {
        ::shutdown(*direction.to, SHUT_WR);
        direction.passedOn = true;
    }
}

bool dueNow(const Direction& direction, Clock::time_point now) {
    return !direction.held.empty() && direction.held.front().due <= now;
}

} // namespace

DelayRelay::DelayRelay(quint16 serverPort, std::chrono::microseconds hold)
    : serverPort_(serverPort), hold_(hold) {
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        fail("pipe");
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0)
        fail("socket");
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        closeFd(listener_);
        closeFd(wakePipe_[0]);
        closeFd(wakePipe_[1]);
        errno = error;
        fail("listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

DelayRelay::~DelayRelay() {
    const char byte = 0;
    while (::write(wakePipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    closeFd(listener_);
    closeFd(wakePipe_[0]);
    closeFd(wakePipe_[1]);
}

void DelayRelay::serve() {
    // A sleeping thread is woken up to 50 us late by default: a tenth of the time it holds.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::list<Connection> connections;
    std::vector<pollfd> fds;
    for (;;) {
        Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next; // the next chunk to fall due
        fds.assign({{wakePipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}});
        for (Connection& connection : connections) {
            short client = 0, server = 0;
            for (Direction* direction : {&connection.up, &connection.down}) {
                const bool toClient = direction == &connection.down;
                if (!direction->ended)
                    (toClient ? server : client) |= POLLIN;
                if (dueNow(*direction, now))
                    (toClient ? client : server) |= POLLOUT; // a chunk waits for room
                else if (!direction->held.empty() && (!next || direction->held.front().due < *next))
                    next = direction->held.front().due;
            }
            fds.push_back({connection.client, client, 0});
            fds.push_back({connection.server, server, 0});
        }
        timespec wait{};
        if (next) {
            const auto left = std::max(*next - now, Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {time_t(ns / 1000000000), long(ns % 1000000000)};
        }
        if (::ppoll(fds.data(), fds.size(), next ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
            return;
        if (fds[0].revents != 0)
            return; // stopped

        std::size_t at = 2;
        for (Connection& connection : connections) {
            const pollfd& client = fds[at++];
            const pollfd& server = fds[at++];
            for (const pollfd* side : {&client, &server}) {
                Direction& direction = side == &client ? connection.up : connection.down;
                if (side->revents & (POLLERR | POLLNVAL))
                    connection.failed = true;
                else if (side->revents & (POLLIN | POLLHUP)) {
                    if (direction.ended)
                        connection.failed = true; // hung up while nothing more is read from it
                    else
                        take(direction, hold_, connection.failed);
                }
            }
        }
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client >= 0) {
                Connection& connection = connections.emplace_back();
                connection.client = client;
                noDelay(client);
                connection.server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in server = loopback(serverPort_);
                // On loopback the connection is made or refused at once.
                if (connection.server < 0 ||
                    ::connect(connection.server, reinterpret_cast<const sockaddr*>(&server),
                              sizeof server) != 0 ||
                    ::fcntl(connection.server, F_SETFL, O_NONBLOCK) != 0)
                    connection.failed = true;
                else
                    noDelay(connection.server);
            }
        }

        now = Clock::now();
        for (Connection& connection : connections) {
            give(connection.up, now, connection.failed);
            give(connection.down, now, connection.failed);
        }
        connections.remove_if([](const Connection& connection) { return connection.finished(); });
    }
}
