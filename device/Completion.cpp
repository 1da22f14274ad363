#include "device/Markers.h"
#include "driver/DownloadSession.h"
#include "link/HexText.h"
#include "ui/Messages.h"

// Replaces the erase marker at the boot vector with the completion marker and checks it.
bool DownloadSession::FINISH_BOOTLOAD() {
    const bool lastAcknowledged = writeMarkerBlock(CompletionMarker);
    if (READ_VECTOR_ADDRESS() == hexWord(CompletionMarker)) {
        return lastAcknowledged;
    }
    DO_ERROR(Message::DownloadFailed);
    return false;
}
