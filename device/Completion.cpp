#include "ui/TDownloadForm.h"

// Replaces the erase marker at the boot vector with the completion marker and checks it.
bool TDownloadForm::FINISH_BOOTLOAD() {
    const QString completionMarker = QStringLiteral("19CC");
    const bool lastAcknowledged = writeMarkerBlock(completionMarker);
    if (READ_VECTOR_ADDRESS() == completionMarker) {
        return lastAcknowledged;
    }
    DO_ERROR(QStringLiteral("Download Failed"));
    return false;
}
