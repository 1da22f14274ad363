// The host's side of the bootloader protocol: command lines, replies, acknowledgements, the
// "*"/"i" handshake and the timed pause. Every wait polls the port and pumps the application's
// events, so a face's buttons and menus, and the session's two timers, keep working.
#include "link/Protocol.h"

#include "driver/DownloadSession.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "link/Messages.h"
#include "ui/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr char kLineFeed = '\n';
constexpr qsizetype kMaxCommandLength = 40; // the line buffer holds 40 characters and the LF
constexpr int kWordReplyLength = 5;         // a word (4), LF

// Sleeps in the message pump until the next message (a click, a timer's expiry) arrives. The
// waiting loops pump this way while the port is closed: its reads then return at once and no
// byte can ever arrive, so only a message can end the wait, and they must not spin a core.
void waitForMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

QByteArray commandLine(const QString& command) {
    QByteArray line = command.left(kMaxCommandLength).toLatin1();
    line.append(kLineFeed);
    return line;
}

void DownloadSession::SEND_HEX(const QString& command) {
    const QByteArray line = commandLine(command);
    PortHandle.write(line);
    pace_.sent(line, paceClock_.nsecsElapsed());
}

QString DownloadSession::GET_REPLY() {
    return timedAnswer(replyText(PortHandle.read(IdentifyReplyLength)), IdentifyReplyLength);
}

QString DownloadSession::GET_WORD_REPLY() {
    return timedAnswer(replyText(PortHandle.read(kWordReplyLength)), kWordReplyLength);
}

QString DownloadSession::timedAnswer(const QString& reply, int answerBytes) {
    if (!reply.isEmpty())
        timeAnswer(answerBytes);
    return reply;
}

void DownloadSession::timeAnswer(int answerBytes) {
    const std::optional<LateAnswers> late = pace_.answered(answerBytes, paceClock_.nsecsElapsed());
    if (late)
        emit answersLate(*late, Message::answersLate(*late, operationName_),
                         PortHandle.lateAnswersCause());
}

bool DownloadSession::RECEIVE_ACK() {
    Timeout_Timer->start(AckTimeoutMs);
    bool acknowledged = false;
    while (Timeout_Timer->isActive() && !stopping()) {
        if (READ_BYTE() == kLineFeed) {
            timeAnswer(1);
            acknowledged = true;
            break;
        }
        PortHandle.clearErrors();
        // The time-out's expiry and the Cancel and Close clicks are dispatched here.
        PortHandle.isOpen() ? pump() : waitForMessages();
    }
    pump();
    if (!Timeout_Timer->isActive()) {
        DO_ERROR(Message::LostContact, PortHandle.lostContactDetail());
        acknowledged = false;
    }
    Timeout_Timer->stop();
    return acknowledged;
}

bool DownloadSession::sendAcknowledged(const QString& command) {
    SEND_HEX(command);
    return RECEIVE_ACK();
}

bool DownloadSession::WAIT_FOR_ACK() {
    // An earlier Cancel is forgotten, but never a Close: it has closed the port and the window,
    // so nothing would be left to end this wait. Nor is a stop asked for from outside.
    CancelRequested = false;
    bool answered = false;
    while (!answered && !stopping()) {
        PortHandle.isOpen() ? pump() : waitForMessages();
        PortHandle.purge();
        WRITE_BYTE(Sync::Request);
        answered = READ_BYTE() == Sync::Answer;
    }
    if (stopping()) {
        DO_ERROR(Message::DownloadCancelled);
        return false;
    }
    // An answer that came later than its pass's read (a slow adapter, a busy machine) arrives
    // together with the answers to the requests after it: only the first is taken, the rest
    // would be read as the start of the next reply.
    PortHandle.purge();
    if (!progress_.contact) {
        progress_.contact = true;
        emit bootloaderAnswered(PortName);
    }
    return true;
}

void DownloadSession::DELAYMS(int milliseconds) {
    if (milliseconds <= 0)
        return;
    Timer1->start(milliseconds);
    while (Timer1->isActive()) {
        PortHandle.clearErrors();
        waitForMessages(); // at the latest the timer's expiry; nothing else to block on here
    }
}

void DownloadSession::Timer1Timer(QObject*) {
    Timer1->stop();
}

void DownloadSession::Timeout_TimerTimer(QObject*) {
    Timeout_Timer->stop();
}
