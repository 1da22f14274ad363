// Command framing, replies, acknowledgements, the "*"/"i" handshake and the pause, against a
// scripted bootloader on a pseudo-terminal pair.
#include "driver/DownloadSession.h"
#include "driver/Messages.h"
#include "link/AnswerPace.h"
#include "link/HexText.h"
#include "link/Messages.h"
#include "link/Protocol.h"
#include "support/CpuStopwatch.h"
#include "support/PtyPair.h"
#include "support/PumpWatch.h"
#include "support/ScriptedPeer.h"
#include "ui/Messages.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>

namespace {

// A session whose port is open on the slave of a pair played by a scripted peer.
struct Rig {
    explicit Rig(ScriptedPeer::Responder responder = {}) : peer(pty, std::move(responder)) {
        opened = session.OpenCom(pty.slavePath());
        session.DownloadOk = true;
    }
    PtyPair pty;
    ScriptedPeer peer;
    DownloadSession session;
    bool opened = false;
};

// RECEIVE_ACK fails after its 1000 ms (generous upper bound) with "Lost contact", without
// spinning a core meanwhile.
void verifyTimesOutWithoutSpinning(DownloadSession& session) {
    CpuStopwatch wait;
    wait.start();
    QVERIFY(!session.RECEIVE_ACK());
    wait.stop();
    QVERIFY2(wait.wallMs() >= AckTimeoutMs - 10 && wait.wallMs() < 3000, wait.describe());
    QVERIFY2(wait.cpuShare() < 0.5, wait.describe());
    QCOMPARE(session.status(), Message::LostContact);
}

// Waits, without pumping (which would let the port take them), until count bytes are queued
// at the slave side of the line.
bool bytesQueuedAtSlave(const PtyPair& pty, int count) {
    QElapsedTimer clock;
    clock.start();
    int queued = 0;
    while (::ioctl(pty.slaveFd(), FIONREAD, &queued) == 0 && queued < count) {
        if (clock.elapsed() > 5000)
            return false;
        std::this_thread::yield();
    }
    return queued >= count;
}

} // namespace

class ProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void framing_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("set address 1F0") << "a" + hexWord(0x1F0) << QByteArray("a01F0\n");
        QTest::newRow("write 3FFF") << "w" + hexWord(0x3FFF) << QByteArray("w3FFF\n");
        QTest::newRow("go") << "g" << QByteArray("g\n");
        QTest::newRow("identify") << "rFFFF" << QByteArray("rFFFF\n");
        QTest::newRow("read word") << "r1" << QByteArray("r1\n");
        QTest::newRow("40 characters") << QString(40, 'w') << QByteArray(40, 'w') + '\n';
        QTest::newRow("cut at 40") << QString(41, 'w') << QByteArray(40, 'w') + '\n';
    }
    void framing() {
        QFETCH(QString, command);
        QFETCH(QByteArray, line);
        Rig rig;
        QVERIFY(rig.opened);
        rig.session.SEND_HEX(command);
        QTRY_COMPARE(rig.peer.receivedBytes(), line);
        QCOMPARE(rig.peer.units(), std::vector<QByteArray>{line});
    }

    // The host sends a line only once the answer to the one before has come.
    void nothingIsSentAheadOfAnAnswer() {
        std::atomic<bool> sentAhead = false;
        PtyPair* pty = nullptr;
        Rig rig([&](const QByteArray& unit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30)); // a slow bootloader
            pollfd pending{pty->masterFd(), POLLIN, 0};
            if (::poll(&pending, 1, 0) > 0)
                sentAhead = true;
            if (unit == "r1\n")
                return QByteArray("19FF\n");
            if (unit == "rFFFF\n")
                return QByteArray("111F00\n");
            return QByteArray("\n");
        });
        pty = &rig.pty;
        QVERIFY(rig.opened);
        rig.session.SEND_HEX("a" + hexWord(0x1F00));
        QVERIFY(rig.session.RECEIVE_ACK());
        rig.session.SEND_HEX("w3FFF");
        QVERIFY(rig.session.RECEIVE_ACK());
        rig.session.SEND_HEX("r1");
        QCOMPARE(rig.session.GET_WORD_REPLY(), "19FF");
        rig.session.SEND_HEX("rFFFF");
        QCOMPARE(rig.session.GET_REPLY(), "111F00");
        rig.session.SEND_HEX("e");
        QVERIFY(rig.session.RECEIVE_ACK());
        QTRY_COMPARE(rig.peer.units().size(), size_t(5));
        QVERIFY(!sentAhead);
        QVERIFY(rig.session.status().isEmpty());
    }

    void ackAfterOtherBytes() {
        Rig rig([](const QByteArray&) { return QByteArray("x\r?i*\n"); });
        QVERIFY(rig.opened);
        rig.session.SEND_HEX("w3FFF");
        QVERIFY(rig.session.RECEIVE_ACK());
        QVERIFY(!rig.session.Timeout_Timer->isActive());
        QVERIFY(rig.session.status().isEmpty());
        QVERIFY(rig.session.DownloadOk);
        QVERIFY(rig.session.PortHandle.isOpen());
    }

    // A silent bootloader: "Lost contact" once the 1000 ms are over, and the port closed.
    void ackTimesOut() {
        Rig rig;
        QVERIFY(rig.opened);
        rig.session.SEND_HEX("a01F0");
        verifyTimesOutWithoutSpinning(rig.session);
        QVERIFY(!rig.session.DownloadOk);
        QVERIFY(!rig.session.PortHandle.isOpen());
        QVERIFY(!rig.session.Timeout_Timer->isActive());
    }

    // After a failure the port is closed, and each further wait still runs its 1000 ms
    // without spinning.
    void ackOnClosedPortTimesOutWithoutSpinning() {
        Rig rig([](const QByteArray&) { return QByteArray("\n"); });
        QVERIFY(rig.opened);
        rig.session.CloseCom();
        rig.session.SEND_HEX("w3FFF");
        verifyTimesOutWithoutSpinning(rig.session);
        QVERIFY(rig.peer.receivedBytes().isEmpty());
    }

    void ackOnVanishedDeviceTimesOut() {
        Rig rig;
        QVERIFY(rig.opened);
        rig.peer.stop();
        rig.pty.closeMaster();
        CpuStopwatch wait;
        wait.start();
        QVERIFY(!rig.session.RECEIVE_ACK());
        wait.stop();
        QVERIFY2(wait.wallMs() < 3000, wait.describe());
        QVERIFY2(wait.cpuShare() < 0.5, wait.describe());
        QCOMPARE(rig.session.status(), Message::LostContact);
        QVERIFY(!rig.session.PortHandle.isOpen());
    }

    void requestDuringAck_data() {
        QTest::addColumn<bool>("close");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Close") << true;
    }
    void requestDuringAck() {
        QFETCH(bool, close);
        Rig rig;
        QVERIFY(rig.opened);
        rig.session.DISPLAY_MESSAGE(Message::Writing);
        bool& flag = close ? rig.session.CloseRequested : rig.session.CancelRequested;
        atFirstPumpWhere(
            &rig.session, [&] { return rig.session.Timeout_Timer->isActive(); },
            [&flag] { flag = true; });
        rig.session.SEND_HEX("w3FFF");
        QVERIFY(!rig.session.RECEIVE_ACK());
        QCOMPARE(rig.session.status(), Message::Writing); // no message of its own
        QVERIFY(rig.session.DownloadOk);
        QVERIFY(rig.session.PortHandle.isOpen());
        QVERIFY(!rig.session.Timeout_Timer->isActive());
        QVERIFY(flag);

        // The request stays in force: the next wait returns false at once, again silently.
        rig.peer.clear();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!rig.session.RECEIVE_ACK());
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rig.session.status(), Message::Writing);
    }

    // The expiry has been dispatched when the LF comes: the acknowledgement is too late.
    void ackAfterExpiryIsLost() {
        Rig rig;
        QVERIFY(rig.opened);
        connect(rig.session.Timeout_Timer, &QTimer::timeout, &rig.session,
                [&] { rig.peer.send("\n"); });
        rig.session.SEND_HEX("w3FFF");
        QVERIFY(!rig.session.RECEIVE_ACK());
        QCOMPARE(rig.session.status(), Message::LostContact);
    }

    // The LF arrives just as the 1000 ms run out, before the expiry is dispatched: the final
    // pump dispatches it, and the result is still "Lost contact".
    void ackAtTheMomentOfExpiryIsLost() {
        Rig rig;
        QVERIFY(rig.opened);
        QTimer early;
        early.setSingleShot(true);
        early.setTimerType(Qt::PreciseTimer);
        connect(&early, &QTimer::timeout, &rig.session, [&] {
            rig.peer.send("\n");
            // Hold the pump until the time-out has run out, without dispatching its expiry.
            while (rig.session.Timeout_Timer->remainingTime() > 0)
                std::this_thread::yield();
        });
        early.start(AckTimeoutMs); // started just before the acknowledgement wait's own
        rig.session.SEND_HEX("w3FFF");
        QVERIFY(!rig.session.RECEIVE_ACK());
        QCOMPARE(rig.session.status(), Message::LostContact);
        QVERIFY(!rig.session.Timeout_Timer->isActive());
    }

    void handshakeSkipsOtherAnswers() {
        std::atomic<int> stars = 0;
        Rig rig([&](const QByteArray& unit) {
            if (unit != "*")
                return QByteArray();
            return ++stars < 6 ? QByteArray("x") : QByteArray("i");
        });
        QVERIFY(rig.opened);
        QVERIFY(rig.session.WAIT_FOR_ACK());
        QCOMPARE(stars.load(), 6);
        QCOMPARE(rig.peer.receivedBytes(), QByteArray(6, '*'));
        QVERIFY(rig.session.status().isEmpty());
        QVERIFY(rig.session.DownloadOk);
        QVERIFY(rig.session.PortHandle.isOpen());
    }

    // With no answer the host asks about once per 20 ms (each pass waits out a one-byte read)
    // until the user cancels or closes.
    void handshakeKeepsAskingUntilARequest_data() {
        QTest::addColumn<bool>("close");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("silent, Cancel") << false << QByteArray();
        QTest::newRow("silent, Close") << true << QByteArray();
        QTest::newRow("wrong answers, Cancel") << false << QByteArray("I");
    }
    void handshakeKeepsAskingUntilARequest() {
        QFETCH(bool, close);
        QFETCH(QByteArray, answer);
        Rig rig([answer](const QByteArray&) { return answer; });
        QVERIFY(rig.opened);
        bool& flag = close ? rig.session.CloseRequested : rig.session.CancelRequested;
        atFirstPumpWhere(
            &rig.session, [&] { return rig.peer.receivedBytes().size() >= 3; },
            [&flag] { flag = true; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!rig.session.WAIT_FOR_ACK());
        const qint64 wall = clock.elapsed();
        QCOMPARE(rig.session.status(), Message::DownloadCancelled);
        QVERIFY(!rig.session.DownloadOk);
        QVERIFY(!rig.session.PortHandle.isOpen());
        const QByteArray sent = rig.peer.receivedBytes();
        QCOMPARE(sent, QByteArray(sent.size(), '*'));
        QVERIFY2(sent.size() >= 3, qPrintable(QString::number(sent.size())));
        if (answer.isEmpty()) // each silent pass waits about 20 ms
            QVERIFY2(sent.size() <= wall / 15 + 1,
                     qPrintable(QStringLiteral("%1 in %2 ms").arg(sent.size()).arg(wall)));
    }

    // Cancel is clicked in the pump of the very pass whose read then gets the "i".
    void handshakeAnswerInTheSamePassAsCancel() {
        Rig rig([](const QByteArray& unit) { return unit == "*" ? "i" : QByteArray(); });
        QVERIFY(rig.opened);
        atFirstPumpWhere(
            &rig.session, [] { return true; }, [&] { rig.session.CancelRequested = true; });
        QVERIFY(!rig.session.WAIT_FOR_ACK());
        QCOMPARE(rig.peer.receivedBytes(), QByteArray("*"));
        QCOMPARE(rig.session.status(), Message::DownloadCancelled);
        QVERIFY(!rig.session.DownloadOk);
    }

    void handshakeForgetsEarlierRequests() {
        Rig rig([](const QByteArray& unit) { return unit == "*" ? "i" : QByteArray(); });
        QVERIFY(rig.opened);
        rig.session.CancelRequested = true;
        QVERIFY(rig.session.WAIT_FOR_ACK());
        QVERIFY(!rig.session.CancelRequested);
        QVERIFY(rig.session.status().isEmpty());
    }

    // Bytes that came before a pass are thrown away: only an "i" to this pass's "*" counts.
    void handshakeIgnoresStaleAnswers() {
        std::atomic<int> stars = 0;
        Rig rig([&](const QByteArray& unit) {
            return unit == "*" && ++stars >= 3 ? QByteArray("i") : QByteArray();
        });
        QVERIFY(rig.opened);
        rig.pty.writeToMaster("iiii");
        QVERIFY(bytesQueuedAtSlave(rig.pty, 4));
        QVERIFY(rig.session.WAIT_FOR_ACK());
        QCOMPARE(rig.peer.receivedBytes(), QByteArray("***"));
    }

    // A bootloader that answers the first "*" only together with the second: the second "i"
    // is not taken for the start of the identification reply.
    void handshakeDropsAnswersThatCameLate() {
        std::atomic<int> stars = 0;
        Rig rig([&](const QByteArray& unit) {
            if (unit == "rFFFF\n")
                return QByteArray("111F00\n");
            return unit == "*" && ++stars == 2 ? QByteArray("ii") : QByteArray();
        });
        QVERIFY(rig.opened);
        QVERIFY(rig.session.WAIT_FOR_ACK());
        rig.session.SEND_HEX("rFFFF");
        QCOMPARE(rig.session.GET_REPLY(), "111F00");
    }

    void handshakeOnClosedPortWaitsForARequestWithoutSpinning() {
        Rig rig;
        QVERIFY(rig.opened);
        rig.session.CloseCom();
        // Nothing but a message can end this wait, so a timer's message is what it waits for: a
        // while of it is measured, then that message cancels it (no check depends on when).
        QTimer::singleShot(300, &rig.session, [&] { rig.session.CancelRequested = true; });
        CpuStopwatch wait;
        wait.start();
        QVERIFY(!rig.session.WAIT_FOR_ACK());
        wait.stop();
        QVERIFY2(wait.cpuShare() < 0.5, wait.describe());
        QCOMPARE(rig.session.status(), Message::DownloadCancelled);
        QVERIFY(rig.peer.receivedBytes().isEmpty());
    }

    void replies_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("reply");
        QTest::newRow("identify, full") << "rFFFF" << QByteArray("111FE0\n") << "111FE0";
        QTest::newRow("identify, lower case") << "rFFFF" << QByteArray("111f00\n") << "111f00";
        QTest::newRow("identify, short") << "rFFFF" << QByteArray("11\n") << "11";
        QTest::newRow("identify, no LF") << "rFFFF" << QByteArray("1234567") << "1234567";
        QTest::newRow("identify, too long") << "rFFFF" << QByteArray("123456789\n") << "1234567";
        QTest::newRow("identify, LF only") << "rFFFF" << QByteArray("\n") << "";
        QTest::newRow("identify, nothing") << "rFFFF" << QByteArray() << "";
        QTest::newRow("word, full") << "r1" << QByteArray("19FF\n") << "19FF";
        QTest::newRow("word, short") << "r1" << QByteArray("3F\n") << "3F";
        QTest::newRow("word, no LF") << "r1" << QByteArray("19FF1") << "19FF1";
        QTest::newRow("word, first LF ends") << "r1" << QByteArray("19\nFF\n") << "19";
        QTest::newRow("word, nothing") << "r1" << QByteArray() << "";
    }
    void replies() {
        QFETCH(QString, command);
        QFETCH(QByteArray, answer);
        QFETCH(QString, reply);
        Rig rig([answer](const QByteArray&) { return answer; });
        QVERIFY(rig.opened);
        rig.session.SEND_HEX(command);
        QElapsedTimer clock;
        clock.start();
        const QString got =
            command == "r1" ? rig.session.GET_WORD_REPLY() : rig.session.GET_REPLY();
        QCOMPARE(got, reply);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rig.session.status().isEmpty()); // a reply read reports nothing
        QVERIFY(rig.session.PortHandle.isOpen());
    }

    // The pause runs to its end whatever is clicked; the request stays for the next wait.
    void pauseIgnoresRequests() {
        Rig rig;
        QVERIFY(rig.opened);
        atFirstPumpWhere(
            &rig.session, [&] { return rig.session.Timer1->isActive(); },
            [&] { rig.session.CancelRequested = true; });
        QElapsedTimer clock;
        clock.start();
        rig.session.DELAYMS(SettlePauseMs);
        QVERIFY2(clock.elapsed() >= SettlePauseMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rig.session.CancelRequested);
        QVERIFY(!rig.session.Timer1->isActive());
        QVERIFY(!rig.session.RECEIVE_ACK());
        QVERIFY(rig.session.status().isEmpty());
    }

    void pauseDoesNotSpin() {
        Rig rig;
        QVERIFY(rig.opened);
        CpuStopwatch pause;
        pause.start();
        rig.session.DELAYMS(300);
        pause.stop();
        QVERIFY2(pause.wallMs() >= 300, pause.describe());
        QVERIFY2(pause.cpuShare() < 0.5, pause.describe());
    }

    void pauseOfNothingReturnsAtOnce_data() {
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -25;
    }
    void pauseOfNothingReturnsAtOnce() {
        QFETCH(int, milliseconds);
        DownloadSession session;
        QElapsedTimer clock;
        clock.start();
        session.DELAYMS(milliseconds);
        QVERIFY2(clock.elapsed() < 25, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!session.Timer1->isActive());
    }

    void timerHandlersStopTheirTimer() {
        DownloadSession session;
        session.Timer1->start(10000);
        session.Timer1Timer(session.Timer1);
        QVERIFY(!session.Timer1->isActive());
        session.Timeout_Timer->start(10000);
        session.Timeout_TimerTimer(session.Timeout_Timer);
        QVERIFY(!session.Timeout_Timer->isActive());
    }

    // The pace of the answers: "w1234" and its acknowledgement need 7 bytes at 19200 baud
    // (3.65 ms), and a fourth word the part's 2 ms more. The commands from `lateFrom` on (and only
    // every `lateEvery`th of them) answer `lateUs` later than that; the notice comes once, at the
    // end of the first count whose median is more than 2 ms late.
    void paceOfAnswers_data() {
        QTest::addColumn<int>("lateFrom");
        QTest::addColumn<int>("lateEvery");
        QTest::addColumn<int>("lateUs");
        QTest::addColumn<int>("noticedAt"); // the command answered then; 0: never
        QTest::newRow("on time") << 0 << 1 << 0 << 0;
        QTest::newRow("2 ms late") << 0 << 1 << 2000 << 0;
        QTest::newRow("2.1 ms late") << 0 << 1 << 2100 << 200;
        QTest::newRow("late in a third of the commands") << 0 << 3 << 20000 << 0;
        QTest::newRow("late from the 601st") << 600 << 1 << 5000 << 1200;
    }
    void paceOfAnswers() {
        QFETCH(int, lateFrom);
        QFETCH(int, lateEvery);
        QFETCH(int, lateUs);
        QFETCH(int, noticedAt);
        AnswerPace pace;
        pace.plan(3000);
        qint64 now = 0;
        int noticed = 0;
        std::optional<LateAnswers> notice;
        for (int command = 1; command <= 3000; ++command) {
            pace.sent("w1234\n", now);
            const bool blockWritten = command % 4 == 0;
            now += 7 * AnswerPace::ByteNs + (blockWritten ? AnswerPace::PartNs : 0);
            if (command > lateFrom && command % lateEvery == 0)
                now += qint64(lateUs) * 1000;
            if (const auto late = pace.answered(1, now)) {
                QCOMPARE(noticed, 0); // once
                noticed = command;
                notice = late;
            }
        }
        QCOMPARE(noticed, noticedAt);
        if (!notice)
            return;
        QVERIFY(qAbs(notice->lateMs - lateUs / 1000.0) < 0.01);
        QVERIFY(qAbs(notice->expectedMs - 3.65) < 0.01);
        QVERIFY(qAbs(double(notice->estimatedMs) - double(now) / 1.0e6) <
                0.01 * double(now) / 1.0e6);
        QVERIFY(notice->lineMs < notice->estimatedMs);
    }
};

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
