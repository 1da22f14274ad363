#include "bench/Ser2net.h"

#include "support/TcpPeer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

constexpr int StartMs = 10000;
constexpr int StopMs = 5000;

QString program() {
    const QString found = QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ser2net")) : found;
}

} // namespace

bool Ser2net::installed() {
    return !program().isEmpty();
}

Ser2net::Ser2net(const QString& device, CharDelay charDelay) {
    const QString executable = program();
    if (executable.isEmpty())
        throw std::runtime_error("ser2net is not installed (Debian package ser2net)");
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder for ser2net");
    port_ = TcpPeer::unusedPort();
    // tcp(nodelay): without it ser2net's socket keeps Nagle's algorithm, and what it reads from
    // the line while its last segment to the tool is unacknowledged waits for that
    // acknowledgement, which the tool's system delays up to 40 ms while the tool only waits: the
    // answer to the first "*", sent after the answer to a purge, then comes too late for the
    // tool's read and meets the answer to the next "*", and the identification fails.
    QString config = QStringLiteral("connection: &cradle\n"
                                    "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,%1\n"
                                    "  connector: serialdev,%2,9600n81,local\n")
                         .arg(port_)
                         .arg(device);
    if (charDelay == CharDelay::Off)
        config += QStringLiteral("  options:\n"
                                 "    chardelay: false\n");
    const QString configPath = dir_.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        throw std::runtime_error("cannot write ser2net's configuration");
    file.close();

    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.start(executable, {QStringLiteral("-n"), QStringLiteral("-c"), configPath,
                               QStringLiteral("-P"), dir_.filePath(QStringLiteral("ser2net.pid"))});
    if (!server_.waitForStarted(StartMs))
        throw std::runtime_error("ser2net did not start: " + server_.errorString().toStdString());
    // Looked for in the system's table of sockets rather than by connecting: a connection would
    // have ser2net open the device, and the target would see the line opened and closed.
    QElapsedTimer clock;
    clock.start();
    while (!listening()) {
        if (server_.state() != QProcess::Running || clock.elapsed() > StartMs)
            throw std::runtime_error(
                "ser2net did not listen on 127.0.0.1:" + std::to_string(port_) + ":\n" +
                server_.readAll().toStdString());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

Ser2net::~Ser2net() {
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(StopMs)) {
        server_.kill();
        server_.waitForFinished(StopMs);
    }
}

QString Ser2net::url() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_);
}

bool Ser2net::listening() const {
    return TcpPeer::listensOnLoopback(port_);
}
