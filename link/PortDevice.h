#pragma once

#include <QByteArray>
#include <QString>

// What the protocol needs of the port through which it reaches the cradle, whatever carries the
// bytes: a serial device on this machine (link/SerialDevice.h), or a network link to a serial
// port that a server on another machine offers (link/NetworkLink.h). Every kind keeps the serial
// device's rules for transfers, closed ports and ports that went away, each with its own read
// rule, and says its own failures in its own words.
class PortDevice {
public:
    // The set-up steps of an open, in order; an open stops at the first that fails. After a
    // failure past OpenFailed the port is open until close().
    enum class OpenResult {
        Ok,
        OpenFailed,
        ReadSettingsFailed,
        WriteSettingsFailed,
        TimeoutsFailed,
        PurgeFailed
    };

    virtual ~PortDevice() = default;

    virtual bool isOpen() const = 0;
    // The device or the connection went away while it was open; so it stays until close().
    virtual bool isGone() const = 0;
    virtual QString errorString() const = 0; // the system's own words for the latest failure
    virtual bool close() = 0;                // false when there was nothing to close

    virtual qint64 write(const QByteArray& bytes) = 0; // the number of bytes transferred
    virtual QByteArray read(int count) = 0; // what arrived under the read rule, possibly nothing
    virtual bool purge() = 0;               // drop everything waiting in both directions
    virtual void clearErrors() = 0;         // clear the port's sticky error state
    virtual QByteArray readWaiting() = 0;   // what has arrived by now, returned at once

    // For the status line's tip: why the latest open of the port named portName failed at
    // result, in words the user can act on.
    virtual QString openFailureDetail(OpenResult result, const QString& portName) const = 0;
    // What "Lost contact" leaves out: that the port went away, or nothing while it is there.
    virtual QString lostContactDetail() const = 0;
    // What may hold back every answer on this port, and what the user can do about it.
    virtual QString lateAnswersCause() const = 0;

protected:
    // Sleeps for what is left of a read's time on a port that went away, so that the loops
    // that read keep their pace.
    static void keepPace(qint64 ms);
};
