#include "app/ErrorHandler.h"
#include "app/StartUp.h"
#include "device/Markers.h"
#include "device/TargetIdentity.h"
#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"
#include "link/HexText.h"
#include "link/Protocol.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"
#include "ui/TDownloadForm.h"

#include <QPushButton>

namespace {
// Marks a download as running for as long as it lives, however the download ends.
class RunningDownload {
public:
    explicit RunningDownload(bool& running) : running_(running) { running_ = true; }
    ~RunningDownload() { running_ = false; }
    RunningDownload(const RunningDownload&) = delete;
    RunningDownload& operator=(const RunningDownload&) = delete;

private:
    bool& running_;
};
} // namespace

// Runs one download with the tool's HEX file; after a success the tool closes itself. Pressed
// without a file to write, Write asks for one first; the automatic start reports that there is
// none.
void TDownloadForm::WriteButtonClick(QObject* Sender) {
    // A failure report re-enables Write while its download still unwinds: only one download may
    // run at a time, so such a press is ignored.
    if (downloading_) {
        return;
    }
    if (Sender != this) {
        if (!isHexFilePresent(HexFileName) && !askForHexFile()) {
            return;
        }
        HexFilePresent = isHexFilePresent(HexFileName);
    }
    // The download has closed the port; closing the main window ends the program.
    if (writeHexFile()) {
        closeAfterSuccess();
    }
}

bool TDownloadForm::writeHexFile() {
    const RunningDownload running(downloading_);
    Edit2->clearReports();
    failureDetail_.clear();
    if (!HexFilePresent) {
        DO_ERROR(Message::CannotReadHexFile, Message::noHexFile(HexFileName));
        DownloadOk = false;
        return false;
    }
    DISPLAY_MESSAGE(QString());
    return START_DOWNLOADING(HexFileName);
}

bool TDownloadForm::START_DOWNLOADING(const QString& hexFileName) {
    DownloadOk = true;
    HexFileReader hexFile(hexFileName); // closes the file on every way out of the download
    try {
        return runDownload(hexFile);
    } catch (const DownloaderError&) {
        // The file could not be read: the download fails here, and the reason is shown by the
        // application's error handler.
        hexFile.close();
        DO_ERROR(Message::DownloadFailed);
        throw;
    }
}

bool TDownloadForm::runDownload(HexFileReader& hexFile) {
    // A damaged file is refused before the target is touched, so that it is never left erased.
    // The file is read twice: here to check it and count its lines, then to send the records.
    const HexFileCheck check = checkHexFile(hexFile);
    if (!check.fault.isEmpty()) {
        DO_ERROR(check.fault, check.detail);
        DO_ERROR(Message::DownloadFailed);
        return false;
    }
    if (!OpenCom(PortName)) {
        return false;
    }
    DownloadGauge->setBarColor(GaugeColor::Lime);
    DownloadGauge->setProgress(0);
    DISPLAY_MESSAGE(Message::PressReset);
    WriteButton->setEnabled(false);
    // A Close request is kept (see WAIT_FOR_ACK): Close has already closed the window.
    CancelRequested = false;
    if (!prepareTarget()) {
        return false;
    }

    DownloadGauge->setMaximum(check.lineCount);
    hexFile.open();
    if (!sendRecords(hexFile)) {
        return endDownload(false);
    }
    if (!writeCompletionMarker()) {
        return false;
    }
    DELAYMS(SettlePauseMs);
    const bool synchronised = WAIT_FOR_ACK(); // the steps up to the start run whatever it said
    if (!startNewProgram()) {
        return false;
    }
    return endDownload(synchronised);
}

// Synchronises with the bootloader, identifies it, erases program memory and identifies it again.
bool TDownloadForm::prepareTarget() {
    if (!WAIT_FOR_ACK() || GET_FIRMWARE_VERSION().isEmpty() || READ_VECTOR_ADDRESS().isEmpty()) {
        return false;
    }
    switch (eraseProgramMemory()) {
    case EraseEnd::Erased:
        return !GET_FIRMWARE_VERSION().isEmpty() && !READ_VECTOR_ADDRESS().isEmpty();
    case EraseEnd::Stopped:
        DO_ERROR(Message::DownloadCancelled);
        break;
    case EraseEnd::Failed:
        break;
    }
    return false;
}

// Sends the records up to the end-of-file record; false when a record failed or the user asked
// to stop. Every line has passed the check, and the reader refuses a file that has changed since.
bool TDownloadForm::sendRecords(HexFileReader& hexFile) {
    int linesRead = 0;
    while (!hexFile.atEnd()) {
        DISPLAY_MESSAGE(Message::Writing);
        if (CancelRequested || CloseRequested) {
            return false;
        }
        const QByteArray line = hexFile.readLine();
        DownloadGauge->setBarColor(GaugeColor::Lime);
        DownloadGauge->setProgress(++linesRead);
        const QByteArray recordType = HexRecord::recordType(line);
        if (recordType == "01") {
            return true;
        }
        if (!SEND_DATA_TO_MICRO(recordType, line)) {
            return false;
        }
    }
    return true;
}

// Checks that the erase marker is still in place after the records, then replaces it with the
// completion marker. False when the download ends here (the failure is reported).
bool TDownloadForm::writeCompletionMarker() {
    const QString word = READ_VECTOR_ADDRESS();
    if (word.isEmpty()) {
        return false;
    }
    if (word != hexWord(EraseMarker) || !FINISH_BOOTLOAD()) {
        DO_ERROR(Message::writeFailed(BootVectorAddress));
        return false;
    }
    return true;
}

// Identifies the bootloader once more, checks the completion marker and starts the new
// program. False when the download ends here (the failure is reported).
bool TDownloadForm::startNewProgram() {
    if (GET_FIRMWARE_VERSION().isEmpty()) {
        return false;
    }
    const QString word = READ_VECTOR_ADDRESS();
    if (word.isEmpty()) {
        return false;
    }
    if (word != hexWord(CompletionMarker)) {
        DO_ERROR(Message::writeFailed(BootVectorAddress));
        return false;
    }
    SEND_HEX(QStringLiteral("g"));
    DownloadGauge->setBarColor(GaugeColor::Lime);
    // The whole bar, however many lines the file had.
    DownloadGauge->setMaximum(100);
    DownloadGauge->setProgress(100);
    DISPLAY_MESSAGE(Message::WrittenSuccessfully);
    WriteButton->setEnabled(true);
    DownloadOk = true;
    return true;
}

// The download's outcome once its steps have run: a cancel noticed by now, or a failed step,
// is reported here; otherwise the download succeeded.
bool TDownloadForm::endDownload(bool good) {
    if (CancelRequested) {
        DO_ERROR(Message::DownloadCancelled);
        return false;
    }
    if (!good) {
        DO_ERROR(Message::DownloadFailed);
        return false;
    }
    CloseCom();
    return true;
}
