#include "support/ScriptedPeer.h"
#include "support/PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

ScriptedPeer::ScriptedPeer(PtyPair& pty, Responder responder)
    : pty_(pty), responder_(std::move(responder)) {
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void ScriptedPeer::stop() {
    if (!thread_.joinable())
        return;
    const char wake = 0;
    while (::write(stopPipe_[1], &wake, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
}

void ScriptedPeer::send(QByteArrayView bytes) {
    pty_.writeToMaster(bytes);
}

void ScriptedPeer::run() {
    char buffer[4096];
    for (;;) {
        pollfd watch[2] = {{pty_.masterFd(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(watch, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watch[1].revents != 0)
            return;
        if (watch[0].revents & POLLIN) {
            const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
            if (n > 0) {
                take(buffer, n);
                continue;
            }
        }
        // A hang-up or error on the master: wait a little (for the stop request) instead of
        // spinning, and try again.
        if (::poll(&watch[1], 1, 10) > 0)
            return;
    }
}

void ScriptedPeer::take(const char* bytes, qsizetype count) {
    const auto now = std::chrono::steady_clock::now();
    std::vector<QByteArray> complete;
    {
        std::lock_guard lock(mutex_);
        for (qsizetype i = 0; i < count; ++i) {
            const char byte = bytes[i];
            received_.push_back({byte, now});
            if (byte == '*' && line_.isEmpty()) {
                complete.emplace_back(1, byte);
                continue;
            }
            line_.append(byte);
            if (byte == '\n') {
                complete.push_back(line_);
                line_.clear();
            }
        }
        units_.insert(units_.end(), complete.begin(), complete.end());
    }
    arrived_.notify_all();
    if (!responder_)
        return;
    for (const QByteArray& unit : complete) {
        const QByteArray answer = responder_(unit);
        if (!answer.isEmpty())
            send(answer);
    }
}

QByteArray ScriptedPeer::receivedBytes() const {
    std::lock_guard lock(mutex_);
    QByteArray bytes;
    for (const ReceivedByte& r : received_)
        bytes.append(r.byte);
    return bytes;
}

std::vector<ReceivedByte> ScriptedPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<QByteArray> ScriptedPeer::units() const {
    std::lock_guard lock(mutex_);
    return units_;
}

bool ScriptedPeer::waitForBytes(qsizetype count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return qsizetype(received_.size()) >= count; });
}

void ScriptedPeer::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    units_.clear();
    line_.clear();
}
