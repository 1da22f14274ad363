#include "support/PortEndings.h"

#include "driver/DownloadSession.h"
#include "link/Messages.h"

#include <QtTest>

namespace PortEndings {

void addRows() {
    QTest::addColumn<QString>("ending");
    QTest::newRow("closed") << "close";
    QTest::newRow("closed by a failure") << "failure";
    QTest::newRow("opened again") << "open";
}

bool letGo(DownloadSession& session, const QString& portName, const QString& ending) {
    if (ending == QLatin1String("failure"))
        session.DO_ERROR(Message::LostContact);
    else if (ending == QLatin1String("open") && !session.OpenCom(portName))
        return false;
    session.CloseCom();
    return !session.PortHandle.isOpen();
}

} // namespace PortEndings
