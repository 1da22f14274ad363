#include "link/AnswerPace.h"

#include <algorithm>

namespace {

qint64 median(QList<qint64> values) {
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double milliseconds(qint64 ns) {
    return double(ns) / 1.0e6;
}

} // namespace

void AnswerPace::restart() {
    *this = AnswerPace();
}

void AnswerPace::plan(qint64 commandsStill) {
    commandsPlanned_ = commandsAnswered_ + commandsStill;
}

// The bootloader erases a row on "e", and writes a block on every fourth word after an address.
void AnswerPace::sent(QByteArrayView line, qint64 atNs) {
    if (!firstSentNs_)
        firstSentNs_ = atNs;
    sentAtNs_ = atNs;
    const char kind = line.isEmpty() ? '\0' : line.front();
    if (kind == 'a')
        wordsSinceAddress_ = 0;
    else if (kind == 'w')
        ++wordsSinceAddress_;
    const bool part = kind == 'e' || (kind == 'w' && wordsSinceAddress_ % 4 == 0);
    sentNeedsNs_ = ByteNs * line.size() + (part ? PartNs : 0);
}

std::optional<LateAnswers> AnswerPace::answered(int answerBytes, qint64 atNs) {
    if (reported_)
        return std::nullopt;
    const qint64 expected = sentNeedsNs_ + ByteNs * answerBytes;
    ++commandsAnswered_;
    expectedSumNs_ += expected;
    count_.append({atNs - sentAtNs_, expected});
    if (count_.size() < (commandsAnswered_ <= FirstCount ? FirstCount : LaterCount))
        return std::nullopt;
    return judge(atNs);
}

std::optional<LateAnswers> AnswerPace::judge(qint64 atNs) {
    QList<qint64> measured, expected, lateness;
    for (const Timing& timing : std::as_const(count_)) {
        measured.append(timing.measuredNs);
        expected.append(timing.expectedNs);
        lateness.append(timing.measuredNs - timing.expectedNs);
    }
    count_.clear();
    LateAnswers pace;
    pace.lateMs = milliseconds(median(lateness));
    pace.measuredMs = milliseconds(median(measured));
    pace.expectedMs = milliseconds(median(expected));
    if (pace.lateMs <= LateMs)
        return std::nullopt;
    reported_ = true;
    // The commands still to come take what the line needs on average, and the lateness.
    const double meanExpectedNs = double(expectedSumNs_) / double(commandsAnswered_);
    const qint64 planned = std::max(commandsPlanned_, commandsAnswered_);
    const double stillNs =
        double(planned - commandsAnswered_) * (meanExpectedNs + pace.lateMs * 1.0e6);
    pace.commandsTimed = int(commandsAnswered_);
    pace.afterMs = (atNs - *firstSentNs_) / 1000000;
    pace.estimatedMs = qint64((double(atNs - *firstSentNs_) + stillNs) / 1.0e6);
    pace.lineMs = qint64(double(planned) * meanExpectedNs / 1.0e6);
    return pace;
}
