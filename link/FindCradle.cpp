// The search for the programming cradle: every port present is asked at once, and the
// download goes on on the port whose bootloader answers.
#include "driver/DownloadSession.h"
#include "driver/Messages.h"
#include "link/CradleSearch.h"
#include "link/Messages.h"
#include "ui/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>

bool DownloadSession::openPortForDownload(std::unique_ptr<CradleSearch>& search) {
    if (search_ == PortSearch::Off) {
        if (!OpenCom(PortName))
            return false;
        emit portNoted(Message::askingPort(PortName));
        return true;
    }
    pump();
    search = std::make_unique<CradleSearch>(
        searchCandidates(), [this](SerialDevice& device) { return acceptsBootloader(device); });
    if (search->nothingToAsk()) {
        const QStringList busy = search->busyPorts();
        DO_ERROR(Message::DownloadFailed,
                 busy.isEmpty() ? Message::NoPortPresent : Message::everyPortBusy(busy));
        return false;
    }
    QStringList note{Message::askingPorts(search->askedPorts())};
    for (const QString& port : search->busyPorts())
        note.append(Message::busyPort(port));
    emit portNoted(note.join(QLatin1Char('\n')));
    return true;
}

// Asks every port until one's bootloader answers and is accepted, as the handshake asks one
// port: a cancel, a close or a port choice ends it, and a stop asked for from outside.
bool DownloadSession::findCradle(CradleSearch& search) {
    CancelRequested = false;
    while (!stopping()) {
        if (search.pass([this] { pump(); })) {
            search.handOver(PortHandle);
            const DetectedPort& port = search.found();
            PortName = port.name;
            if (search_ == PortSearch::Once && keepFoundPort) // the window's search: kept
                keepFoundPort(port.name);
            emit portNoted(Message::cradleFoundOn(port.name, port.description));
            emit cradleFound(port.name, port.description);
            return true;
        }
        if (search.nothingToAsk()) {
            DO_ERROR(Message::DownloadFailed, Message::NoPortLeft);
            return false;
        }
    }
    DO_ERROR(Message::DownloadCancelled);
    return false;
}
