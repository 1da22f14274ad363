#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>

// The one serial device through which the tool reaches the programming cradle: 19200 baud,
// 8 data bits, no parity, one stop bit, raw bytes, no flow control, DTR and RTS off.
//
// Reads follow one rule: a read of n bytes returns as soon as n bytes have arrived, or when more
// than 10 ms pass after a byte without another, or at the latest 10 x n + 10 ms after it began.
// A write of n bytes is given at most 10 x n + 10 ms. On a closed device reads deliver nothing
// and writes transfer nothing, at once. A device that went away (a pulled USB adapter) stays
// "open" until close(): its reads still take their time and deliver nothing, so no waiting loop
// ever spins.
//
// One implementation per system: SerialDevicePosix.cpp drives the device through Qt Serial Port,
// SerialDeviceWindows.cpp through kernel32's serial calls, whose time-outs then hold the read
// rule.
class SerialDevice {
public:
    // The set-up steps of open(), in order; open() stops at the first that fails. After a
    // failure past OpenFailed the device is open (as the platform's handle would be) until
    // close().
    enum class OpenResult {
        Ok,
        OpenFailed,
        ReadSettingsFailed,
        WriteSettingsFailed,
        TimeoutsFailed,
        PurgeFailed
    };

    // Why the device itself did not open (OpenResult::OpenFailed).
    enum class OpenFault { None, Missing, NoPermission, Busy, Other };

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the device exclusively and configures it; a device that was open is closed first.
    // The driver is asked for low latency, which close() undoes.
    OpenResult open(const QString& portName);
    bool isOpen() const;
    OpenFault openFault() const { return openFault_; } // of the latest open()
    QString errorString() const; // the system's own words for the latest failure
    bool close();                // false when there was nothing to close

    qint64 write(const QByteArray& bytes); // the number of bytes transferred
    QByteArray read(int count);            // what arrived under the read rule, possibly nothing
    bool purge();                          // drop everything waiting in both directions
    void clearErrors();                    // clear the device's sticky error state
    // What has arrived by now, returned at once: for asking several devices in turn.
    QByteArray readWaiting();
    // Trades devices with another: its device, open or not, becomes this one's.
    void swap(SerialDevice& other) noexcept {
        std::swap(port_, other.port_);
        std::swap(openFault_, other.openFault_);
        std::swap(open_, other.open_);
    }

private:
    bool usable(); // open, and the device still there to transfer bytes

    struct Port; // the system's own handle on the device, and what goes with it
    std::unique_ptr<Port> port_;
    OpenFault openFault_ = OpenFault::None;
    bool open_ = false; // open for the tool, even after the device itself went away
};
