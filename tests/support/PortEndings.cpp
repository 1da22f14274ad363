#include "support/PortEndings.h"

#include "link/Messages.h"
#include "ui/TDownloadForm.h"

#include <QtTest>

namespace PortEndings {

void addRows() {
    QTest::addColumn<QString>("ending");
    QTest::newRow("closed") << "close";
    QTest::newRow("closed by a failure") << "failure";
    QTest::newRow("opened again") << "open";
}

bool letGo(TDownloadForm& form, const QString& portName, const QString& ending) {
    if (ending == QLatin1String("failure"))
        form.DO_ERROR(Message::LostContact);
    else if (ending == QLatin1String("open") && !form.OpenCom(portName))
        return false;
    form.CloseCom();
    return !form.PortHandle.isOpen();
}

} // namespace PortEndings
