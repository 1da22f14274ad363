#include "device/Markers.h"
#include "device/Messages.h"
#include "device/TargetIdentity.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "link/Protocol.h"
#include "ui/ProgressGauge.h"
#include "ui/TDownloadForm.h"

#include <QPushButton>

namespace {
constexpr quint32 RowWords = 32;
// The highest row start lies this many words below the boot vector, so that the row holding
// the boot-vector block is left alone unless the vector sits in the last four words of a row.
constexpr quint32 EraseLimitOffset = 28;

// Keeps two buttons disabled for as long as it lives, however the erase leaves its scope.
class ButtonsDisabled {
public:
    ButtonsDisabled(QPushButton* first, QPushButton* second) : buttons_{first, second} {
        setEnabled(false);
    }
    ~ButtonsDisabled() { setEnabled(true); }
    ButtonsDisabled(const ButtonsDisabled&) = delete;
    ButtonsDisabled& operator=(const ButtonsDisabled&) = delete;

private:
    void setEnabled(bool enabled) {
        for (QPushButton* button : buttons_)
            button->setEnabled(enabled);
    }

    QPushButton* buttons_[2];
};
} // namespace

// Erases program memory row by row below the boot vector, then writes the erase marker at the
// boot vector, checks it, and synchronises with the bootloader again.
bool TDownloadForm::ERASE_PICMICRO() {
    return eraseProgramMemory() == EraseEnd::Erased;
}

TDownloadForm::EraseEnd TDownloadForm::eraseProgramMemory() {
    bool markerAcknowledged = false;
    {
        // Cancel and Close work again for the marker's read-back and the synchronisation.
        const ButtonsDisabled held(CancelButton, CloseButton);
        enterPhase(DownloadPhase::Erasing);
        DISPLAY_MESSAGE(Message::Erasing);
        DownloadGauge->setProgress(0);
        DownloadGauge->setBarColor(GaugeColor::Blue);

        // A boot vector below the first row's end would leave no row to erase; refusing it also
        // keeps the row loop from running round the whole address space.
        const quint32 bootVector = hexValueOrZero(BootVectorAddress);
        if (bootVector < EraseLimitOffset) {
            DO_ERROR(Message::EraseFailed);
            return EraseEnd::Failed;
        }
        const quint32 eraseLimit = bootVector - EraseLimitOffset;
        DownloadGauge->setMaximum(int(eraseLimit));
        announceProgress(0, int(eraseLimit));

        quint32 row = 0;
        do {
            if (!sendAcknowledged(Command::address(quint16(row))) ||
                !sendAcknowledged(Command::eraseRow())) {
                // A port choice ends an acknowledgement wait at once, and without a report.
                return cancelled() ? EraseEnd::Stopped : EraseEnd::Failed;
            }
            row += RowWords;
            DownloadGauge->setProgress(int(row));
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
    DownloadGauge->setBarColor(GaugeColor::Lime);
    DownloadGauge->setProgress(0);
    return WAIT_FOR_ACK() ? EraseEnd::Erased : EraseEnd::Failed;
}
