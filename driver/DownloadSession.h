#pragma once

#include "driver/DownloadOutcome.h"
#include "driver/GaugeRange.h"
#include "link/AnswerPace.h"
#include "link/CradlePort.h"
#include "ui/Messages.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CradleSearch;
class HexFileReader;
class PortDevice;
class QSaveFile;
class QTimer;
struct HexFileCheck;

// The colour of the gauge's bar: lime while idle and writing, blue while erasing, red after a
// failure.
enum class GaugeBar { Lime, Blue, Red };

// One download, check or read of a board at a time, and the tool's state between them: the
// port, the HEX file, the requests to stop, what the bootloader said of itself and how far the
// operation in hand has come. It needs no window: whoever shows an operation (the window, the
// command line) follows it through the signals below, which come at the points where the
// operation shows something, and takes its outcome. Every wait pumps the application's events,
// so that a face stays live and its requests (Cancel, Close, a port choice) are seen.
class DownloadSession : public QObject {
    Q_OBJECT

public:
    explicit DownloadSession(QObject* parent = nullptr);
    ~DownloadSession() override;

    // State of the tool.
    bool HexFilePresent = false;
    CradlePort PortHandle;
    QString HexFileName;
    bool CancelRequested = false;
    bool CloseRequested = false;
    QString PortName;
    // Whether a download looks for the cradle on every port instead of using PortName: once, for
    // the next download, keeping the port found; or in every download, keeping nothing.
    enum class PortSearch { Off, Once, EveryDownload };
    PortSearch portSearch = PortSearch::Off;
    bool DownloadOk = false; // the last download has come through so far, or to its success
    // What the latest identification of the bootloader said, exactly as received (letter case
    // included): two characters of firmware version and four of boot-vector address. Both are
    // empty until the first identification; every one overwrites both before checking them.
    QString FirmwareVersion;
    QString BootVectorAddress;
    // Position of the next word within the current block of four program-memory words (1 to 4).
    quint8 BlockWordCounter = 1;
    QTimer* Timer1 = nullptr;        // the pause of DELAYMS
    QTimer* Timeout_Timer = nullptr; // the wait for one acknowledgement
    // Keeps the port where a search that keeps its port (PortSearch::Once) found the cradle;
    // without it the port is only used. May throw DownloaderError, which ends the download.
    std::function<void(const QString& portName)> keepFoundPort;

    // Status reporting.
    void DISPLAY_MESSAGE(const QString& text);
    // The detail says what the text leaves out (the device, the line, the word). Without one,
    // the detail noted by explainFailure() is taken.
    void DO_ERROR(const QString& text, const QString& detail = QString());
    // Notes the detail of a failure found here and reported by a caller: it goes with the next
    // report.
    void explainFailure(const QString& detail);
    // Cancel: the running operation ends at its next poll; the status and the gauge are cleared.
    void cancel();
    // Close: every wait ends, and the port is closed.
    void close();

    // Download driver (driver/).
    bool START_DOWNLOADING(const QString& hexFileName);
    // Runs one download of the HEX file, and says how it ended; without a file to write it
    // reports "Cannot Read HEX file.". A HEX file that cannot be read is also raised as an
    // application error.
    DownloadOutcome writeHexFile();
    // Checks the board against the HEX file, writing nothing to it: reads back every word that a
    // download of the file writes, and the boot-vector word, and starts the board's program only
    // when they all read as a download of the file leaves them.
    DownloadOutcome verifyHexFile();
    // Reads program memory below the boot vector and the first eepromBytes of data EEPROM into
    // an Intel HEX file at path, written whole or not at all, writing nothing to the board;
    // starts the board's program when the boot-vector word shows a finished download.
    DownloadOutcome readIntoHexFile(const QString& path, int eepromBytes = DefaultEepromBytes);
    static constexpr int DefaultEepromBytes = 256; // the data EEPROM that a read takes
    // Asks from outside (an interrupt, a time-out, a parent process) that operations stop: the
    // running one ends at its next poll, reporting "Download Cancelled", and any later one at
    // once. Unlike Cancel it is never forgotten.
    void requestStop();
    bool stopRequested() const { return stopRequested_; }
    // An operation is running (or still unwinding).
    bool running() const { return running_; }
    // The status text shown last, a failure's or a status text's.
    const QString& status() const { return shownStatus_; }
    // The gauge as the operation in hand left it.
    const GaugeRange& gauge() const { return gauge_; }
    GaugeBar gaugeBar() const { return bar_; }

