#include "support/PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

void makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        throw std::runtime_error("tcgetattr on a pseudo-terminal failed");
    ::cfmakeraw(&settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw std::runtime_error("tcsetattr on a pseudo-terminal failed");
}

} // namespace

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        throw std::runtime_error("posix_openpt failed");
    try {
        makeRaw(master_); // at once, before anything can be echoed
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("grantpt/unlockpt failed");
        const char* name = ::ptsname(master_);
        if (name == nullptr)
            throw std::runtime_error("ptsname failed");
        slavePath_ = QString::fromLocal8Bit(name);
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0)
            throw std::runtime_error("opening the pseudo-terminal slave failed");
        makeRaw(slave_);
    } catch (...) {
        if (slave_ >= 0)
            ::close(slave_);
        ::close(master_);
        throw;
    }
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::writeToMaster(QByteArrayView bytes) const {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return done == bytes.size();
}

QByteArray PtyPair::readFromMaster(int timeoutMs) const {
    QByteArray bytes;
    pollfd watch{master_, POLLIN, 0};
    if (master_ < 0 || ::poll(&watch, 1, timeoutMs) <= 0 || !(watch.revents & POLLIN))
        return bytes;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0)
        bytes.append(buffer, n);
    return bytes;
}

void PtyPair::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
