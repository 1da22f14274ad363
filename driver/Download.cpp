#include "app/ErrorHandler.h"
#include "device/Erase.h"
#include "device/Markers.h"
#include "device/TargetIdentity.h"
#include "driver/DownloadSession.h"
#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"
#include "hex/Routing.h"
#include "link/Commands.h"
#include "link/CradleSearch.h"
#include "link/HexText.h"
#include "link/Protocol.h"
#include "ui/Messages.h"

namespace {
// The answered commands of a download besides the erased rows and the records: the erase marker's
// block, its check and the identification after the erase, and the completion marker's block,
// its check and the identification before the start (5 + 2 + 3, twice).
constexpr int MarkersAndIdentifications = 20;

// Marks an operation as running for as long as it lives, however it ends.
class RunningOperation {
public:
    RunningOperation(bool& running, DownloadSession& session)
        : running_(running), session_(session) {
        running_ = true;
        emit session_.runningChanged(true);
    }
    ~RunningOperation() {
        running_ = false;
        emit session_.runningChanged(false);
    }
    RunningOperation(const RunningOperation&) = delete;
    RunningOperation& operator=(const RunningOperation&) = delete;

private:
    bool& running_;
    DownloadSession& session_;
};
} // namespace

DownloadOutcome DownloadSession::writeHexFile() {
    return runOperation(
        [this] {
            if (!HexFilePresent) {
                DO_ERROR(Message::CannotReadHexFile, Message::noHexFile(HexFileName));
                DownloadOk = false;
                return false;
            }
            DISPLAY_MESSAGE(QString());
            return START_DOWNLOADING(HexFileName);
        },
        DownloadOutcome::Result::Written);
}

DownloadOutcome DownloadSession::runOperation(const std::function<bool()>& operation,
                                              DownloadOutcome::Result success) {
    const RunningOperation running(running_, *this);
    emit started();
    failureDetail_.clear();
    progress_ = {};
    pace_.restart();
    paceClock_.start();
    operationName_ = Message::operationName(success);
    search_ =
        std::exchange(portSearch, portSearch == PortSearch::Once ? PortSearch::Off : portSearch);
    try {
        return outcomeOf(operation(), success);
    } catch (const DownloaderError& error) {
        if (progress_.failureDetail.isEmpty())
            progress_.failureDetail = error.message();
        emit errorRaised(error.message()); // shown as the application's errors are
        return outcomeOf(false, success);
    }
}

DownloadOutcome DownloadSession::outcomeOf(bool succeeded, DownloadOutcome::Result success) const {
    using Result = DownloadOutcome::Result;
    Result result = Result::FailedAfterContact;
    if (succeeded)
        return {success, {}, {}, progress_.check};
    if (!progress_.fileAccepted)
        result = Result::FileRefused;
    else if (!progress_.portOpened)
        result = Result::PortNotOpened;
    else if (!progress_.contact)
        return {Result::NoBootloader, {}, {}, {}};
    else if (stopping()) // whatever a step that it cut short reported
        return {Result::CancelledAfterContact, {}, {}, {}};
    else if (progress_.compared)
        result = Result::Differs;
    return {result, progress_.failure, progress_.failureDetail, progress_.check};
}

void DownloadSession::enterPhase(DownloadPhase phase) {
    emit phaseChanged(phase);
}

void DownloadSession::announceProgress(int wordsDone, int wordsTotal) {
    emit progressed(wordsDone, wordsTotal, gauge_.percentDone());
}

