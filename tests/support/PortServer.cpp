#include "support/PortServer.h"

#include "support/TcpPeer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

namespace {

constexpr int StartMs = 10000; // for a server to listen, on a busy machine
constexpr int StopMs = 10000;

QString ser2netProgram() {
    return QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

// A python3 that has pyserial's RFC 2217 module (python3-serial installs it for the system's
// python3, which another python3 on the PATH may not see); empty when there is none.
QString pythonWithPyserial() {
    static const QString found = [] {
        QStringList candidates{QStandardPaths::findExecutable(QStringLiteral("python3"))};
        candidates << QStandardPaths::findExecutable(QStringLiteral("python3"),
                                                     {QStringLiteral("/usr/bin")});
        for (const QString& python : candidates) {
            if (python.isEmpty())
                continue;
            QProcess check;
            check.start(python, {QStringLiteral("-c"), QStringLiteral("import serial.rfc2217")});
            if (check.waitForFinished(StartMs) && check.exitStatus() == QProcess::NormalExit &&
                check.exitCode() == 0)
                return python;
        }
        return QString();
    }();
    return found;
}

} // namespace

QString PortServer::missing(Kind kind) {
    if (kind == Kind::Pyserial)
        return pythonWithPyserial().isEmpty()
                   ? QStringLiteral("python3-serial is not installed (no python3 imports "
                                    "serial.rfc2217)")
                   : QString();
    return ser2netProgram().isEmpty() ? QStringLiteral("ser2net is not installed") : QString();
}

PortServer::PortServer(Kind kind, const QString& device, Gathering gathering)
    : kind_(kind), port_(TcpPeer::unusedPort()) {
    if (const QString why = missing(kind); !why.isEmpty()) {
        failure_ = why;
        return;
    }
    process_.setProcessChannelMode(QProcess::MergedChannels);
    if (kind == Kind::Pyserial) {
        process_.start(pythonWithPyserial(), {qEnvironmentVariable("DWNLD_SOURCE_DIR") +
                                                  QStringLiteral("/tests/rfc2217_server.py"),
                                              device, QString::number(port_)});
    } else {
        const bool rfc2217 = kind == Kind::Ser2netRfc2217;
        const QString config = folder_.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            failure_ = file.errorString();
            return;
        }
        file.write(
            QStringLiteral("connection: &cradle\n"
                           "  accepter: %1tcp(nodelay),127.0.0.1,%2\n"
                           "  connector: serialdev,%3,%4,local\n")
                .arg(rfc2217 ? QStringLiteral("telnet(rfc2217),") : QString())
                .arg(port_)
                .arg(device, rfc2217 ? QStringLiteral("9600n81") : QStringLiteral("19200n81"))
                .toUtf8());
        if (gathering == Gathering::Off)
            file.write("  options:\n"
                       "    chardelay: false\n");
        file.close();
        process_.start(ser2netProgram(),
                       {QStringLiteral("-n"), QStringLiteral("-c"), config, QStringLiteral("-P"),
                        folder_.filePath(QStringLiteral("ser2net.pid"))});
    }
    if (!process_.waitForStarted()) {
        failure_ = process_.errorString();
        return;
    }
    listening_ =
        QTest::qWaitFor([this] { return listensNow() || !running(); }, StartMs) && running();
    if (!listening_)
        failure_ = QStringLiteral("nothing listens on %1: %2")
                       .arg(endpoint(), QString::fromLocal8Bit(process_.readAll()));
}

PortServer::~PortServer() {
    if (!running())
        return;
    process_.terminate();
    if (!process_.waitForFinished(StopMs)) {
        process_.kill();
        process_.waitForFinished(StopMs);
    }
}

QString PortServer::endpoint() const {
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QString PortServer::url() const {
    return (kind_ == Kind::Ser2netRaw ? QStringLiteral("socket://")
                                      : QStringLiteral("rfc2217://")) +
           endpoint();
}

void PortServer::kill() {
    process_.kill();
    process_.waitForFinished(StopMs);
}

bool PortServer::listensNow() const {
    return TcpPeer::listensOnLoopback(port_);
}
