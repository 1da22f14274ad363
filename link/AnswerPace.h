#pragma once

#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <optional>

// What the pace of the answers came to when they were found late.
struct LateAnswers {
    double measuredMs = 0; // the median time from the end of a command's write to its answer
    double expectedMs = 0; // the median time the line and the part need for a command
    double lateMs = 0;     // the median of how much later than that each answer came
    int commandsTimed = 0; // the commands timed when the answers were found late
    qint64 afterMs = 0;    // since the operation's first command
    // The operation's whole time at this pace, from its first command to its last, and what the
    // line and the part need for all of it.
    qint64 estimatedMs = 0;
    qint64 lineMs = 0;
};

// Times every command of an operation from the end of its write to its answer, and compares the
// median of the first FirstCount (then of every further LaterCount) with what the line needs
// for the command and its answer at 19200 baud, and the part for an erase or a block write.
// Answers that come more than LateMs late per command are reported once per operation.
class AnswerPace {
public:
    static constexpr int FirstCount = 200;
    static constexpr int LaterCount = 1000;
    static constexpr double LateMs = 2.0;
    static constexpr qint64 ByteNs = 520833;  // 10 bits at 19200 baud
    static constexpr qint64 PartNs = 2000000; // a row erase, a block write

    // An operation begins: what was timed is forgotten.
    void restart();
    // The operation sends this many answered commands after those sent so far, by its own count.
    void plan(qint64 commandsStill);
    // A command line went out at `atNs` (on one clock for the operation).
    void sent(QByteArrayView line, qint64 atNs);
    // Its answer of answerBytes arrived at atNs; returns what the pace came to when this answer
    // completes a count that is found late, the first time only.
    std::optional<LateAnswers> answered(int answerBytes, qint64 atNs);

private:
    std::optional<LateAnswers> judge(qint64 atNs);

    struct Timing {
        qint64 measuredNs;
        qint64 expectedNs;
    };

    std::optional<qint64> firstSentNs_;
    qint64 sentAtNs_ = 0;
    // What the line and the part need for the command sent, without its answer.
    qint64 sentNeedsNs_ = 0;
    int wordsSinceAddress_ = 0;
    qint64 commandsAnswered_ = 0;
    qint64 commandsPlanned_ = 0;
    qint64 expectedSumNs_ = 0;
    QList<Timing> count_; // the count in hand
    bool reported_ = false;
};