bool DownloadSession::START_DOWNLOADING(const QString& hexFileName) {
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

bool DownloadSession::runDownload(HexFileReader& hexFile) {
    // A damaged file is refused before the target is touched, so that it is never left erased.
    // The file is read twice: here to check it and count its lines, then to send the records.
    const HexFileCheck check = checkHexFileFirst(hexFile, Message::DownloadFailed);
    if (!check.fault.isEmpty()) {
        return false;
    }
    progress_.fileAccepted = true;
    if (meetBootloader().isEmpty()) {
        return false;
    }
    pace_.plan(2 * rowsErased(hexValueOrZero(BootVectorAddress)) + check.commandCount +
               MarkersAndIdentifications);
    if (!eraseProgramMemoryAndIdentify()) {
        return false;
    }

    setGaugeMaximum(check.lineCount);
    hexFile.open();
    enterPhase(DownloadPhase::Writing);
    if (!sendRecords(hexFile, check.wordCount)) {
        return endDownload(false);
    }
    if (!writeCompletionMarker()) {
        return false;
    }
    enterPhase(DownloadPhase::Resynchronising);
    DELAYMS(SettlePauseMs);
    const bool synchronised = WAIT_FOR_ACK(); // the steps up to the start run whatever it said
    if (!startNewProgram()) {
        return false;
    }
    return endDownload(synchronised);
}

HexFileCheck DownloadSession::checkHexFileFirst(HexFileReader& hexFile, const QString& failure) {
    const HexFileCheck check = checkHexFile(hexFile);
    if (!check.fault.isEmpty()) {
        DO_ERROR(check.fault, check.detail);
        DO_ERROR(failure);
    }
    return check;
}

QString DownloadSession::meetBootloader() {
    std::unique_ptr<CradleSearch> search; // while the download looks for the cradle
    if (!openPortForDownload(search)) {
        return {};
    }
    progress_.portOpened = true;
    setGaugeBar(GaugeBar::Lime);
    setGaugeProgress(0);
    enterPhase(DownloadPhase::WaitingForReset);
    DISPLAY_MESSAGE(Message::PressReset);
    emit writeAllowed(false);
    // A Close request is kept (see WAIT_FOR_ACK): Close has already closed the window.
    CancelRequested = false;
    if (search && !findCradle(*search)) {
        return {};
    }
    search.reset();
    if (!WAIT_FOR_ACK() || GET_FIRMWARE_VERSION().isEmpty()) {
        return {};
    }
    return READ_VECTOR_ADDRESS();
}

// Erases program memory and identifies the bootloader again.
bool DownloadSession::eraseProgramMemoryAndIdentify() {
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
bool DownloadSession::sendRecords(HexFileReader& hexFile, int wordsTotal) {
    int linesRead = 0;
    int wordsDone = 0;
    announceProgress(wordsDone, wordsTotal);
    while (!hexFile.atEnd()) {
        DISPLAY_MESSAGE(Message::Writing);
        if (stopping()) {
            return false;
        }
        const QByteArray line = hexFile.readLine();
        setGaugeBar(GaugeBar::Lime);
        setGaugeProgress(++linesRead);
        const QByteArray recordType = HexRecord::recordType(line);
        if (recordType == "01") {
            announceProgress(wordsDone, wordsTotal);
            return true;
        }
        if (!SEND_DATA_TO_MICRO(recordType, line)) {
            return false;
        }
        if (const int words = wordsWritten(line); words > 0) {
            wordsDone += words;
            announceProgress(wordsDone, wordsTotal);
        }
    }
    return true;
}

// Checks that the erase marker is still in place after the records, then replaces it with the
// completion marker. False when the download ends here (the failure is reported).
bool DownloadSession::writeCompletionMarker() {
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
bool DownloadSession::startNewProgram() {
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
    SEND_HEX(Command::go());
    setGaugeBar(GaugeBar::Lime);
    // The whole bar, however many lines the file had.
    setGaugeMaximum(100);
    setGaugeProgress(100);
    DISPLAY_MESSAGE(Message::WrittenSuccessfully);
    enterPhase(DownloadPhase::Done);
    emit writeAllowed(true);
    DownloadOk = true;
    return true;
}

// The download's outcome once its steps have run: a cancel noticed by now, or a failed step,
// is reported here (a failure with its own text for a check or a read of the board); otherwise
// the download succeeded.
bool DownloadSession::endDownload(bool good, const QString& failure) {
    if (cancelled()) {
        DO_ERROR(Message::DownloadCancelled);
        return false;
    }
    if (!good) {
        DO_ERROR(failure);
        return false;
    }
    CloseCom();
    return true;
}
