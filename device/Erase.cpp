#include "device/Markers.h"
#include "device/Messages.h"
#include "device/TargetIdentity.h"
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
} // namespace

// Erases program memory row by row below the boot vector, then writes the erase marker at the
// boot vector, checks it, and synchronises with the bootloader again.
bool TDownloadForm::ERASE_PICMICRO() {
    return eraseProgramMemory() == EraseEnd::Erased;
}

TDownloadForm::EraseEnd TDownloadForm::eraseProgramMemory() {
    CancelButton->setEnabled(false);
    CloseButton->setEnabled(false);
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

    quint32 row = 0;
    do {
        if (!sendAcknowledged(QStringLiteral("a") + hexWord(quint16(row))) ||
            !sendAcknowledged(QStringLiteral("e"))) {
            CancelButton->setEnabled(true);
            CloseButton->setEnabled(true);
            // A port choice ends an acknowledgement wait at once, and without a report.
            return CancelRequested ? EraseEnd::Stopped : EraseEnd::Failed;
        }
        row += RowWords;
        DownloadGauge->setProgress(int(row));
        pump();
    } while (row <= eraseLimit);

    DELAYMS(SettlePauseMs);
    const bool markerAcknowledged = writeMarkerBlock(EraseMarker);
    CancelButton->setEnabled(true);
    CloseButton->setEnabled(true);
    const QString word = READ_VECTOR_ADDRESS();
    if (!markerAcknowledged || word != hexWord(EraseMarker)) {
        DO_ERROR(Message::EraseFailed);
        return EraseEnd::Failed;
    }
    DownloadGauge->setBarColor(GaugeColor::Lime);
    DownloadGauge->setProgress(0);
    return WAIT_FOR_ACK() ? EraseEnd::Erased : EraseEnd::Failed;
}
