#pragma once

#include "driver/DownloadSession.h"
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

// Where the window finds its own executable and its command line. The default is the running
// process; tests and tools hand in their own.
struct StartupContext {
    QString executablePath; // full path of the executable
    QStringList arguments;  // the command line, argument 0 being the program
    static StartupContext fromApplication();
};

// How long the window shows a successful download before it closes itself.
constexpr int SuccessShownMs = 1000;

// The downloader's one window: every control the user sees, the start-up, the port choices, and
// the drawing of its download session's operations, at the points where they show something.
class TDownloadForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TDownloadForm(StartupContext context = StartupContext::fromApplication(),
                           QWidget* parent = nullptr);
    ~TDownloadForm() override;

    // Controls, in order of declaration.
    QFrame* Bevel1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* PortSetup = nullptr;
    QAction* COM1Item = nullptr;
    QAction* COM2Item = nullptr;
    QAction* COM3Item = nullptr;
    QAction* NetworkPortItem = nullptr; // below the ports: asks for a network port's URL
    QAction* FindCradleItem = nullptr;  // below the ports: a download that looks for the cradle
    QMenu* BoardSetup = nullptr;        // after Port: what the board holds
    QAction* VerifyItem = nullptr;      // checks the board against the HEX file
    QAction* ReadItem = nullptr;        // reads the board into a HEX file
    ProgressGauge* DownloadGauge = nullptr;
    QFrame* Bevel2 = nullptr;
    StatusLine* Edit2 = nullptr;
    QFrame* Bevel3 = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* WriteButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* CloseButton = nullptr;

    QString ExeDir;

    // The tool's state and its operations.
    DownloadSession& session() { return session_; }
    const DownloadSession& session() const { return session_; }

    // Start-up and settings (app/).
    void FormActivate(QObject* Sender);
    void COM1ItemClick(QObject* Sender);
    void COM2ItemClick(QObject* Sender);
    void COM3ItemClick(QObject* Sender);
    void NetworkPortItemClick(QObject* Sender);
    void FindCradleItemClick(QObject* Sender);

    // The Board menu (ui/): a check and a read of the board, writing nothing to it.
    void VerifyItemClick(QObject* Sender);
    void ReadItemClick(QObject* Sender);

    // Window and status reporting (ui/): the session's, shown here.
    void CancelButtonClick(QObject* Sender);
    void CloseButtonClick(QObject* Sender);
    void DISPLAY_MESSAGE(const QString& text) { session_.DISPLAY_MESSAGE(text); }
    void DO_ERROR(const QString& text, const QString& detail = QString()) {
        session_.DO_ERROR(text, detail);
    }

    // Download driver (driver/).
    void WriteButtonClick(QObject* Sender);
    bool START_DOWNLOADING(const QString& hexFileName) {
        return session_.START_DOWNLOADING(hexFileName);
    }
    // Runs one download of the tool's HEX file as Write does, and says how it ended (see
    // DownloadSession::writeHexFile()). The window stays open. A HEX file that cannot be read is
    // shown as the application's errors are.
    DownloadOutcome writeHexFile() { return session_.writeHexFile(); }

    // Makes path the HEX file: its name is the caption (start-up, app/).
    void takeHexFile(const QString& path);

    // The settings file, opened during activation and kept to the end of the program.
    SettingsFile* settingsFile() const { return SettingsFile_.get(); }

protected:
    bool event(QEvent* event) override;

private:
    // Draws what the session shows: status, failures, gauge, buttons, the note on the port.
    void drawSession();
    void drawFailure(const QString& text, const QString& detail);
    void drawGauge(int progress, int maximum);
    void drawGaugeBar(GaugeBar bar);
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

    // Runs an operation, and again while a search for the cradle was asked for meanwhile.
    DownloadOutcome runAgainForSearch(const std::function<DownloadOutcome()>& operation);
    void makeBoardMenu();

    // A HEX file chosen or dropped when there is none to write (driver/).
    bool askForHexFile();
    bool acceptsDrop(const QMimeData& data) const;
    void writeDroppedFile(const QMimeData& data);

    DownloadSession session_;
    StartupContext context_;
    std::unique_ptr<SettingsFile> SettingsFile_;
    bool activated_ = false; // the start-up sequence runs on the first activation only
    bool centred_ = false;   // the window is centred on the screen when first shown

    // Closes the window once a successful download has been seen.
    QTimer* successShown_ = nullptr;

    // The Port menu's detected ports and the port in use, between the three COM items and
    // "Network Port…".
    PortMenu* portMenu_ = nullptr;
};
