// The network port's parts that are the same on every system; the sockets themselves are in
// NetworkSocketPosix.cpp and NetworkSocketWindows.cpp.
#include "link/NetworkLink.h"
#include "link/Commands.h"
#include "link/Messages.h"
#include "link/NetworkAddress.h"
#include "link/NetworkSocket.h"
#include "link/TelnetCodec.h"

#include <QElapsedTimer>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 ReceiveChunk = 4096;
constexpr qsizetype MaxWaitingAtOnce = 64 * 1024; // what one readWaiting() or purge() takes
constexpr qsizetype MaxBannerShown = 200;
constexpr int AnswerBudgetMs = 100; // for sending Telnet's answers and requests between reads

// A host resolved on a thread of its own, so that open() can keep calling keepWaiting: the
// resolver cannot be interrupted, and a resolution that is given up on ends there unseen.
class Resolving {
public:
    static std::shared_ptr<Resolving> start(const QString& host, quint16 port) {
        auto resolving = std::make_shared<Resolving>();
        std::thread([resolving, host, port] {
            NetworkSocket::Resolution result = NetworkSocket::resolve(host, port);
            std::lock_guard lock(resolving->mutex_);
            resolving->result_ = std::move(result);
            resolving->finished_ = true;
            resolving->done_.notify_all();
        }).detach();
        return resolving;
    }

    // Waits at most ms for the resolution; true when it is there.
    bool wait(int ms) {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_; });
    }
    NetworkSocket::Resolution take() {
        std::lock_guard lock(mutex_);
        return std::move(result_);
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    NetworkSocket::Resolution result_;
};

// What a server said before it closed the connection, for a message: printable, one line.
QString shownText(const QByteArray& said) {
    QString text;
    for (const char c : said.left(MaxBannerShown)) {
        if (c == '\r' || c == '\n' || c == '\t')
            text.append(u' ');
        else if (quint8(c) >= 0x20 && quint8(c) < 0x7f)
            text.append(QChar(c));
    }
    return text.simplified();
}

} // namespace

struct NetworkLink::Connection {
    NetworkAddress address;
    bool telnet = false; // rfc2217://
    NetworkSocket socket;
    TelnetCodec codec;
    QByteArray waiting;       // data that arrived and has not been read
    QString failure;          // the reason for the latest failure, with host and port
    QElapsedTimer sinceWrite; // since the latest write, once there was one

    QString because(const QString& why) const {
        return address.endpoint() + QStringLiteral(": ") + why;
    }
};

NetworkLink::NetworkLink() : connection_(std::make_unique<Connection>()) {}

NetworkLink::~NetworkLink() {
    close();
}

QString NetworkLink::errorString() const {
    return connection_->failure;
}

QString NetworkLink::endpoint() const {
    return connection_->address.host.isEmpty() ? QString() : connection_->address.endpoint();
}

QString NetworkLink::openFailureDetail(OpenResult result, const QString&) const {
    return Message::networkOpenFailureDetail(result, *this);
}

QString NetworkLink::lateAnswersCause() const {
    return Message::networkHoldsAnswers(endpoint());
}

QString NetworkLink::lostContactDetail() const {
    return isGone() ? Message::connectionClosed(endpoint()) : QString();
}

NetworkLink::OpenResult NetworkLink::refused(OpenFault fault, const QString& why) {
    Connection& c = *connection_;
    c.socket.close();
    state_ = State::Closed;
    openFault_ = fault;
    c.failure = c.address.host.isEmpty() ? why : c.because(why);
    return OpenResult::OpenFailed;
}

