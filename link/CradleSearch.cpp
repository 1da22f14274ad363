#include "link/CradleSearch.h"

#include "link/Commands.h"

#include <QElapsedTimer>
#include <QThread>

namespace {
constexpr int kFixedPorts = 3; // COM1 to COM3
constexpr unsigned long kPollMs = 1;
// What one "*" is given for its answer: the read rule's time for one byte.
constexpr qint64 kAnswerMs = SerialDevice::transferBudgetMs(1);

bool sameDevice(const DetectedPort& port, const QList<DetectedPort>& ports) {
    for (const DetectedPort& other : ports)
        if (other.device == port.device)
            return true;
    return false;
}
} // namespace

QList<DetectedPort> searchCandidates() {
    const SerialPlatform& platform = serialPlatform();
    QList<DetectedPort> candidates;
    for (int number = 1; number <= kFixedPorts; ++number) {
        const QString name = ComName::of(number);
        if (platform.deviceExists(name))
            candidates.append({name, platform.devicePath(name), QString()});
    }
    for (const DetectedPort& port : platform.detectedPorts()) {
        bool listed = false;
        for (DetectedPort& fixed : candidates)
            if (fixed.device == port.device && fixed.description.isEmpty()) {
                fixed.description = port.description;
                listed = true;
            }
        if (!listed && !sameDevice(port, candidates))
            candidates.append(port);
    }
    return candidates;
}

CradleSearch::CradleSearch(const QList<DetectedPort>& candidates, Identify identify)
    : identify_(std::move(identify)) {
    for (const DetectedPort& port : candidates) {
        auto device = std::make_unique<SerialDevice>();
        if (device->open(port.name) == SerialDevice::OpenResult::Ok)
            asked_.push_back({port, std::move(device)});
        else if (device->openFault() == SerialDevice::OpenFault::Busy)
            busy_.append(port.name);
    }
}

CradleSearch::~CradleSearch() = default; // each device closes itself

QStringList CradleSearch::askedPorts() const {
    QStringList names;
    for (const Candidate& candidate : asked_)
        names.append(candidate.port.name);
    return names;
}

CradleSearch::Answer CradleSearch::answerIn(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return Answer::None;
    // Answers to earlier requests that came late arrive together.
    for (const char byte : bytes)
        if (byte != Sync::Answer)
            return Answer::Other;
    return Answer::Bootloader;
}

bool CradleSearch::pass(const std::function<void()>& pump) {
    for (Candidate& candidate : asked_) {
        candidate.device->purge();
        candidate.device->write(QByteArray(1, Sync::Request));
    }
    QElapsedTimer waited;
    waited.start();
    do {
        pump();
        for (std::size_t index = 0; index < asked_.size();) {
            switch (answerIn(asked_[index].device->readWaiting())) {
            case Answer::None:
                ++index;
                break;
            case Answer::Bootloader:
                if (identify_(*asked_[index].device)) {
                    take(index);
                    return true;
                }
                [[fallthrough]];
            case Answer::Other:
                asked_.erase(asked_.begin() + std::ptrdiff_t(index)); // closes it
                break;
            }
        }
        if (asked_.empty())
            return false;
        QThread::msleep(kPollMs);
    } while (waited.elapsed() <= kAnswerMs);
    return false;
}

void CradleSearch::take(std::size_t index) {
    Candidate taken = std::move(asked_[index]);
    asked_.clear(); // closes the others
    found_ = taken.port;
    asked_.push_back(std::move(taken));
}

void CradleSearch::handOver(CradlePort& port) {
    port.take(std::move(asked_.front().device));
    asked_.clear();
}