    // Serial port (link/).
    bool OpenCom(const QString& portName);
    bool CloseCom();
    int WRITE_BYTE(char byte);
    char READ_BYTE();

    // Command framing, acknowledgement and synchronisation (link/).
    void SEND_HEX(const QString& command);
    QString GET_REPLY();
    QString GET_WORD_REPLY();
    bool RECEIVE_ACK();
    bool WAIT_FOR_ACK();
    void DELAYMS(int milliseconds);
    void Timer1Timer(QObject* Sender);
    void Timeout_TimerTimer(QObject* Sender);

    // Bootloader device operations (device/).
    QString GET_FIRMWARE_VERSION();
    QString READ_VECTOR_ADDRESS();
    bool ERASE_PICMICRO();
    bool FINISH_BOOTLOAD();

    // HEX image transfer (hex/).
    bool SEND_DATA_TO_MICRO(const QByteArray& recordType, const QByteArray& line);
    bool PROGRAM_MAIN_MEMORY(const QByteArray& line, quint16 wordAddress, quint8 lastWordIndex);
    bool PROGRAM_EEPROM(const QByteArray& line, quint16 wordAddress, quint8 lastWordIndex);

signals:
    // An operation starts afresh: the reports of the last one are history.
    void started();
    // An operation runs, or has ended.
    void runningChanged(bool running);
    // Every status text shown, and every failure reported with its detail, as they come.
    void statusShown(const QString& text);
    void failureShown(const QString& text, const QString& detail);
    // A result that has a detail (where a board was read into, and what of it).
    void resultShown(const QString& text, const QString& detail);
    // The gauge's range and position, whenever one of them is set, and its bar's colour.
    void gaugeChanged(int progress, int maximum);
    void gaugeBarChanged(GaugeBar bar);
    // Whether Write may be pressed now; whether Cancel and Close may (not while rows are erased).
    void writeAllowed(bool allowed);
    void stopAllowed(bool allowed);
    // What the operation says of the port it uses or the ports it asks (may be several lines).
    void portNoted(const QString& note);
    // An error that ends the operation and that the user must see besides the status line (a
    // HEX file that cannot be read).
    void errorRaised(const QString& message);

    // What an operation is doing.
    void phaseChanged(DownloadPhase phase);
    // Words erased, written or read so far and in all in this phase, and the gauge's percentage.
    void progressed(int wordsDone, int wordsTotal, int percent);
    // Every status text as it changes, and every failure with its detail.
    void reported(const QString& text, const QString& detail, ReportKind kind);
    // The bootloader's first answer in an operation, and the port it came on.
    void bootloaderAnswered(const QString& portName);
    // A search found the cradle on this port, which the system describes so (may be empty).
    void cradleFound(const QString& portName, const QString& description);
    // The answers come late, at the pace found, once per operation: what that means for the
    // operation, and what may hold them back on this port and what to do about it.
    void answersLate(const LateAnswers& pace, const QString& text, const QString& cause);

private:
    // Dispatches every pending event, then returns at once.
    void pump();

    // The gauge, shown as it changes.
    void setGaugeMaximum(int maximum);
    void setGaugeProgress(int progress);
    void setGaugeBar(GaugeBar bar);