NetworkLink::OpenResult NetworkLink::open(const QString& portName, const KeepWaiting& keepWaiting) {
    close();
    Connection& c = *connection_;
    c.address = {};
    c.codec.reset();
    c.waiting.clear();
    c.failure.clear();
    openFault_ = OpenFault::None;
    const ParsedNetworkAddress parsed = parseNetworkAddress(portName);
    if (!parsed.ok())
        return refused(OpenFault::BadAddress, portName + QStringLiteral(": ") + parsed.error);
    c.address = parsed.address;
    c.telnet = c.address.scheme == NetworkAddress::Scheme::Rfc2217;
    const auto goOn = [&keepWaiting] { return !keepWaiting || keepWaiting(); };

    QElapsedTimer clock;
    clock.start();
    const auto left = [&clock] { return ConnectBudgetMs - clock.elapsed(); };
    const std::shared_ptr<Resolving> resolving = Resolving::start(c.address.host, c.address.port);
    while (!resolving->wait(int(std::clamp<qint64>(left(), 0, PumpMs)))) {
        if (left() <= 0)
            return refused(
                OpenFault::TimedOut,
                QStringLiteral("the host was not resolved within %1 ms").arg(ConnectBudgetMs));
        if (!goOn())
            return refused(OpenFault::Cancelled, QStringLiteral("the connection was abandoned"));
    }
    const NetworkSocket::Resolution resolution = resolving->take();
    if (resolution.addresses.empty())
        return refused(OpenFault::UnknownHost, resolution.errorText.isEmpty()
                                                   ? QStringLiteral("the host has no address")
                                                   : resolution.errorText);

    // Every address in the resolver's order, until one connects.
    int lastError = 0;
    bool connected = false;
    for (const NetworkSocket::Address& address : resolution.addresses) {
        if (!c.socket.startConnect(address)) {
            lastError = c.socket.lastError();
            continue;
        }
        for (;;) {
            if (left() <= 0)
                return refused(OpenFault::TimedOut,
                               QStringLiteral("no connection within %1 ms").arg(ConnectBudgetMs));
            const NetworkSocket::Wait waited =
                c.socket.finishConnect(int(std::min<qint64>(left(), PumpMs)));
            if (waited == NetworkSocket::Wait::Ready) {
                connected = true;
                break;
            }
            if (waited == NetworkSocket::Wait::Failed) {
                lastError = c.socket.lastError();
                c.socket.close();
                break;
            }
            if (!goOn())
                return refused(OpenFault::Cancelled,
                               QStringLiteral("the connection was abandoned"));
        }
        if (connected)
            break;
    }
    if (!connected) {
        const NetworkSocket::Failure failure = NetworkSocket::failureOf(lastError);
        const OpenFault fault = failure == NetworkSocket::Failure::Refused    ? OpenFault::Refused
                                : failure == NetworkSocket::Failure::TimedOut ? OpenFault::TimedOut
                                                                              : OpenFault::Other;
        return refused(fault, NetworkSocket::errorText(lastError));
    }
    if (!c.socket.setNoDelay())
        return refused(OpenFault::Other, NetworkSocket::errorText(c.socket.lastError()));
    state_ = State::Open;

    const OpenResult result = c.telnet ? negotiate(keepWaiting) : settle(keepWaiting);
    if (result != OpenResult::Ok)
        return result;
    if (c.telnet) {
        if (const OpenResult purged = purgeServer(keepWaiting); purged != OpenResult::Ok)
            return purged;
    }
    if (!purge()) {
        c.failure = c.because(QStringLiteral("the connection ended while it was set up"));
        return OpenResult::PurgeFailed;
    }
    return OpenResult::Ok;
}

// Once the server's answer has arrived, what the link sends next acknowledges it: a server that
// holds back small segments while one is unacknowledged then holds nothing back behind it.
NetworkLink::OpenResult NetworkLink::purgeServer(const KeepWaiting& keepWaiting) {
    Connection& c = *connection_;
    const int answered = c.codec.replyCount(TelnetCodec::PurgeData);
    const QByteArray request = TelnetCodec::purgeData(TelnetCodec::PurgeBothBuffers);
    const auto ended = [&c] {
        c.failure = c.because(QStringLiteral("the connection ended while it was set up"));
        return OpenResult::PurgeFailed;
    };
    if (sendAll(request, AnswerBudgetMs) != request.size())
        return ended();
    QElapsedTimer clock;
    clock.start();
    while (c.codec.replyCount(TelnetCodec::PurgeData) == answered) {
        const qint64 left = NegotiationBudgetMs - clock.elapsed();
        if (left <= 0)
            break; // a server that does not answer is let be
        const NetworkSocket::Wait waited =
            c.socket.waitReadable(int(std::min<qint64>(left, PumpMs)));
        if (waited == NetworkSocket::Wait::Failed ||
            (waited == NetworkSocket::Wait::Ready && pump() == Pumped::Ended))
            return ended();
        if (keepWaiting && !keepWaiting())
            return refused(OpenFault::Cancelled, QStringLiteral("the connection was abandoned"));
    }
    return OpenResult::Ok;
}

