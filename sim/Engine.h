#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/TargetMemory.h"

// A simulated programming cradle with a PIC16-class target running the resident bootloader:
// strict enough to catch a host that breaks the command protocol.
namespace zeltra::sim {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string firmwareVersion = "11"; // two characters, sent in the "rFFFF" reply
    std::string bootVector = "1F00";    // four characters, sent in the "rFFFF" reply as given
    enum class Reset { AfterDelay, Immediately, Never } reset = Reset::AfterDelay;
    int resetDelayMs = 300;       // RESET is pressed this long after the first "*"
    bool lineModel = false;       // 19200 baud, 10 bits a byte, 2 ms per erase and block
    int dropAck = 0;              // never send the Nth acknowledgement (1-based); 0 = none
    int ackDelayMs = 0;           // delay every acknowledgement
    int replyDelayMs = 0;         // delay every reply line ("rFFFF", "r1")
    std::string garbageBeforeAck; // sent before every acknowledgement LF
    int ffBeforeAck = 0;          // this many 0xFF bytes sent before every acknowledgement LF
    int replySplitGapMs = 0;      // pause in the middle of every reply line
    std::optional<std::pair<std::uint16_t, std::uint16_t>>
        wrongWord;                               // "r1" at .first reads .second
    std::optional<std::uint16_t> cancellingPair; // "r1" at A reads one more, at A+1 one less
    int hangUpAfter = 0; // close the line on the Nth command line; 0 = never
    // A USB serial adapter's latency timer: every answer leaves at the next multiple of this
    // many ms (counted from the host's first byte) after it is ready; 0 = a direct line.
    int adapterLatencyMs = 0;
    bool exitAfterGo = false; // zeltra-sim: stop shortly after "g"
};

// Each protocol violation in Report::violations starts with one of these texts.
namespace violation {
inline constexpr std::string_view Overlap = "command before previous answer";
inline constexpr std::string_view LowerCase = "lower-case digits";
inline constexpr std::string_view NoLineFeed = "line without LF";
inline constexpr std::string_view TooLong = "line over 40 characters";
inline constexpr std::string_view UnfinishedBlock = "unfinished block dropped";
inline constexpr std::string_view BootloaderWrite = "write to bootloader code";
inline constexpr std::string_view BootloaderErase = "erase of bootloader code";
inline constexpr std::string_view EraseOutside = "erase outside program memory";
inline constexpr std::string_view Malformed = "malformed command";
inline constexpr std::string_view Unknown = "unknown command";
} // namespace violation

struct Report {
    // Command lines by kind: "a", "w", "e", "g", "r1", "rFFFF", and "other".
    std::map<std::string, int> commandCounts;
    int syncBytes = 0;        // "*" received
    int syncAnswers = 0;      // "i" sent
    int acknowledgements = 0; // acknowledgement LFs sent (a dropped one is not counted)
    std::uint64_t bytesIn = 0, bytesOut = 0;
    int rowErases = 0, blockWrites = 0;
    // Line time for every byte both ways at 19200 baud plus 2 ms per row erase and block write.
    std::int64_t modelledMicros = 0;
    std::optional<double> resetAtMs; // when RESET is (to be) pressed, since the first byte
    bool goReceived = false;
    std::optional<Clock::time_point> goTime;
    std::optional<double> goAfterMs; // since the first byte from the host
    bool hungUp = false;
    std::vector<std::string> violations;
    std::vector<std::string> commandLog; // every command line, without LF, in order
    // For every answer that the host followed up: the time from handing its last byte to the
    // line until the host's next byte was received, both as the clock stood at the time.
    std::vector<std::chrono::nanoseconds> hostTurnarounds;
    // How much later than due the last byte of every answer was handed to the line, in all.
    std::chrono::nanoseconds lateAnswers{0};
};

// The target itself: bytes in, bytes out, driven by the clock it is given.
class Engine {
public:
    static constexpr std::chrono::nanoseconds ByteTime{520833}; // 10 bits at 19200 baud
    static constexpr std::chrono::milliseconds PartTime{2};     // row erase, block write
    static constexpr std::chrono::milliseconds LineGap{
        100}; // a line unfinished this long is dropped
    static constexpr std::size_t MaxLine = 40;

    // Throws std::invalid_argument when the version is not 2 or the boot vector not 4 characters.
    explicit Engine(Options options = {});

    void receive(std::string_view bytes, Clock::time_point now); // bytes from the host
    std::string transmit(Clock::time_point now);                 // bytes due to the host by now
    std::optional<Clock::time_point> nextDue() const;            // when more output becomes due
    bool inputPending() const { return !inbox_.empty(); }        // received, not yet handled
    bool hungUp() const { return hungUp_; }
    void hangUp(); // the line is gone: nothing more is received or sent
    // RESET pressed now, as for the next board in the cradle: the bootloader listens from now
    // on, whatever the reset mode, and again after a "g".
    void pressReset();

    std::uint16_t programWord(std::uint16_t address) const { return memory_.word(address); }
    // Changes a program word behind the bootloader's back, as a fault in the part would.
    void setProgramWord(std::uint16_t address, std::uint16_t value) {
        memory_.setWord(address, value);
    }
    std::uint8_t eepromByte(std::uint16_t address) const { return memory_.eeprom(address); }
    const Options& options() const { return options_; }
    std::optional<Clock::time_point> goTime() const { return report_.goTime; }

    Report report() const;
    std::string reportJson() const;
    std::string imageAsIntelHex() const { return memory_.intelHex(); }

private:
    struct TimedByte {
        Clock::time_point at;
        char byte;
    };
    struct PendingWord {
        std::uint16_t address, value;
    };

    void process(Clock::time_point now);
    void expirePartialLine(Clock::time_point now);
    void handleByte(char byte, Clock::time_point at);
    void handleSync(Clock::time_point at);
    void completeLine(Clock::time_point at);
    void execute(const std::string& text, Clock::time_point at);
    void setAddress(std::string_view digits, Clock::time_point at);
    void writeWord(std::string_view digits, Clock::time_point at);
    void commitBlock();
    void dropUnfinishedBlock();
    void readWord(Clock::time_point at);
    void eraseRow(Clock::time_point at);
    void startProgram(Clock::time_point at);
    std::optional<std::uint16_t> hostNumber(std::string_view digits, bool mayBeBootVector);
    bool listening(Clock::time_point at) const;
    void acknowledge(Clock::time_point ready);
    void reply(const std::string& line, Clock::time_point ready);
    void queueOutput(std::string_view bytes, Clock::time_point ready);
    Clock::time_point adapterTick(Clock::time_point ready) const;
    void violate(std::string_view kind, std::string_view detail = {});
    void commandViolation(std::string_view kind, std::string_view detail = {});

    Options options_;
    TargetMemory memory_;
    Report report_;
    std::deque<TimedByte> inbox_;  // received, waiting for their modelled arrival
    std::deque<TimedByte> outbox_; // to send: an answer's bytes all when its last one is due
    std::optional<Clock::time_point> origin_, firstSync_;
    Clock::time_point lineInFree_{}, lastOutDue_{};
    std::string line_;
    Clock::time_point lineStart_{}, lineLastByte_{};
    std::uint16_t address_ = 0;
    std::vector<PendingWord> block_;
    int acksCounted_ = 0;
    std::optional<Clock::time_point> answerSent_; // the outbox ran empty, host not heard since
    bool started_ = false;      // "g" came: the user's program runs, the bootloader is silent
    bool resetPressed_ = false; // by pressReset(), rather than by the reset mode
    bool hungUp_ = false;
};

} // namespace zeltra::sim
