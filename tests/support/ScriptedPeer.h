#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class PtyPair;

// A byte the tool sent, and when the peer read it (steady clock, the clock QElapsedTimer uses).
struct ReceivedByte {
    char byte;
    std::chrono::steady_clock::time_point at;
};

// A scripted bootloader on the master side of a PtyPair, for byte-exact protocol tests.
//
// A thread reads everything the tool sends, records every byte with the time it was read, and
// cuts the stream into units: a "*" that arrives outside a line is a unit on its own; every
// other byte belongs to a command line, which is a unit once its LF has arrived. Each unit is
// handed to the responder, exactly as received (a line with its LF), and the bytes the
// responder returns are sent back at once. The responder runs on the peer's thread: share state
// with the test through atomics or under a lock. It may also call send() itself, or block for a
// while, to model a slow or chunked answer.
//
// Without a responder the peer only records (a cradle that never answers).
class ScriptedPeer {
public:
    using Responder = std::function<QByteArray(const QByteArray& unit)>;

    // Starts the peer's thread on the pair's master. The pair must outlive the peer, and its
    // master must not be closed while the peer runs.
    explicit ScriptedPeer(PtyPair& pty, Responder responder = {});
    ~ScriptedPeer(); // stops the thread
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Sends bytes to the tool, from any thread.
    void send(QByteArrayView bytes);

    // What the tool has sent so far, as bytes, as timed bytes, or as units.
    QByteArray receivedBytes() const;
    std::vector<ReceivedByte> received() const;
    std::vector<QByteArray> units() const;

    // Blocks the calling thread until at least count bytes have been received; false when
    // timeoutMs passes first. Do not call it while the tool must run on the same thread: use
    // QTRY_* on receivedBytes() there.
    bool waitForBytes(qsizetype count, int timeoutMs) const;

    // Forgets everything received so far (and any line begun).
    void clear();

    // Stops the thread; the peer keeps what it recorded. Called by the destructor.
    void stop();

private:
    void run();
    void take(const char* bytes, qsizetype count);

    PtyPair& pty_;
    Responder responder_;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<ReceivedByte> received_;
    std::vector<QByteArray> units_;
    QByteArray line_;
    std::thread thread_;
};