NetworkLink::OpenResult NetworkLink::negotiate(const KeepWaiting& keepWaiting) {
    Connection& c = *connection_;
    TelnetCodec& codec = c.codec;
    codec.reset();
    const QByteArray request = codec.opening() + TelnetCodec::setBaudRate(Line::BaudRate) +
                               TelnetCodec::setDataSize(Line::DataBits) +
                               TelnetCodec::setParity(TelnetCodec::ParityNone) +
                               TelnetCodec::setStopSize(TelnetCodec::StopSizeOne) +
                               TelnetCodec::setControl(TelnetCodec::ControlNoFlowControl) +
                               TelnetCodec::setControl(TelnetCodec::ControlDtrOff) +
                               TelnetCodec::setControl(TelnetCodec::ControlRtsOff);
    QByteArray said; // what the server sent as data meanwhile: a banner, when it turns us away
    if (sendAll(request, NegotiationBudgetMs) < request.size())
        return closedWhileOpening(said);

    // The acknowledgements awaited: the line settings and the flow control (the first
    // SET-CONTROL answered; DTR and RTS may never be).
    static constexpr quint8 Awaited[] = {TelnetCodec::SetBaudRate, TelnetCodec::SetDataSize,
                                         TelnetCodec::SetParity, TelnetCodec::SetStopSize,
                                         TelnetCodec::SetControl};
    static constexpr const char* Names[] = {"SET-BAUDRATE", "SET-DATASIZE", "SET-PARITY",
                                            "SET-STOPSIZE", "SET-CONTROL"};
    const auto allAnswered = [&codec] {
        return std::all_of(std::begin(Awaited), std::end(Awaited),
                           [&codec](quint8 command) { return codec.replyCount(command) > 0; });
    };
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (codec.comPort() == TelnetCodec::ComPort::Refused)
            return refused(OpenFault::NoRfc2217,
                           QStringLiteral("the server refuses RFC 2217's Com Port Control"));
        if (codec.comPort() == TelnetCodec::ComPort::Accepted && allAnswered())
            break;
        const qint64 left = NegotiationBudgetMs - clock.elapsed();
        if (left <= 0) {
            if (codec.comPort() != TelnetCodec::ComPort::Accepted)
                return refused(OpenFault::NoRfc2217,
                               QStringLiteral("the server did not take up RFC 2217's Com Port "
                                              "Control within %1 ms")
                                   .arg(NegotiationBudgetMs));
            QStringList missing;
            for (std::size_t i = 0; i < std::size(Awaited); ++i)
                if (codec.replyCount(Awaited[i]) == 0)
                    missing << QString::fromLatin1(Names[i]);
            c.failure = c.because(QStringLiteral("the server did not acknowledge %1 within %2 ms")
                                      .arg(missing.join(QStringLiteral(", ")))
                                      .arg(NegotiationBudgetMs));
            return OpenResult::WriteSettingsFailed;
        }
        const NetworkSocket::Wait waited =
            c.socket.waitReadable(int(std::min<qint64>(left, PumpMs)));
        if (waited == NetworkSocket::Wait::Failed)
            return closedWhileOpening(said);
        if (waited == NetworkSocket::Wait::Ready) {
            char buffer[ReceiveChunk];
            const qint64 n = c.socket.receiveSome(buffer, ReceiveChunk);
            if (n == NetworkSocket::Closed || n == NetworkSocket::Broken)
                return closedWhileOpening(said);
            if (n > 0) {
                const QByteArray data = codec.decode(QByteArrayView(buffer, n));
                if (said.size() < MaxBannerShown)
                    said += data.left(MaxBannerShown - said.size());
                sendAnswers();
                if (!usable())
                    return closedWhileOpening(said);
            }
        }
        if (keepWaiting && !keepWaiting())
            return refused(OpenFault::Cancelled, QStringLiteral("the connection was abandoned"));
    }

    // The values that the server says it set.
    const QByteArray baud = codec.reply(TelnetCodec::SetBaudRate);
    const quint32 baudSet = baud.size() == 4
                                ? quint32(quint8(baud[0])) << 24 | quint32(quint8(baud[1])) << 16 |
                                      quint32(quint8(baud[2])) << 8 | quint8(baud[3])
                                : 0;
    const auto oneByte = [&codec](quint8 command) {
        const QByteArray value = codec.reply(command);
        return value.size() == 1 ? int(quint8(value[0])) : -1;
    };
    QStringList wrong;
    if (baudSet != Line::BaudRate)
        wrong << QStringLiteral("baud rate %1").arg(baudSet);
    if (oneByte(TelnetCodec::SetDataSize) != Line::DataBits)
        wrong << QStringLiteral("data size %1").arg(oneByte(TelnetCodec::SetDataSize));
    if (oneByte(TelnetCodec::SetParity) != TelnetCodec::ParityNone)
        wrong << QStringLiteral("parity %1").arg(oneByte(TelnetCodec::SetParity));
    if (oneByte(TelnetCodec::SetStopSize) != TelnetCodec::StopSizeOne)
        wrong << QStringLiteral("stop size %1").arg(oneByte(TelnetCodec::SetStopSize));
    if (!wrong.isEmpty()) {
        c.failure = c.because(QStringLiteral("the server set %1 instead of 19200 baud, 8 data "
                                             "bits, no parity, one stop bit")
                                  .arg(wrong.join(QStringLiteral(", "))));
        return OpenResult::WriteSettingsFailed;
    }
    return OpenResult::Ok;
}

