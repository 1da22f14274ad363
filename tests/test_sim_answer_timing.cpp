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

QTEST_GUILESS_MAIN(SimAnswerTimingTest)
#include "test_sim_answer_timing.moc"
