#pragma once

#include "link/PortDevice.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>

// The one serial device through which the tool reaches the programming cradle: 19200 baud,
// 8 data bits, no parity, one stop bit, raw bytes, no flow control, DTR and RTS off. Closing it
// puts back the line settings that the device had before it was opened.
//
// Reads follow one rule, the read rule below: a read of n bytes returns as soon as n bytes have
// arrived, or when more than GapMs pass after a byte without another, or at the latest
// transferBudgetMs(n) after it began. A write of n bytes is given at most transferBudgetMs(n).
// On a closed device reads deliver nothing and writes transfer nothing, at once. A device that
// went away (a pulled USB adapter) is let go of at once but stays "open" until close(): its
// reads still take their whole time and deliver nothing, its writes transfer nothing, so no
// waiting loop ever spins.
//
// One implementation per system: SerialDevicePosix.cpp drives the device through Qt Serial Port
// and times the read rule itself; SerialDeviceWindows.cpp makes kernel32's serial calls, whose
// time-outs then hold the read rule. What both share is in SerialDevice.cpp.
class SerialDevice final : public PortDevice {
public:
    // The read rule, in milliseconds.
    static constexpr int GapMs = 10;      // a pause of more than this after a byte ends a read
    static constexpr int PerByteMs = 10;  // a transfer of n bytes is given PerByteMs per byte
    static constexpr int ConstantMs = 10; // and ConstantMs more
    static constexpr qint64 transferBudgetMs(qsizetype count) {
        return PerByteMs * qint64(count) + ConstantMs;
    }

    // The set-up steps of open() (PortDevice::OpenResult); after a failure past OpenFailed the
    // device is open, as the platform's handle would be, until close().
    using OpenResult = PortDevice::OpenResult;

    // Why the device itself did not open (OpenResult::OpenFailed).
    enum class OpenFault { None, Missing, NoPermission, Busy, Other };

    SerialDevice();
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the device exclusively and configures it; a device that was open is closed first.
    OpenResult open(const QString& portName);
    bool isOpen() const override { return state_ != State::Closed; }
    bool isGone() const override { return state_ == State::Gone; }
    OpenFault openFault() const { return openFault_; } // of the latest open()
    QString errorString() const override;
    bool close() override;

    qint64 write(const QByteArray& bytes) override;
    QByteArray read(int count) override;
    bool purge() override;
    void clearErrors() override;
    // What has arrived by now, returned at once: for asking several devices in turn.
    QByteArray readWaiting() override;

    QString openFailureDetail(OpenResult result, const QString& portName) const override;
    QString lostContactDetail() const override;
    // Per system: a USB adapter's latency timer, and how to shorten it.
    QString lateAnswersCause() const override;
    // Trades devices with another: its device, open or not, becomes this one's.
    void swap(SerialDevice& other) noexcept {
        std::swap(port_, other.port_);
        std::swap(openFault_, other.openFault_);
        std::swap(state_, other.state_);
    }

private:
    enum class State { Closed, Open, Gone };
    // What the system said of a device that would not open, in terms that every system has.
    enum class Refusal { NotThere, AccessDenied, Other };

    bool usable();   // open, and the device still there to transfer bytes
    void wentAway(); // lets go of a device that went away, once; it stays "open" until close()
    void checkStillThere(); // lets go of the device if it went away (Qt Serial Port's device)
    // What the system's own error code says of a device that would not open (per system).
    static Refusal refusalOf(int systemError);
    // Notes why the device did not open: the one place that tells a busy device from one the
    // user may not use.
    OpenResult refused(Refusal refusal, const QString& portName);

    struct Port; // the system's own handle on the device, and what goes with it
    std::unique_ptr<Port> port_;
    OpenFault openFault_ = OpenFault::None;
    State state_ = State::Closed;
};