NetworkLink::OpenResult NetworkLink::settle(const KeepWaiting& keepWaiting) {
    Connection& c = *connection_;
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = SettleMs - clock.elapsed();
        if (left <= 0)
            return OpenResult::Ok; // what it sent meanwhile goes with open()'s purge
        const NetworkSocket::Wait waited =
            c.socket.waitReadable(int(std::min<qint64>(left, PumpMs)));
        if (waited == NetworkSocket::Wait::Failed)
            return closedWhileOpening(said);
        if (waited == NetworkSocket::Wait::Ready) {
            char buffer[ReceiveChunk];
            const qint64 n = c.socket.receiveSome(buffer, ReceiveChunk);
            if (n == NetworkSocket::Closed || n == NetworkSocket::Broken)
                return closedWhileOpening(said);
            if (n > 0 && said.size() < MaxBannerShown)
                said += QByteArray(buffer, int(std::min<qint64>(n, MaxBannerShown - said.size())));
        }
        if (keepWaiting && !keepWaiting())
            return refused(OpenFault::Cancelled, QStringLiteral("the connection was abandoned"));
    }
}

NetworkLink::OpenResult NetworkLink::closedWhileOpening(const QByteArray& said) {
    const QString text = shownText(said);
    if (text.isEmpty())
        return refused(OpenFault::Other,
                       QStringLiteral("the server closed the connection while it was set up"));
    // A server whose serial port is taken says so and closes ("Port already in use"), as one
    // that cannot open its port does ("Device open failure: ...").
    const QString why = QStringLiteral("the server turned the connection away: \"%1\"").arg(text);
    const bool taken = text.contains(QLatin1String("in use"), Qt::CaseInsensitive);
    return refused(taken ? OpenFault::Busy : OpenFault::Other, why);
}

void NetworkLink::wentAway(const QString& why) {
    if (state_ != State::Open)
        return;
    Connection& c = *connection_;
    c.failure = c.because(why);
    c.socket.close();
    state_ = State::Gone;
}

NetworkLink::Pumped NetworkLink::pump() {
    Connection& c = *connection_;
    char buffer[ReceiveChunk];
    const qint64 n = c.socket.receiveSome(buffer, ReceiveChunk);
    if (n == NetworkSocket::NothingYet)
        return Pumped::Nothing;
    if (n == NetworkSocket::Closed) {
        wentAway(QStringLiteral("the server closed the connection"));
        return Pumped::Ended;
    }
    if (n == NetworkSocket::Broken) {
        socketFailed();
        return Pumped::Ended;
    }
    if (!c.telnet) {
        c.waiting.append(buffer, n);
        return Pumped::Something;
    }
    c.waiting += c.codec.decode(QByteArrayView(buffer, n));
    sendAnswers();
    return usable() ? Pumped::Something : Pumped::Ended;
}

