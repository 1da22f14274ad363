#include "device/Erase.h"
#include "device/Markers.h"
#include "device/Messages.h"
#include "device/TargetIdentity.h"
#include "driver/DownloadSession.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "link/Protocol.h"

namespace {
// Keeps Cancel and Close disabled for as long as it lives, however the erase leaves its scope.
class StopDisallowed {
public:
    explicit StopDisallowed(DownloadSession& session) : session_(session) {
        emit session_.stopAllowed(false);
    }
    ~StopDisallowed() { emit session_.stopAllowed(true); }
    StopDisallowed(const StopDisallowed&) = delete;
    StopDisallowed& operator=(const StopDisallowed&) = delete;

private:
    DownloadSession& session_;
};
} // namespace

// Erases program memory row by row below the boot vector, then writes the erase marker at the
// boot vector, checks it, and synchronises with the bootloader again.
bool DownloadSession::ERASE_PICMICRO() {
    return eraseProgramMemory() == EraseEnd::Erased;
}

DownloadSession::EraseEnd DownloadSession::eraseProgramMemory() {
    bool markerAcknowledged = false;
    {
        // Cancel and Close work again for the marker's read-back and the synchronisation.
        const StopDisallowed held(*this);
        enterPhase(DownloadPhase::Erasing);
        DISPLAY_MESSAGE(Message::Erasing);
        setGaugeProgress(0);
        setGaugeBar(GaugeBar::Blue);

        // A boot vector below the first row's end would leave no row to erase; refusing it also
        // keeps the row loop from running round the whole address space.
        const quint32 bootVector = hexValueOrZero(BootVectorAddress);
        if (bootVector < EraseLimitOffset) {
            DO_ERROR(Message::EraseFailed);
            return EraseEnd::Failed;
        }
        const quint32 eraseLimit = bootVector - EraseLimitOffset;
        setGaugeMaximum(int(eraseLimit));
        announceProgress(0, int(eraseLimit));

        quint32 row = 0;
        do {
            if (!sendAcknowledged(Command::address(quint16(row))) ||
                !sendAcknowledged(Command::eraseRow())) {
                // A port choice ends an acknowledgement wait at once, and without a report.
                return cancelled() ? EraseEnd::Stopped : EraseEnd::Failed;
            }
            row += RowWords;
            setGaugeProgress(int(row));
            announceProgress(int(qMin(row, eraseLimit)), int(eraseLimit));
            pump();
        } while (row <= eraseLimit);

        DELAYMS(SettlePauseMs);
        markerAcknowledged = writeMarkerBlock(EraseMarker);
    }
    const QString word = READ_VECTOR_ADDRESS();
    if (!markerAcknowledged || word != hexWord(EraseMarker)) {
        DO_ERROR(Message::EraseFailed);
        return EraseEnd::Failed;
    }
    setGaugeBar(GaugeBar::Lime);
    setGaugeProgress(0);
    return WAIT_FOR_ACK() ? EraseEnd::Erased : EraseEnd::Failed;
}
