#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sim/Engine.h"

namespace zeltra::sim {

// Serves an Engine on a pseudo-terminal pair from a thread of its own.
class PtyTarget {
public:
    // Called by the serving thread whenever answers have become due, before it writes them to
    // the line: a test may hold the thread up there, as a busy machine does.
    using BeforeWrite = std::function<void()>;

    // Creates the pair and starts serving at once.
    explicit PtyTarget(Options options = {}, BeforeWrite beforeWrite = {});
    ~PtyTarget(); // stops the thread, closes the pair
    PtyTarget(const PtyTarget&) = delete;
    PtyTarget& operator=(const PtyTarget&) = delete;

    const std::string& devicePath() const; // the slave side, for the downloader to open

    // Thread-safe snapshots while serving, taken once the target has handled every byte that
    // the host has written to the line so far.
    Report report() const;
    std::string reportJson() const;
    std::string imageAsIntelHex() const;
    std::uint16_t programWord(std::uint16_t address) const;
    std::uint8_t eepromByte(std::uint16_t address) const;
    std::optional<Clock::time_point> goTime() const;
    bool hungUp() const;

    // Changes a program word once the target has handled every byte the host has sent (Engine).
    void setProgramWord(std::uint16_t address, std::uint16_t value);
    void hangUp(); // closes the line now, like a pulled adapter; the device path then fails
    // Presses RESET once the target has handled every byte the host has sent (Engine).
    void pressReset();

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace zeltra::sim