void NetworkLink::sendAnswers() {
    const QByteArray answers = connection_->codec.takeAnswers();
    if (!answers.isEmpty())
        sendAll(answers, AnswerBudgetMs);
}

qint64 NetworkLink::sendAll(const QByteArray& bytes, qint64 budgetMs) {
    Connection& c = *connection_;
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    while (sent < bytes.size() && usable()) {
        const qint64 n = c.socket.sendSome(bytes.constData() + sent, bytes.size() - sent);
        if (n < 0) {
            socketFailed();
            break;
        }
        sent += n;
        if (sent == bytes.size())
            break;
        const qint64 left = budgetMs - clock.elapsed();
        if (left <= 0)
            break;
        if (c.socket.waitWritable(int(left)) == NetworkSocket::Wait::Failed) {
            socketFailed();
            break;
        }
    }
    return sent;
}

void NetworkLink::givePassOnTime() {
    Connection& c = *connection_;
    if (!usable() || !c.sinceWrite.isValid())
        return;
    for (qint64 left = PassOnMs - c.sinceWrite.elapsed(); left > 0 && usable();
         left = PassOnMs - c.sinceWrite.elapsed()) {
        if (c.socket.waitReadable(int(left)) == NetworkSocket::Wait::Ready)
            pump(); // answers to negotiation still count; the data is dropped with the link
    }
}

void NetworkLink::socketFailed() {
    wentAway(NetworkSocket::errorText(connection_->socket.lastError()));
}

bool NetworkLink::close() {
    if (!isOpen())
        return false;
    givePassOnTime();
    state_ = State::Closed;
    connection_->socket.close();
    connection_->waiting.clear();
    return true;
}

qint64 NetworkLink::write(const QByteArray& bytes) {
    if (!usable() || bytes.isEmpty())
        return 0;
    Connection& c = *connection_;
    const qint64 budget = SerialDevice::transferBudgetMs(bytes.size());
    c.sinceWrite.start();
    if (!c.telnet)
        return sendAll(bytes, budget);
    const qint64 sent = sendAll(c.codec.encode(bytes), budget);
    return c.codec.dataCarried(bytes, sent);
}

QByteArray NetworkLink::read(int count) {
    QByteArray bytes;
    if (!isOpen() || count <= 0)
        return bytes;
    Connection& c = *connection_;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = SerialDevice::transferBudgetMs(count);
    for (;;) {
        // What has arrived, up to the count and at most to the first LF.
        const qsizetype room = count - bytes.size();
        const qsizetype lineEnd = c.waiting.left(room).indexOf('\n');
        const qsizetype taken = lineEnd < 0 ? std::min(room, c.waiting.size()) : lineEnd + 1;
        bytes += c.waiting.left(taken);
        c.waiting.remove(0, taken);
        if (bytes.size() >= count || lineEnd >= 0)
            break;
        const qint64 left = budget - clock.elapsed();
        if (!usable()) {
            keepPace(left);
            break;
        }
        if (left <= 0)
            break;
        switch (c.socket.waitReadable(int(left))) {
        case NetworkSocket::Wait::Ready:
            pump();
            break;
        case NetworkSocket::Wait::TimedOut: // the budget is looked at again
            break;
        case NetworkSocket::Wait::Failed:
            socketFailed();
            break;
        }
    }
    return bytes;
}

bool NetworkLink::purge() {
    if (!usable())
        return false;
    Connection& c = *connection_;
    c.waiting.clear();
    // What the system holds for us, up to a bound: a server that never stops sending cannot
    // hold the purge.
    qsizetype dropped = 0;
    while (dropped < MaxWaitingAtOnce) {
        const Pumped pumped = pump();
        if (pumped == Pumped::Ended)
            return false;
        if (pumped == Pumped::Nothing)
            break;
        dropped += c.waiting.size();
        c.waiting.clear();
    }
    return true;
}

void NetworkLink::clearErrors() {}

QByteArray NetworkLink::readWaiting() {
    if (!usable())
        return {};
    Connection& c = *connection_;
    while (c.waiting.size() < MaxWaitingAtOnce && pump() == Pumped::Something) {
    }
    QByteArray bytes;
    bytes.swap(c.waiting);
    return bytes;
}