    // Steps of the download (driver/).
    // Runs a download, a check or a read of the board, afresh, and says how it ended.
    DownloadOutcome runOperation(const std::function<bool()>& operation,
                                 DownloadOutcome::Result success);
    DownloadOutcome outcomeOf(bool succeeded, DownloadOutcome::Result success) const;
    void enterPhase(DownloadPhase phase);
    void announceProgress(int wordsDone, int wordsTotal);
    bool runDownload(HexFileReader& hexFile);
    // A damaged HEX file is refused before the target is touched: its fault is reported, then
    // `failure`.
    HexFileCheck checkHexFileFirst(HexFileReader& hexFile, const QString& failure);
    // Opens the port (or finds the cradle), waits for the bootloader and identifies it; returns
    // the boot-vector word, or an empty text when the operation ends here (reported).
    QString meetBootloader();
    bool eraseProgramMemoryAndIdentify();
    bool sendRecords(HexFileReader& hexFile, int wordsTotal);
    bool writeCompletionMarker();
    bool startNewProgram();
    bool endDownload(bool good, const QString& failure = Message::DownloadFailed);
    // Steps of the check and of the read of the board (driver/).
    bool checkBoard(HexFileReader& hexFile);
    bool readBoard(QSaveFile& file, int eepromBytes);
    bool finishBoardRead(const QString& bootVectorWord, const QString& report,
                         const QString& detail = QString());
    // Shows a result with its detail, as DISPLAY_MESSAGE shows a status text.
    void showResult(const QString& text, const QString& detail);
    // Cancel, or a stop asked for from outside: the download reports "Download Cancelled".
    bool cancelled() const { return CancelRequested || stopRequested_; }
    // Any request that ends the waiting loops: a cancel, or Close.
    bool stopping() const { return cancelled() || CloseRequested; }

    // The command, then its acknowledgement (link/).
    bool sendAcknowledged(const QString& command);
    // Times the answer to the command sent last (a reply only when it came).
    QString timedAnswer(const QString& reply, int answerBytes);
    void timeAnswer(int answerBytes);
    // The port for the download: PortName opened, or the port where a search finds the cradle.
    bool openPortForDownload(std::unique_ptr<CradleSearch>& search);
    bool findCradle(CradleSearch& search);

    // Reads the words at ascending addresses with "r1", and hands each to `take` with its
    // address; false when the reading ends early, reported or stopped (hex/).
    bool readWords(const QList<quint16>& addresses,
                   const std::function<void(quint16 address, quint16 word)>& take);

    // Steps of the device operations (device/).
    // How an erase ended: erased, and the bootloader synchronised again; failed, with a report;
    // or stopped in its rows by a port choice, which reports nothing.
    enum class EraseEnd { Erased, Failed, Stopped };
    EraseEnd eraseProgramMemory();
    bool writeMarkerBlock(quint16 marker);
    // Whether the bootloader behind a port that answered "*" is one the tool accepts; reports
    // nothing.
    bool acceptsBootloader(PortDevice& port);
    void stepBlockWordCounter();

    bool running_ = false;                // an operation is running (or still unwinding)
    PortSearch search_ = PortSearch::Off; // how the operation in hand finds its port
    QString shownStatus_;                 // the status text shown last
    GaugeRange gauge_;
    GaugeBar bar_ = GaugeBar::Lime;

    AnswerPace pace_; // of the operation in hand, on its own clock
    QElapsedTimer paceClock_;
    QString operationName_; // "download", "check" or "read", for the notice of late answers

    QString failureDetail_; // noted by explainFailure() for the next report
    bool stopRequested_ = false;

    // How far the operation in hand has come, for its outcome.
    struct Progress {
        bool fileAccepted = false; // the HEX file passed its check
        bool portOpened = false;
        bool contact = false; // the bootloader has answered
        QString failure;      // the first failure reported, and its detail
        QString failureDetail;
        bool compared = false; // a check of the board has compared every word
        BoardCheck check;
    } progress_;
};

Q_DECLARE_METATYPE(GaugeBar)
Q_DECLARE_METATYPE(LateAnswers)
