#include "support/DownloadRig.h"

#include "app/ErrorHandler.h"
#include "support/HexFiles.h"
#include "support/PumpWatch.h"

#include <QGuiApplication>
#include <QLabel>
#include <QtTest>

DownloadRig::DownloadRig(zeltra::sim::Options options)
    : target_(std::make_unique<zeltra::sim::PtyTarget>(std::move(options))) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    setErrorReporter([this](const QString& message) { reportedErrors.append(message); });
    HexFiles::writeFile(dir_.filePath("DWNLD.INI"),
                        "[ZELTRA_IR_DOWNLOAD]\r\nPORT=" +
                            QByteArray::fromStdString(target_->devicePath()) + "\r\n");
}

DownloadRig::~DownloadRig() {
    form_.reset();
    setErrorReporter({});
}

zeltra::sim::Options DownloadRig::quickTarget() {
    zeltra::sim::Options options;
    options.reset = zeltra::sim::Options::Reset::Immediately;
    return options;
}

QString DownloadRig::hexPath() const {
    return dir_.filePath("program.hex");
}

void DownloadRig::create(const QStringList& arguments) {
    form_ = std::make_unique<TDownloadForm>(
        StartupContext{dir_.filePath("dwnld"), QStringList{dir_.filePath("dwnld")} + arguments});
}

void DownloadRig::createWindow(const QByteArray& hexText) {
    HexFiles::writeFile(hexPath(), hexText);
    create({hexPath()});
}

void DownloadRig::createWindowWithoutArgument() {
    create({});
}

void DownloadRig::showAndDownload() {
    form_->show();
    form_->activateWindow();
    // The whole download runs inside the activation; it has begun once "testing" is gone.
    QTRY_VERIFY_WITH_TIMEOUT(form_->Edit2->text() != QStringLiteral("testing"), 120000);
}

bool DownloadRig::connect() {
    form_->PortName = QString::fromStdString(target_->devicePath());
    return form_->OpenCom(form_->PortName) && form_->WAIT_FOR_ACK();
}

void DownloadRig::when(std::function<bool()> condition, std::function<void()> action) {
    atFirstPumpWhere(form_.get(), std::move(condition), std::move(action));
}

QString DownloadRig::status() const {
    return form_->Edit2->text();
}

QStringList DownloadRig::commands() const {
    QStringList list;
    for (const std::string& command : target_->report().commandLog) {
        list.append(QString::fromStdString(command));
    }
    return list;
}
