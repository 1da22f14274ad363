#pragma once

#include <QMetaType>
#include <QString>

// What a download is doing, as announced to those who follow it.
enum class DownloadPhase {
    WaitingForReset, // the port is open and "*" goes out until the bootloader answers
    Erasing,         // program memory is erased row by row
    Writing,         // the records are written and read back
    Resynchronising, // the completion marker is written; waiting for the bootloader again
    Done             // written, verified and started
};

// What a report on the status line is: a status text, or a failure with its detail.
enum class ReportKind { Status, Failure };

// How one download ended.
struct DownloadOutcome {
    enum class Result {
        Written,               // written, verified and started
        FileRefused,           // the HEX file was missing, unreadable or refused: nothing sent
        PortNotOpened,         // the port did not open
        NoBootloader,          // stopped while it waited for the bootloader's first answer
        CancelledAfterContact, // stopped after the bootloader had answered
        FailedAfterContact     // failed after the bootloader had answered: see the report
    };

    Result result = Result::Written;
    // The first failure that ended the download, with its detail; empty when it succeeded or was
    // cancelled.
    QString report;
    QString detail;

    bool written() const { return result == Result::Written; }
    // Whether anything was sent to a bootloader that had answered.
    bool reachedBoard() const {
        return result == Result::Written || result == Result::CancelledAfterContact ||
               result == Result::FailedAfterContact;
    }
};

Q_DECLARE_METATYPE(DownloadPhase)
Q_DECLARE_METATYPE(ReportKind)
