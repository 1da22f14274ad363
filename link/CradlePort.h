#pragma once

#include "link/PortDevice.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// The port through which the tool reaches the cradle, as the protocol sees it: the serial
// device named, or for a name rfc2217://HOST:PORT or socket://HOST:PORT a network link to the
// serial port that a server there offers. The kind is chosen from the name each time the port
// is opened; until then, and after close(), the port is closed: reads deliver nothing and writes
// transfer nothing, at once.
class CradlePort {
public:
    using OpenResult = PortDevice::OpenResult;
    // Called while a network link connects; false abandons the open.
    using KeepWaiting = std::function<bool()>;

    CradlePort();
    ~CradlePort();
    CradlePort(const CradlePort&) = delete;
    CradlePort& operator=(const CradlePort&) = delete;

    // Opens and sets up the port named; a port that was open is closed first.
    OpenResult open(const QString& portName, const KeepWaiting& keepWaiting = {});
    // The latest open() was abandoned: its keepWaiting said to stop.
    bool abandoned() const { return abandoned_; }
    // A port opened elsewhere (by the search for the cradle) becomes this one; the one this was
    // is closed.
    void take(std::unique_ptr<PortDevice> device);

    bool isOpen() const { return device_ != nullptr && device_->isOpen(); }
    bool isGone() const { return device_ != nullptr && device_->isGone(); }
    QString errorString() const { return device_ ? device_->errorString() : QString(); }
    bool close() { return device_ != nullptr && device_->close(); }
    qint64 write(const QByteArray& bytes) { return device_ ? device_->write(bytes) : 0; }
    QByteArray read(int count) { return device_ ? device_->read(count) : QByteArray(); }
    bool purge() { return device_ != nullptr && device_->purge(); }
    void clearErrors() {
        if (device_)
            device_->clearErrors();
    }
    QByteArray readWaiting() { return device_ ? device_->readWaiting() : QByteArray(); }
    // In the words of the port's kind: see PortDevice.
    QString openFailureDetail(OpenResult result, const QString& portName) const;
    QString lostContactDetail() const { return device_ ? device_->lostContactDetail() : QString(); }
    QString lateAnswersCause() const { return device_ ? device_->lateAnswersCause() : QString(); }

private:
    std::unique_ptr<PortDevice> device_;
    bool abandoned_ = false;
};
