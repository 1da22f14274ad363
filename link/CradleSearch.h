#pragma once

#include "link/CradlePort.h"
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The ports a search for the cradle asks: every serial port the system reports as present, and
// COM1 to COM3 where their devices are there, each device once (under its COM name when it is
// one of those).
QList<DetectedPort> searchCandidates();

// Looks for the programming cradle on several ports at once. Each pass sends "*" to every port
// still asked and gathers what arrives within the time that one "*" is given. Nothing but "*"
// ever goes to a port whose bootloader has not answered "i"; a port that answers anything else,
// or answers "i" and then is not accepted, is no longer asked and is closed.
class CradleSearch {
public:
    // Whether the bootloader behind a port that answered "i" is one the tool accepts.
    using Identify = std::function<bool(SerialDevice& device)>;

    // Opens every candidate; those that will not open are left out (those held by another
    // program are named by busyPorts()).
    CradleSearch(const QList<DetectedPort>& candidates, Identify identify);
    ~CradleSearch(); // closes every port still open

    bool nothingToAsk() const { return asked_.empty(); }
    QStringList askedPorts() const;
    const QStringList& busyPorts() const { return busy_; }

    // One pass. True when a port's bootloader answered and was accepted: found() is that port,
    // and every other port is closed. `pump` runs while the pass waits for answers.
    bool pass(const std::function<void()>& pump);
    const DetectedPort& found() const { return found_; }
    // Hands the port found over to `device`, open, with the device's usual read rule.
    void handOver(CradlePort& port);

private:
    struct Candidate {
        DetectedPort port;
        std::unique_ptr<SerialDevice> device;
    };
    // What arrived on a port in this pass decides it: kept asking, taken or dropped.
    enum class Answer { None, Bootloader, Other };
    static Answer answerIn(const QByteArray& bytes);
    void take(std::size_t index);

    Identify identify_;
    std::vector<Candidate> asked_;
    QStringList busy_;
    DetectedPort found_;
};
