#include "cli/JsonLines.h"

#include "link/HexText.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>

JsonLines::JsonLines(QIODevice& out, const QString& port) : out_(out), port_(port) {
    clock_.start();
}

QString JsonLines::phaseName(DownloadPhase phase) {
    switch (phase) {
    case DownloadPhase::WaitingForReset:
        return QStringLiteral("waiting-for-reset");
    case DownloadPhase::Erasing:
        return QStringLiteral("erasing");
    case DownloadPhase::Writing:
        return QStringLiteral("writing");
    case DownloadPhase::Resynchronising:
        return QStringLiteral("resynchronising");
    case DownloadPhase::Done:
        return QStringLiteral("done");
    case DownloadPhase::Verifying:
        return QStringLiteral("verifying");
    case DownloadPhase::Reading:
        return QStringLiteral("reading");
    }
    return {};
}

DownloadPhase JsonLines::phaseNamed(const QString& name) {
    for (const DownloadPhase phase :
         {DownloadPhase::WaitingForReset, DownloadPhase::Erasing, DownloadPhase::Writing,
          DownloadPhase::Resynchronising, DownloadPhase::Verifying, DownloadPhase::Reading})
        if (phaseName(phase) == name)
            return phase;
    return DownloadPhase::Done;
}

DownloadOutcome::Result JsonLines::resultNamed(const QString& name) {
    using Result = DownloadOutcome::Result;
    for (const Result result :
         {Result::Written, Result::FileRefused, Result::PortNotOpened, Result::NoBootloader,
          Result::CancelledAfterContact, Result::FailedAfterContact, Result::Matched,
          Result::Differs, Result::Read})
        if (resultName(result) == name)
            return result;
    return Result::FailedAfterContact;
}

QString JsonLines::kindName(ReportKind kind) {
    return kind == ReportKind::Failure ? QStringLiteral("failure") : QStringLiteral("status");
}

QString JsonLines::resultName(DownloadOutcome::Result result) {
    using Result = DownloadOutcome::Result;
    switch (result) {
    case Result::Written:
        return QStringLiteral("written");
    case Result::FileRefused:
        return QStringLiteral("file-refused");
    case Result::PortNotOpened:
        return QStringLiteral("port-not-opened");
    case Result::NoBootloader:
        return QStringLiteral("no-bootloader");
    case Result::CancelledAfterContact:
        return QStringLiteral("cancelled");
    case Result::FailedAfterContact:
        return QStringLiteral("failed");
    case Result::Matched:
        return QStringLiteral("matched");
    case Result::Differs:
        return QStringLiteral("differs");
    case Result::Read:
        return QStringLiteral("read");
    }
    return {};
}

void JsonLines::phase(int board, DownloadPhase phase) {
    write(board, QStringLiteral("phase"), {{QStringLiteral("phase"), phaseName(phase)}});
}

void JsonLines::progress(int board, int wordsDone, int wordsTotal, int percent) {
    write(board, QStringLiteral("progress"),
          {{QStringLiteral("wordsDone"), wordsDone},
           {QStringLiteral("wordsTotal"), wordsTotal},
           {QStringLiteral("percent"), percent}});
}

void JsonLines::report(int board, const QString& text, const QString& detail, ReportKind kind) {
    write(board, QStringLiteral("report"),
          {{QStringLiteral("kind"), kindName(kind)},
           {QStringLiteral("text"), text},
           {QStringLiteral("detail"), detail}});
}

void JsonLines::found(int board, const QString& port, const QString& description) {
    write(board, QStringLiteral("found"),
          {{QStringLiteral("foundPort"), port}, {QStringLiteral("description"), description}});
}

void JsonLines::slowLine(int board, const LateAnswers& pace, const QString& text,
                         const QString& cause) {
    write(board, QStringLiteral("slow-line"),
          {{QStringLiteral("measuredMsPerCommand"), pace.measuredMs},
           {QStringLiteral("expectedMsPerCommand"), pace.expectedMs},
           {QStringLiteral("lateMsPerCommand"), pace.lateMs},
           {QStringLiteral("commandsTimed"), pace.commandsTimed},
           {QStringLiteral("afterMs"), pace.afterMs},
           {QStringLiteral("estimatedMs"), pace.estimatedMs},
           {QStringLiteral("lineMs"), pace.lineMs},
           {QStringLiteral("text"), text},
           {QStringLiteral("cause"), cause}});
}

// What a check of the board found: the words compared and differing, the first that differ, and
// the boot-vector word.
QJsonObject checkObject(const BoardCheck& check) {
    QJsonArray differences;
    for (const BoardCheck::Difference& difference : check.differences)
        differences.append(QJsonObject{{QStringLiteral("address"), hexWord(difference.address)},
                                       {QStringLiteral("board"), hexWord(difference.board)},
                                       {QStringLiteral("file"), hexWord(difference.file)}});
    return {{QStringLiteral("wordsCompared"), check.wordsCompared},
            {QStringLiteral("wordsDiffering"), check.wordsDiffering},
            {QStringLiteral("differences"), differences},
            {QStringLiteral("bootVectorWord"), check.bootVectorWord},
            {QStringLiteral("downloadUnfinished"), check.downloadUnfinished}};
}

void JsonLines::result(int board, const DownloadOutcome& outcome, qint64 ms) {
    QJsonObject fields{{QStringLiteral("result"), resultName(outcome.result)},
                       {QStringLiteral("written"), outcome.written()},
                       {QStringLiteral("succeeded"), outcome.succeeded()},
                       {QStringLiteral("boardMs"), ms},
                       {QStringLiteral("report"), outcome.report},
                       {QStringLiteral("detail"), outcome.detail}};
    if (outcome.result == DownloadOutcome::Result::Matched ||
        outcome.result == DownloadOutcome::Result::Differs)
        fields.insert(QStringLiteral("check"), checkObject(outcome.check));
    write(board, QStringLiteral("result"), fields);
}

void JsonLines::summary(int written, int failed, qint64 meanMs, int status) {
    write(0, QStringLiteral("summary"),
          {{QStringLiteral("boardsWritten"), written},
           {QStringLiteral("boardsFailed"), failed},
           {QStringLiteral("meanBoardMs"), meanMs},
           {QStringLiteral("status"), status}});
}

void JsonLines::write(int board, const QString& event, QJsonObject fields) {
    fields.insert(QStringLiteral("port"), port_);
    fields.insert(QStringLiteral("board"), board);
    fields.insert(QStringLiteral("event"), event);
    fields.insert(QStringLiteral("ms"), clock_.elapsed());
    pass(fields);
}

void JsonLines::pass(const QJsonObject& event) {
    out_.write(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}
