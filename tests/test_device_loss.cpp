// The cradle's adapter pulled out during a download: the pseudo-terminal is closed under the
// tool. The download ends (or, while it waits for RESET, waits on) as it would with a silent
// target, the window stays usable, and the tool does not spin a core while its port is dead.
#include "device/Messages.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "support/CpuStopwatch.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/PumpWatch.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using zeltra::sim::Options;

namespace {

// The tool's share of one core while it waits on a dead line: it sleeps in its reads and in the
// message pump, so a generous bound still tells waiting from spinning.
constexpr double MaxCpuShare = 0.25;

// Write again, with a new cradle on another line: the download runs through and the tool
// closes itself. (The dead line's name may already belong to another pseudo-terminal.)
void verifyWriteStartsAgain(DownloadRig& rig) {
    TDownloadForm& form = rig.form();
    zeltra::sim::PtyTarget newCradle(DownloadRig::quickTarget());
    form.session().PortName = QString::fromStdString(newCradle.devicePath());
    QTest::mouseClick(form.WriteButton, Qt::LeftButton);
    QCOMPARE(rig.status(), Message::WrittenSuccessfully);
    QVERIFY(newCradle.report().goReceived);
    QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 10000);
}

} // namespace

class DeviceLossTest : public QObject {
    Q_OBJECT

private slots:
    void waitsForResetOnADeadLineUntilCancelled();
    void endsTheDownload_data();
    void endsTheDownload();
};

// The handshake has no time limit: on a dead line it goes on, quietly, until the user cancels.
void DeviceLossTest::waitsForResetOnADeadLineUntilCancelled() {
    Options options = DownloadRig::quickTarget();
    options.reset = Options::Reset::Never;
    DownloadRig rig(options);
    rig.createWindow(HexFiles::image(16));
    TDownloadForm& form = rig.form();
    CpuStopwatch dead(CpuStopwatch::Scope::Thread);
    bool waitedOn = false;
    rig.when([&] { return rig.status() == Message::PressReset && rig.report().syncBytes >= 3; },
             [&] {
                 rig.target().hangUp();
                 dead.start();
             });
    rig.when([&] { return dead.running() && dead.elapsedMs() >= 3000; },
             [&] {
                 dead.stop();
                 waitedOn =
                     rig.status() == Message::PressReset && form.session().PortHandle.isOpen();
                 QTest::mouseClick(form.CancelButton, Qt::LeftButton);
             });
    rig.showAndDownload();
    QVERIFY(waitedOn);
    qInfo("%s", dead.describe().constData());
    QVERIFY2(dead.cpuShare() < MaxCpuShare, dead.describe());
    rig.verifyFailedAndUsable(Message::DownloadCancelled);
    verifyWriteStartsAgain(rig);
}

void DeviceLossTest::endsTheDownload_data() {
    QTest::addColumn<QString>("phase"); // the status line when the line goes
    QTest::addColumn<int>("progress");  // and the gauge's progress
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("maxMs"); // from the hang-up to the end of the download
    // The acknowledgement wait runs out after 1000 ms and the erase stops at its row.
    QTest::newRow("erasing") << Message::Erasing << 0x100 << Message::LostContact << 3000;
    // The record's remaining words and its read-back address each wait 1000 ms on the dead line.
    QTest::newRow("writing") << Message::Writing << 3 << Message::DownloadFailed << 15000;
}

void DeviceLossTest::endsTheDownload() {
    QFETCH(QString, phase);
    QFETCH(int, progress);
    QFETCH(QString, status);
    QFETCH(int, maxMs);
    DownloadRig rig;
    rig.createWindow(HexFiles::image(64));
    TDownloadForm& form = rig.form();
    CpuStopwatch dead(CpuStopwatch::Scope::Thread);
    atFirstPumpWhere(
        &form, [&] { return rig.status() == phase && form.DownloadGauge->progress() >= progress; },
        [&] {
            rig.target().hangUp();
            dead.start();
        });
    rig.showAndDownload();
    dead.stop();
    QVERIFY(dead.running());
    QVERIFY2(dead.wallMs() < maxMs, dead.describe());
    qInfo("%s", dead.describe().constData());
    QVERIFY2(dead.cpuShare() < MaxCpuShare, dead.describe());
    rig.verifyFailedAndUsable(status);
    // "Lost contact", and below it that the device went away.
    const QStringList tip = rig.tipLines();
    const qsizetype lost = tip.indexOf(Message::LostContact);
    QVERIFY2(lost >= 0 && tip.value(lost + 1) == Message::DeviceWentAway,
             qPrintable(tip.join('\n')));
    verifyWriteStartsAgain(rig);
}

QTEST_MAIN(DeviceLossTest)
#include "test_device_loss.moc"
