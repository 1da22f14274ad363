// The window's Write handler: a download of the tool's HEX file, in the window.
#include "app/StartUp.h"
#include "ui/TDownloadForm.h"

// Runs one download with the tool's HEX file; after a success the tool closes itself. Pressed
// without a file to write, Write asks for one first; the automatic start reports that there is
// none.
void TDownloadForm::WriteButtonClick(QObject* Sender) {
    // A failure report re-enables Write while its download still unwinds: only one download may
    // run at a time, so such a press is ignored.
    if (session_.running()) {
        return;
    }
    if (Sender != this) {
        if (!isHexFilePresent(session_.HexFileName) && !askForHexFile()) {
            return;
        }
        session_.HexFilePresent = isHexFilePresent(session_.HexFileName);
    }
    // The download has closed the port; closing the main window ends the program.
    if (runAgainForSearch([this] { return writeHexFile(); }).written()) {
        closeAfterSuccess();
    }
}

// A search for the cradle asked for while the operation ran starts when it has ended, and runs
// the operation again.
DownloadOutcome
TDownloadForm::runAgainForSearch(const std::function<DownloadOutcome()>& operation) {
    DownloadOutcome outcome;
    do {
        outcome = operation();
    } while (session_.portSearch == DownloadSession::PortSearch::Once && !outcome.succeeded());
    return outcome;
}
