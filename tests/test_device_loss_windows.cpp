// The cradle's adapter pulled out during a download, on Windows: scripts/test-windows puts a
// simulated target behind COM5 that closes its line (under Wine, its pseudo-terminal) when the
// 40th command line arrives, in the middle of the erase. The tool notices the device gone, the
// download ends with "Lost contact" within the acknowledgement time-out, the tool tip says that
// the device went away, and the window stays usable throughout.
#include "app/ErrorHandler.h"
#include "device/Messages.h"
#include "link/Messages.h"
#include "support/HexFiles.h"
#include "support/PumpWatch.h"
#include "support/StartedWindow.h"
#include "ui/StatusLine.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QPushButton>
#include <QtTest>

namespace {

const QByteArray PortThatHangsUp = "COM5";

} // namespace

class DeviceLossWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void endsTheDownloadWithLostContact();
};

void DeviceLossWindowsTest::endsTheDownloadWithLostContact() {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QStringList reportedErrors;
    setErrorReporter([&](const QString& message) { reportedErrors.append(message); });
    StartedWindow window;
    HexFiles::writeFile(window.settingsPath(),
                        "[ZELTRA_IR_DOWNLOAD]\r\nPORT=" + PortThatHangsUp + "\r\n");
    window.start(
        {HexFiles::writeFile(window.path(QStringLiteral("program.hex")), HexFiles::image(64))});
    TDownloadForm& form = window.form();

    QElapsedTimer clock;
    clock.start();
    QHash<QString, qint64> shownAt; // when each status text first showed
    connect(&form.session(), &DownloadSession::reported, this, [&](const QString& text) {
        if (!shownAt.contains(text))
            shownAt.insert(text, clock.elapsed());
    });
    qint64 goneSeenAt = -1; // a pass of the message pump with the device gone
    atFirstPumpWhere(
        &form, [&] { return form.session().PortHandle.isGone(); },
        [&] { goneSeenAt = clock.elapsed(); });

    form.show();
    form.activateWindow();
    // The whole download runs inside the activation; it has begun once "testing" is gone.
    QTRY_VERIFY_WITH_TIMEOUT(form.Edit2->text() != QStringLiteral("testing"), 120000);

    QCOMPARE(form.Edit2->text(), Message::LostContact);
    QVERIFY(shownAt.contains(Message::Erasing));
    QVERIFY2(goneSeenAt > shownAt.value(Message::Erasing), qPrintable(QString::number(goneSeenAt)));
    // The line went during the erase, after "Erasing" showed; one acknowledgement time-out
    // (1000 ms) later the download ends.
    const qint64 erasingToLost =
        shownAt.value(Message::LostContact) - shownAt.value(Message::Erasing);
    qInfo("device gone %lld ms after \"Erasing\" (%s), \"Lost contact\" after %lld ms",
          goneSeenAt - shownAt.value(Message::Erasing),
          qPrintable(form.session().PortHandle.errorString()), erasingToLost);
    QVERIFY2(erasingToLost < 2000, qPrintable(QString::number(erasingToLost)));
    QCOMPARE(form.Edit2->toolTip().split('\n'),
             (QStringList{Message::askingPort(form.session().PortName), Message::LostContact,
                          QStringLiteral("    ") + Message::DeviceWentAway}));
    QCOMPARE(reportedErrors, QStringList());

    // Usable again: the port let go of, the buttons enabled, and Close closes the window.
    QVERIFY(!form.session().PortHandle.isOpen());
    QVERIFY(!form.session().DownloadOk);
    QVERIFY(form.WriteButton->isEnabled());
    QVERIFY(form.CloseButton->isEnabled());
    QTest::mouseClick(form.CloseButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 10000);
    setErrorReporter({});
}

QTEST_MAIN(DeviceLossWindowsTest)
#include "test_device_loss_windows.moc"
