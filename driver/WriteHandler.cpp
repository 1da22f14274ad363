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
    // A search for the cradle asked for while the download ran starts when it has ended.
    DownloadOutcome outcome;
    do {
        outcome = writeHexFile();
    } while (session_.portSearch == DownloadSession::PortSearch::Once && !outcome.written());
    // The download has closed the port; closing the main window ends the program.
    if (outcome.written()) {
        closeAfterSuccess();
    }
}
