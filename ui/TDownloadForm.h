#pragma once

#include "driver/DownloadOutcome.h"
#include "link/CradlePort.h"
#include "link/SerialDevice.h"
#include "ui/Messages.h"
#include "ui/StatusLine.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QFrame;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QMimeData;
class QPushButton;
class QTimer;
class QWidget;
class PortMenu;
class ProgressGauge;
class SettingsFile;
class HexFileReader;
struct HexFileCheck;
class CradleSearch;
class QSaveFile;

// Where the window finds its own executable and its command line. The default is the running
// process; tests and tools hand in their own.
struct StartupContext {
    QString executablePath; // full path of the executable
    QStringList arguments;  // the command line, argument 0 being the program
    static StartupContext fromApplication();
};

// How long the window shows a successful download before it closes itself.
constexpr int SuccessShownMs = 1000;

// The downloader's one window. It holds every control the user sees, the state of the tool, and
// all of the tool's operations; each operation is implemented in the folder of its subsystem.
class TDownloadForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TDownloadForm(StartupContext context = StartupContext::fromApplication(),
                           QWidget* parent = nullptr);
    ~TDownloadForm() override;

    // Controls, in order of declaration.
    QTimer* Timer1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* PortSetup = nullptr;
    QAction* COM1Item = nullptr;
    QAction* COM2Item = nullptr;
    QAction* COM3Item = nullptr;
    QAction* NetworkPortItem = nullptr; // below the ports: asks for a network port's URL
    QAction* FindCradleItem = nullptr;  // below the ports: a download that looks for the cradle
    ProgressGauge* DownloadGauge = nullptr;
    QFrame* Bevel2 = nullptr;
    StatusLine* Edit2 = nullptr;
    QFrame* Bevel3 = nullptr;
    QTimer* Timeout_Timer = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* WriteButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // State of the tool.
    bool HexFilePresent = false;
    CradlePort PortHandle;
    QString ExeDir;
    QString HexFileName;
    bool CancelRequested = false;
    bool CloseRequested = false;
    QString PortName;
    // Whether a download looks for the cradle on every port instead of using PortName: once, for
    // the next download, keeping the port found; or in every download, keeping nothing.
    enum class PortSearch { Off, Once, EveryDownload };
    PortSearch portSearch = PortSearch::Off;
    bool DownloadOk = false; // the last download has come through so far, or to its success

    // Start-up and settings (app/).
    void FormActivate(QObject* Sender);
    void COM1ItemClick(QObject* Sender);
    void COM2ItemClick(QObject* Sender);
    void COM3ItemClick(QObject* Sender);
    void NetworkPortItemClick(QObject* Sender);
    void FindCradleItemClick(QObject* Sender);

    // Window and status reporting (ui/).
    void CancelButtonClick(QObject* Sender);
    void CloseButtonClick(QObject* Sender);
    void DISPLAY_MESSAGE(const QString& text);
    // The detail says what the text leaves out (the device, the line, the word); it is shown in
    // the status line's tool tip. Without one, the detail noted by explainFailure() is taken.
    void DO_ERROR(const QString& text, const QString& detail = QString());
    // Notes the detail of a failure found here and reported by a caller: it goes with the next
    // report.
    void explainFailure(const QString& detail);

    // Download driver (driver/).
    void WriteButtonClick(QObject* Sender);
    bool START_DOWNLOADING(const QString& hexFileName);
    // Runs one download of the tool's HEX file as Write does, and says how it ended; without a
    // file to write it reports "Cannot Read HEX file.". The window stays open. A HEX file that
    // cannot be read is shown as the application's errors are.
    DownloadOutcome writeHexFile();
    // Checks the board against the tool's HEX file, writing nothing to it: reads back every word
    // that a download of the file writes, and the boot-vector word, and starts the board's
    // program only when they all read as a download of the file leaves them.
    DownloadOutcome verifyHexFile();
    // Reads program memory below the boot vector and the first eepromBytes of data EEPROM into
    // an Intel HEX file at path, written whole or not at all, writing nothing to the board;
    // starts the board's program when the boot-vector word shows a finished download.
    DownloadOutcome readIntoHexFile(const QString& path, int eepromBytes);
    // Asks from outside the window (an interrupt, a time-out, a parent process) that downloads
    // stop: the running one ends at its next poll, reporting "Download Cancelled", and any
    // later one at once. Unlike Cancel it is never forgotten.
    void requestStop();
    bool stopRequested() const { return stopRequested_; }

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

    // Makes path the HEX file: its name is the caption (start-up, app/).
    void takeHexFile(const QString& path);

    // The settings file, opened during activation and kept to the end of the program.
    SettingsFile* settingsFile() const { return SettingsFile_.get(); }

signals:
    // A download's events, as they happen, for those who follow it beside the window.
    void phaseChanged(DownloadPhase phase);
    // Words erased or written so far and in all in this phase, and the gauge's percentage.
    void progressed(int wordsDone, int wordsTotal, int percent);
    // Every status text as it changes, and every failure with its detail.
    void reported(const QString& text, const QString& detail, ReportKind kind);
    // The bootloader's first answer in a download, and the port it came on.
    void bootloaderAnswered(const QString& portName);
    // A search found the cradle on this port, which the system describes so (may be empty).
    void cradleFound(const QString& portName, const QString& description);

protected:
    bool event(QEvent* event) override;

private:
    // Dispatches every pending window message, then returns at once.
    void pump();
    void choosePort(const QString& portName);
    // Makes portName the port in use: marked in the Port menu and saved.
    void keepPort(const QString& portName);
    // Enter presses Write and Escape presses Cancel, each when its button is enabled.
    bool pressButtonForKey(const QKeyEvent& key);
    void centreOnScreen();
    // Shows the success for SuccessShownMs, with nothing left to write or cancel, then closes
    // the window; Close closes it at once.
    void closeAfterSuccess();

    // A HEX file chosen or dropped when there is none to write (driver/).
    bool askForHexFile();
    bool acceptsDrop(const QMimeData& data) const;
    void writeDroppedFile(const QMimeData& data);

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
    bool finishBoardRead(const QString& bootVectorWord, const QString& report);
    // Cancel, or a stop asked for from outside: the download reports "Download Cancelled".
    bool cancelled() const { return CancelRequested || stopRequested_; }
    // Any request that ends the waiting loops: a cancel, or Close.
    bool stopping() const { return cancelled() || CloseRequested; }

    // The command, then its acknowledgement (link/).
    bool sendAcknowledged(const QString& command);
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

    StartupContext context_;
    std::unique_ptr<SettingsFile> SettingsFile_;
    bool activated_ = false;              // the start-up sequence runs on the first activation only
    bool centred_ = false;                // the window is centred on the screen when first shown
    bool downloading_ = false;            // a download is running (or still unwinding)
    PortSearch search_ = PortSearch::Off; // how the download in hand finds its port

    QString failureDetail_; // noted by explainFailure() for the next report
    bool stopRequested_ = false;

    // How far the download in hand has come, for its outcome.
    struct Progress {
        bool fileAccepted = false; // the HEX file passed its check
        bool portOpened = false;
        bool contact = false; // the bootloader has answered
        QString failure;      // the first failure reported, and its detail
        QString failureDetail;
        bool compared = false; // a check of the board has compared every word
        BoardCheck check;
    } progress_;

    // Closes the window once a successful download has been seen.
    QTimer* successShown_ = nullptr;

    // The Port menu's detected ports and the port in use, between the three COM items and
    // "Network Port…".
    PortMenu* portMenu_ = nullptr;
};
