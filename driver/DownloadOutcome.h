#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// What a download is doing, as announced to those who follow it.
enum class DownloadPhase {
    WaitingForReset, // the port is open and "*" goes out until the bootloader answers
    Erasing,         // program memory is erased row by row
    Writing,         // the records are written and read back
    Resynchronising, // the completion marker is written; waiting for the bootloader again
    Done,            // written, verified and started
    Verifying,       // the words that a download of the file writes are read back and compared
    Reading          // program memory and data EEPROM are read
};

// What a report on the status line is: a status text, or a failure with its detail.
enum class ReportKind { Status, Failure };

// What a check of the board against a HEX file found.
struct BoardCheck {
    struct Difference {
        quint16 address;
        quint16 board; // the word read from the board
        quint16 file;  // the word a download of the file writes there
    };
    static constexpr int DifferencesListed = 10;

    int wordsCompared = 0;
    int wordsDiffering = 0;
    QList<Difference> differences; // the first DifferencesListed, in address order
    QString bootVectorWord;        // as read
    // The boot-vector word is not the completion marker: the board's last download did not finish.
    bool downloadUnfinished = false;

    bool holdsFile() const { return wordsDiffering == 0 && !downloadUnfinished; }
};

// How one download, check or read of the board ended.
struct DownloadOutcome {
    enum class Result {
        Written,               // written, verified and started
        FileRefused,           // the HEX file was missing, unreadable or refused: nothing sent
        PortNotOpened,         // the port did not open
        NoBootloader,          // stopped while it waited for the bootloader's first answer
        CancelledAfterContact, // stopped after the bootloader had answered
        FailedAfterContact,    // failed after the bootloader had answered: see the report
        Matched,               // checked: the board holds the file, and its program was started
        Differs,               // checked: the board does not hold the file, see `check`
        Read                   // the board was read into the HEX file
    };

    Result result = Result::Written;
    // The first failure that ended the download, with its detail; empty when it succeeded or was
    // cancelled.
    QString report;
    QString detail;
    BoardCheck check; // what a check of the board found, once it has compared every word

    bool written() const { return result == Result::Written; }
    // Whether the download, the check or the read did what it was asked.
    bool succeeded() const {
        return result == Result::Written || result == Result::Matched || result == Result::Read;
    }
    // Whether anything was sent to a bootloader that had answered.
    bool reachedBoard() const {
        return result != Result::FileRefused && result != Result::PortNotOpened &&
               result != Result::NoBootloader;
    }
};

Q_DECLARE_METATYPE(DownloadPhase)
Q_DECLARE_METATYPE(ReportKind)
