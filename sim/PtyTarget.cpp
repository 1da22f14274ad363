#include "sim/PtyTarget.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zeltra::sim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// While no one holds the slave open the master only reports a hang-up; look again this often.
constexpr auto PeerGoneRetry = std::chrono::milliseconds(10);

} // namespace

struct PtyTarget::Server {
    Server(Options options, BeforeWrite beforeWrite);
    ~Server();
    void run();
    void openPair();
    void closeLine();
    void wake() const;
    bool readFromHost();
    void writeToHost();
    timespec pollTimeout(Clock::time_point now) const;
    std::unique_lock<std::mutex> caughtUp();

    mutable std::mutex mutex;
    std::condition_variable lineClosed;
    std::condition_variable served; // after every pass of the serving loop
    Engine engine;
    const BeforeWrite beforeWrite;
    std::string path;
    int master = -1;
    int slave = -1; // held open so that the host may close and reopen its side between downloads
    int wakePipe[2] = {-1, -1};
    bool stopping = false;
    bool serving = false; // the serving thread has started
    bool peerGone = false;
    std::string unsent; // output the master would not take yet
    std::thread thread;
};

PtyTarget::Server::Server(Options options, BeforeWrite beforeWrite)
    : engine(std::move(options)), beforeWrite(std::move(beforeWrite)) {
    openPair();
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        closeLine();
        fail("pipe2");
    }
    thread = std::thread([this] { run(); });
    // A thread that has never run may be scheduled late on a busy machine, much later than a
    // host's 20 ms wait for an answer: the target is only handed out once it serves.
    std::unique_lock lock(mutex);
    served.wait(lock, [this] { return serving; });
}

PtyTarget::Server::~Server() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake();
    thread.join();
    closeLine();
    closeFd(wakePipe[0]);
    closeFd(wakePipe[1]);
}

void PtyTarget::Server::openPair() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        fail("posix_openpt");
    termios settings{};
    char name[256];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::tcgetattr(master, &settings) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        closeLine();
        fail("pseudo-terminal set-up");
    }
    ::cfmakeraw(&settings); // no echo, no line editing: the slave passes bytes unchanged
    ::tcsetattr(master, TCSANOW, &settings);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    path = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        closeLine();
        fail("open pseudo-terminal slave");
    }
}

void PtyTarget::Server::closeLine() {
    closeFd(slave);
    closeFd(master);
    lineClosed.notify_all();
}

void PtyTarget::Server::wake() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakePipe[1], &byte, 1);
}

void PtyTarget::Server::run() {
    // Bytes leave when they are due: without the default 50 us slack on the waits' time-outs.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock lock(mutex);
    serving = true;
    served.notify_all();
    while (!stopping) {
        if (engine.hungUp() && master >= 0)
            closeLine();
        if (master >= 0) {
            const std::string due = engine.transmit(Clock::now());
            if (!due.empty() && beforeWrite)
                beforeWrite();
            unsent += due;
            writeToHost();
        }
        pollfd fds[2] = {{wakePipe[0], POLLIN, 0}, {-1, 0, 0}};
        if (master >= 0 && !peerGone)
            fds[1] = {master, static_cast<short>(POLLIN | (unsent.empty() ? 0 : POLLOUT)), 0};
        const timespec timeout = pollTimeout(Clock::now());
        lock.unlock();
        ::ppoll(fds, 2, timeout.tv_sec < 0 ? nullptr : &timeout, nullptr);
        lock.lock();
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (master < 0 || stopping)
            continue;
        if (peerGone || (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            peerGone = !readFromHost();
        served.notify_all();
    }
    served.notify_all();
}

// Takes the lock once the engine has handled every byte that the host's writes have put on the
// line so far. A read of the master that finds nothing has first waited for the kernel to
// deliver what is still on its way from the slave, so draining the master here takes up all of
// it, without waiting for the serving thread to wake. Bytes that the line model delivers later
// are then handled by the serving thread at their modelled time, which is waited for.
std::unique_lock<std::mutex> PtyTarget::Server::caughtUp() {
    std::unique_lock lock(mutex);
    if (master < 0 || stopping)
        return lock;
    const std::uint64_t before = engine.report().bytesIn;
    readFromHost();
    if (engine.report().bytesIn != before)
        wake(); // the engine may have answers to send now
    served.wait(lock, [this] { return !engine.inputPending() || master < 0 || stopping; });
    return lock;
}

// The time until the engine has more to send; a short retry while the host's side is closed.
timespec PtyTarget::Server::pollTimeout(Clock::time_point now) const {
    std::optional<Clock::duration> wait;
    if (const auto due = engine.nextDue(); due && master >= 0)
        wait = std::max(Clock::duration::zero(), *due - now);
    if (peerGone && master >= 0)
        wait = wait ? std::min<Clock::duration>(*wait, PeerGoneRetry) : PeerGoneRetry;
    if (!wait)
        return {-1, 0};
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Hands what the host sent to the engine; false while the host's side is closed (EIO).
bool PtyTarget::Server::readFromHost() {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count > 0) {
            engine.receive(std::string_view(buffer, static_cast<std::size_t>(count)), Clock::now());
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void PtyTarget::Server::writeToHost() {
    while (!unsent.empty()) {
        const ssize_t count = ::write(master, unsent.data(), unsent.size());
        if (count > 0)
            unsent.erase(0, static_cast<std::size_t>(count));
        else if (count < 0 && errno == EINTR)
            continue;
        else
            return; // full (or the host's side is closed): try again when the master takes more
    }
}

PtyTarget::PtyTarget(Options options, BeforeWrite beforeWrite)
    : server_(std::make_unique<Server>(std::move(options), std::move(beforeWrite))) {}

PtyTarget::~PtyTarget() = default;

const std::string& PtyTarget::devicePath() const {
    return server_->path;
}

Report PtyTarget::report() const {
    const auto lock = server_->caughtUp();
    return server_->engine.report();
}

std::string PtyTarget::reportJson() const {
    const auto lock = server_->caughtUp();
    return server_->engine.reportJson();
}

std::string PtyTarget::imageAsIntelHex() const {
    const auto lock = server_->caughtUp();
    return server_->engine.imageAsIntelHex();
}

std::uint16_t PtyTarget::programWord(std::uint16_t address) const {
    const auto lock = server_->caughtUp();
    return server_->engine.programWord(address);
}

std::uint8_t PtyTarget::eepromByte(std::uint16_t address) const {
    const auto lock = server_->caughtUp();
    return server_->engine.eepromByte(address);
}

std::optional<Clock::time_point> PtyTarget::goTime() const {
    const auto lock = server_->caughtUp();
    return server_->engine.goTime();
}

bool PtyTarget::hungUp() const {
    std::lock_guard lock(server_->mutex);
    return server_->engine.hungUp();
}

void PtyTarget::hangUp() {
    std::unique_lock lock(server_->mutex);
    server_->engine.hangUp();
    server_->wake();
    server_->lineClosed.wait(lock, [this] { return server_->master < 0; });
}

void PtyTarget::setProgramWord(std::uint16_t address, std::uint16_t value) {
    const auto lock = server_->caughtUp();
    server_->engine.setProgramWord(address, value);
}

void PtyTarget::pressReset() {
    const auto lock = server_->caughtUp();
    server_->engine.pressReset();
}

} // namespace zeltra::sim
