#include "support/DownloadRig.h"

#include "app/ErrorHandler.h"
#include "support/HexFiles.h"
#include "support/PumpWatch.h"
#include "ui/ProgressGauge.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

DownloadRig::DownloadRig(zeltra::sim::Options options)
    : target_(std::make_unique<zeltra::sim::PtyTarget>(std::move(options))) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    setErrorReporter([this](const QString& message) { reportedErrors.append(message); });
    HexFiles::writeFile(window_.settingsPath(),
                        "[ZELTRA_IR_DOWNLOAD]\r\nPORT=" +
                            QByteArray::fromStdString(target_->devicePath()) + "\r\n");
}

DownloadRig::~DownloadRig() {
    setErrorReporter({});
}

zeltra::sim::Options DownloadRig::quickTarget() {
    zeltra::sim::Options options;
    options.reset = zeltra::sim::Options::Reset::Immediately;
    return options;
}

QString DownloadRig::hexPath() const {
    return window_.path(QStringLiteral("program.hex"));
}

void DownloadRig::createWindow(const QByteArray& hexText) {
    HexFiles::writeFile(hexPath(), hexText);
    window_.start({hexPath()});
}

void DownloadRig::createWindowWithoutArgument() {
    window_.start();
}

void DownloadRig::showAndDownload() {
    form().show();
    form().activateWindow();
    // The whole download runs inside the activation; it has begun once "testing" is gone.
    QTRY_VERIFY_WITH_TIMEOUT(form().Edit2->text() != QStringLiteral("testing"), 120000);
}

DownloadSession& DownloadRig::session() {
    if (window_.started())
        return form().session();
    if (!session_)
        session_ = std::make_unique<DownloadSession>();
    return *session_;
}

bool DownloadRig::connect() {
    session().PortName = QString::fromStdString(target_->devicePath());
    return session().OpenCom(session().PortName) && session().WAIT_FOR_ACK();
}

void DownloadRig::when(std::function<bool()> condition, std::function<void()> action) {
    atFirstPumpWhere(&form(), std::move(condition), std::move(action));
}

QString DownloadRig::status() const {
    if (window_.started())
        return window_.form().Edit2->text();
    return session_ ? session_->status() : QString();
}

QStringList DownloadRig::tipLines() const {
    QStringList lines = window_.form().Edit2->toolTip().split('\n');
    for (QString& line : lines) {
        line = line.trimmed();
    }
    return lines;
}

QStringList DownloadRig::commands() const {
    QStringList list;
    for (const std::string& command : target_->report().commandLog) {
        list.append(QString::fromStdString(command));
    }
    return list;
}

void DownloadRig::verifyFailedAndUsable(const QString& status) {
    TDownloadForm& window = form();
    QCOMPARE(this->status(), status);
    QVERIFY(!report().goReceived);
    QVERIFY(!window.session().DownloadOk);
    QVERIFY(window.isVisible());
    QVERIFY(!window.session().PortHandle.isOpen());
    QCOMPARE(window.DownloadGauge->barColor(), GaugeColor::Red);
    QVERIFY(window.WriteButton->isEnabled());
    QVERIFY(window.CancelButton->isEnabled());
    QVERIFY(window.CloseButton->isEnabled());
    QCOMPARE(window.focusWidget(), window.WriteButton); // Enter tries again
}
