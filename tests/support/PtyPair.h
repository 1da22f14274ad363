#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A pseudo-terminal pair standing in for a serial line to the programming cradle.
//
// The tool opens slavePath() like any serial device (it is a name that OpenCom accepts as
// written). The test plays the cradle on the master side, directly through writeToMaster() or
// with a ScriptedPeer. The master is in raw mode (no echo, no translation), and so is the
// slave, whose settings a serial device restores when it is closed.
//
// The pair keeps a descriptor of its own on the slave, so the master never sees a hang-up when
// the tool closes its port: the master stays usable for as long as the pair lives. Closing the
// master with closeMaster() makes the device vanish under the tool (as a pulled USB adapter).
//
// Construction fails with std::runtime_error when the system refuses a pseudo-terminal.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int masterFd() const { return master_; } // -1 after closeMaster()
    QString slavePath() const { return slavePath_; }
    // The pair's own descriptor on the slave: for reading the line settings the tool chose
    // (they belong to the terminal, whoever reads them). Never read data through it.
    int slaveFd() const { return slave_; }

    // Sends bytes to the tool as the cradle would; returns false if not all could be written.
    bool writeToMaster(QByteArrayView bytes) const;

    // Reads what the tool has sent, waiting at most timeoutMs for the first byte and taking
    // whatever is there then. Only for tests without a ScriptedPeer on the same pair.
    QByteArray readFromMaster(int timeoutMs) const;

    // Closes the master: the slave is hung up and the device is gone for the tool.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};
