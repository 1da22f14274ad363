// The simulated target's record of how the host follows up its answers, and of how late the
// target itself handed them to the line, driven by a clock the tests control.
#include <QtTest>

#include "sim/Engine.h"

using namespace zeltra::sim;
using namespace std::chrono_literals;

class SimAnswerTimingTest : public QObject {
    Q_OBJECT

private slots:
    void recordsTheHostsTurnaroundAfterEveryAnswer_data();
    void recordsTheHostsTurnaroundAfterEveryAnswer();
    void aCommandBeforeTheAnswerIsNoTurnaround();
    void addsUpHowLateAnswersLeft();
    void anAnswerLeavesOnTheAdaptersTick_data();
    void anAnswerLeavesOnTheAdaptersTick();
};

void SimAnswerTimingTest::recordsTheHostsTurnaroundAfterEveryAnswer_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("reply") << "rFFFF";
    QTest::newRow("acknowledgement") << "a0010";
}

void SimAnswerTimingTest::recordsTheHostsTurnaroundAfterEveryAnswer() {
    QFETCH(QString, command);
    Options options;
    options.reset = Options::Reset::Immediately;
    Engine engine(options);
    const Clock::time_point start{};
    engine.receive((command + "\n").toStdString(), start);
    QVERIFY(!engine.transmit(start + 1ms).empty());
    engine.receive("r1\n", start + 4ms);
    QVERIFY(!engine.transmit(start + 5ms).empty());
    engine.receive("r", start + 7ms);
    engine.receive("1\n", start + 8ms); // the rest of a command is no new turnaround
    QCOMPARE(engine.report().hostTurnarounds, (std::vector<std::chrono::nanoseconds>{3ms, 2ms}));
}

void SimAnswerTimingTest::aCommandBeforeTheAnswerIsNoTurnaround() {
    Options options;
    options.reset = Options::Reset::Immediately;
    options.lineModel = true;
    Engine engine(options);
    const Clock::time_point start{};
    engine.receive("a0010\n", start);
    engine.receive("r1\n", start + 1ms); // the acknowledgement is not due before 3.6 ms
    QVERIFY(engine.transmit(start + 10ms).size() > 1);
    QCOMPARE(engine.report().hostTurnarounds, std::vector<std::chrono::nanoseconds>{});
}

void SimAnswerTimingTest::addsUpHowLateAnswersLeft() {
    Options options;
    options.reset = Options::Reset::Immediately;
    Engine engine(options);
    const Clock::time_point start{};
    engine.receive("a0010\n", start);
    engine.transmit(start + 2ms); // due at once, handed over 2 ms late
    engine.receive("w0001\n", start + 3ms);
    engine.transmit(start + 3ms); // on time
    engine.receive("rFFFF\n", start + 4ms);
    engine.transmit(start + 4500us);
    QCOMPARE(engine.report().lateAnswers, std::chrono::nanoseconds(2500us));
}

void SimAnswerTimingTest::anAnswerLeavesOnTheAdaptersTick_data() {
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<bool>("lineModel");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("sentAtMicros"); // since the host's first byte
    QTest::addColumn<int>("leavesAtMicros");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("16 ms, reply") << 16 << false << QByteArray("rFFFF") << 20000 << 32000
                                  << QByteArray("111F00\n");
    QTest::newRow("1 ms, reply") << 1 << false << QByteArray("rFFFF") << 20300 << 21000
                                 << QByteArray("111F00\n");
    QTest::newRow("ready on a tick")
        << 16 << false << QByteArray("a0010") << 32000 << 32000 << QByteArray("\n");
    // On the line the command arrives by 23.1 ms, its acknowledgement is there by 23.6 ms.
    QTest::newRow("16 ms, acknowledgement over the line")
        << 16 << true << QByteArray("a0010") << 20000 << 32000 << QByteArray("\n");
    // The reply's seven bytes are at the adapter by 26.8 ms and leave together.
    QTest::newRow("16 ms, reply over the line leaves whole")
        << 16 << true << QByteArray("rFFFF") << 20000 << 32000 << QByteArray("111F00\n");
    QTest::newRow("direct line") << 0 << false << QByteArray("rFFFF") << 20300 << 20300
                                 << QByteArray("111F00\n");
}

void SimAnswerTimingTest::anAnswerLeavesOnTheAdaptersTick() {
    QFETCH(int, latencyMs);
    QFETCH(bool, lineModel);
    QFETCH(QByteArray, command);
    QFETCH(int, sentAtMicros);
    QFETCH(int, leavesAtMicros);
    Options options;
    options.reset = Options::Reset::Immediately;
    options.lineModel = lineModel;
    options.adapterLatencyMs = latencyMs;
    Engine engine(options);
    const Clock::time_point start{};
    const auto sentAt = start + std::chrono::microseconds(sentAtMicros);
    const auto leavesAt = start + std::chrono::microseconds(leavesAtMicros);
    engine.receive("a0000\n", start); // the host's first byte starts the adapter's timer
    QCOMPARE(engine.transmit(sentAt), std::string("\n"));
    engine.receive(command.toStdString() + "\n", sentAt);
    if (leavesAt > sentAt)
        QCOMPARE(engine.transmit(leavesAt - 1us), std::string());
    QTEST(QByteArray::fromStdString(engine.transmit(leavesAt)), "answer");
    QCOMPARE(engine.report().violations, std::vector<std::string>{});
}

QTEST_GUILESS_MAIN(SimAnswerTimingTest)
#include "test_sim_answer_timing.moc"
