#include "sim/Engine.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace zeltra::sim {

namespace {

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
bool isLowerHexLetter(char c) {
    return c >= 'a' && c <= 'f';
}

// The value of four hex digits in either case; empty when any character is no hex digit.
std::optional<std::uint16_t> hexValue(std::string_view digits) {
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), isHexDigit))
        return std::nullopt;
    return static_cast<std::uint16_t>(std::stoul(std::string(digits), nullptr, 16));
}

// The boot-vector address as the host reads it: 0 when the text is not hexadecimal.
std::uint16_t bootVectorNumber(const Options& options) {
    return hexValue(options.bootVector).value_or(0);
}

const Options& checked(const Options& options) {
    if (options.firmwareVersion.size() != 2)
        throw std::invalid_argument("the firmware version must have 2 characters");
    if (options.bootVector.size() != 4)
        throw std::invalid_argument("the boot vector must have 4 characters");
    return options;
}

std::string commandKind(const std::string& text) {
    if (text == "r1" || text == "rFFFF" || text == "e" || text == "g")
        return text;
    if (!text.empty() && (text[0] == 'a' || text[0] == 'w'))
        return text.substr(0, 1);
    return "other";
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += {'\\', c};
        else if (byte < 0x20 || byte >= 0x7F)
            out += "\\u00" + hexText(byte, 2);
        else
            out += c;
    }
    return out + "\"";
}

std::string jsonStrings(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i)
        out += (i ? "," : "") + jsonString(texts[i]);
    return out + "]";
}

} // namespace

Engine::Engine(Options options) : options_(checked(options)), memory_(bootVectorNumber(options)) {}

void Engine::receive(std::string_view bytes, Clock::time_point now) {
    if (hungUp_ || bytes.empty())
        return;
    if (!origin_)
        origin_ = now;
    if (answerSent_)
        report_.hostTurnarounds.push_back(now - *answerSent_);
    answerSent_.reset();
    report_.bytesIn += bytes.size();
    for (char byte : bytes) {
        const auto arrival = options_.lineModel ? std::max(now, lineInFree_) + ByteTime : now;
        lineInFree_ = arrival;
        inbox_.push_back({arrival, byte});
    }
    process(now);
}

std::string Engine::transmit(Clock::time_point now) {
    process(now);
    std::string bytes;
    Clock::time_point lastDue{};
    while (!outbox_.empty() && outbox_.front().at <= now) {
        bytes += outbox_.front().byte;
        lastDue = outbox_.front().at;
        outbox_.pop_front();
    }
    report_.bytesOut += bytes.size();
    if (!bytes.empty() && outbox_.empty()) {
        answerSent_ = now;
        report_.lateAnswers += now - lastDue;
    }
    return bytes;
}

std::optional<Clock::time_point> Engine::nextDue() const {
    std::optional<Clock::time_point> due;
    const auto consider = [&due](Clock::time_point at) { due = due ? std::min(*due, at) : at; };
    if (!outbox_.empty())
        consider(outbox_.front().at);
    if (!inbox_.empty())
        consider(inbox_.front().at);
    if (!line_.empty())
        consider(lineLastByte_ + LineGap + std::chrono::microseconds(1));
    return due;
}

void Engine::hangUp() {
    hungUp_ = true;
    inbox_.clear();
    outbox_.clear();
}

void Engine::process(Clock::time_point now) {
    while (!hungUp_ && !inbox_.empty() && inbox_.front().at <= now) {
        const TimedByte next = inbox_.front();
        inbox_.pop_front();
        expirePartialLine(next.at);
        handleByte(next.byte, next.at);
    }
    expirePartialLine(now);
}

// A host sends each command line in one write, so a line left unfinished for LineGap lacks its LF.
void Engine::expirePartialLine(Clock::time_point now) {
    if (!line_.empty() && now > lineLastByte_ + LineGap) {
        violate(violation::NoLineFeed, jsonString(line_));
        line_.clear();
    }
}

void Engine::handleByte(char byte, Clock::time_point at) {
    if (byte == '*') {
        if (!line_.empty())
            violate(violation::NoLineFeed, jsonString(line_));
        line_.clear();
        handleSync(at);
        return;
    }
    if (byte == '\n') {
        completeLine(at);
        return;
    }
    if (line_.empty())
        lineStart_ = at;
    if (line_.size() <= MaxLine) // enough to tell an over-long line
        line_ += byte;
    lineLastByte_ = at;
}

void Engine::handleSync(Clock::time_point at) {
    ++report_.syncBytes;
    if (!firstSync_)
        firstSync_ = at;
    if (listening(at)) {
        ++report_.syncAnswers;
        queueOutput("i", at);
    }
}

void Engine::pressReset() {
    started_ = false;
    resetPressed_ = true;
}

bool Engine::listening(Clock::time_point at) const {
    if (started_)
        return false;
    if (resetPressed_)
        return true;
    switch (options_.reset) {
    case Options::Reset::Immediately:
        return true;
    case Options::Reset::Never:
        return false;
    case Options::Reset::AfterDelay:
        break;
    }
    return firstSync_ && at >= *firstSync_ + std::chrono::milliseconds(options_.resetDelayMs);
}

void Engine::completeLine(Clock::time_point at) {
    if (line_.empty())
        lineStart_ = at;
    const std::string text = std::move(line_);
    line_.clear();
    report_.commandLog.push_back(text);
    ++report_.commandCounts[commandKind(text)];
    if (listening(at)) {
        if (!outbox_.empty() && outbox_.back().at >= lineStart_)
            commandViolation(violation::Overlap);
        if (text.size() > MaxLine)
            commandViolation(violation::TooLong);
        else
            execute(text, at);
    }
    if (options_.hangUpAfter > 0 &&
        report_.commandLog.size() == static_cast<std::size_t>(options_.hangUpAfter))
        hangUp();
}

void Engine::execute(const std::string& text, Clock::time_point at) {
    const std::string_view argument =
        std::string_view(text).substr(std::min<std::size_t>(1, text.size()));
    if (text == "rFFFF")
        reply(options_.firmwareVersion + options_.bootVector + "\n", at);
    else if (text == "r1")
        readWord(at);
    else if (text == "e")
        eraseRow(at);
    else if (text == "g")
        startProgram(at);
    else if (!text.empty() && text[0] == 'a')
        setAddress(argument, at);
    else if (!text.empty() && text[0] == 'w')
        writeWord(argument, at);
    else
        commandViolation(violation::Unknown);
}

// The value of four digits that the host sent. Only the boot-vector address comes back exactly as
// the bootloader gave it; every other number must be four upper-case hex digits.
std::optional<std::uint16_t> Engine::hostNumber(std::string_view digits, bool mayBeBootVector) {
    if (mayBeBootVector && digits == options_.bootVector)
        return hexValue(digits).value_or(0);
    const auto value = hexValue(digits);
    if (!value)
        commandViolation(violation::Malformed);
    else if (std::any_of(digits.begin(), digits.end(), isLowerHexLetter))
        commandViolation(violation::LowerCase);
    return value;
}

void Engine::setAddress(std::string_view digits, Clock::time_point at) {
    if (const auto value = hostNumber(digits, true)) {
        dropUnfinishedBlock();
        address_ = *value;
    }
    acknowledge(at);
}

// EEPROM bytes are stored at once; program-memory words wait for the fourth word of their block.
void Engine::writeWord(std::string_view digits, Clock::time_point at) {
    const auto value = hostNumber(digits, false);
    if (!value) {
        acknowledge(at);
        return;
    }
    auto ready = at;
    if (TargetMemory::isEeprom(address_)) {
        memory_.setEeprom(address_, static_cast<std::uint8_t>(*value & 0xFF));
    } else {
        block_.push_back({address_, *value});
        if (block_.size() == 4) {
            commitBlock();
            if (options_.lineModel)
                ready += PartTime;
        }
    }
    ++address_;
    acknowledge(ready);
}

void Engine::commitBlock() {
    ++report_.blockWrites;
    bool refused = false;
    for (const auto& word : block_) {
        refused = refused || memory_.isBootloaderCode(word.address);
        memory_.setWord(word.address, word.value);
    }
    if (refused)
        commandViolation(violation::BootloaderWrite,
                         "block at " + hexText(block_.front().address, 4));
    block_.clear();
}

void Engine::dropUnfinishedBlock() {
    if (!block_.empty())
        commandViolation(violation::UnfinishedBlock, std::to_string(block_.size()) +
                                                         " word(s) at " +
                                                         hexText(block_.front().address, 4));
    block_.clear();
}

void Engine::readWord(Clock::time_point at) {
    unsigned value = TargetMemory::isEeprom(address_) ? memory_.eeprom(address_)
                                                      : memory_.word(address_) & 0x3FFF;
    if (options_.wrongWord && options_.wrongWord->first == address_)
        value = options_.wrongWord->second;
    if (options_.cancellingPair && *options_.cancellingPair == address_)
        value = (value + 1) & 0xFFFF;
    if (options_.cancellingPair &&
        static_cast<std::uint16_t>(*options_.cancellingPair + 1) == address_)
        value = (value - 1) & 0xFFFF;
    ++address_;
    reply(hexText(value, 4) + "\n", at);
}

// Erases the 32-word row that holds the address; a row with any of the bootloader's code in it,
// or one outside program memory, is left as it is.
void Engine::eraseRow(Clock::time_point at) {
    const auto row = static_cast<std::uint16_t>(address_ & ~(TargetMemory::RowWords - 1));
    const auto last = static_cast<std::uint16_t>(row + TargetMemory::RowWords - 1);
    if (row >= TargetMemory::ProgramEnd) {
        commandViolation(violation::EraseOutside, "row at " + hexText(row, 4));
    } else if (memory_.isBootloaderCode(last)) {
        commandViolation(violation::BootloaderErase, "row at " + hexText(row, 4));
    } else {
        for (unsigned address = row; address <= last; ++address)
            memory_.setWord(static_cast<std::uint16_t>(address), TargetMemory::Blank);
    }
    ++report_.rowErases;
    acknowledge(options_.lineModel ? at + PartTime : at);
}

void Engine::startProgram(Clock::time_point at) {
    dropUnfinishedBlock();
    started_ = true;
    report_.goReceived = true;
    report_.goTime = at;
}

void Engine::acknowledge(Clock::time_point ready) {
    if (++acksCounted_ == options_.dropAck)
        return;
    ++report_.acknowledgements;
    queueOutput(options_.garbageBeforeAck +
                    std::string(std::size_t(std::max(options_.ffBeforeAck, 0)), '\xFF') + "\n",
                ready + std::chrono::milliseconds(options_.ackDelayMs));
}

void Engine::reply(const std::string& line, Clock::time_point ready) {
    ready += std::chrono::milliseconds(options_.replyDelayMs);
    if (options_.replySplitGapMs <= 0) {
        queueOutput(line, ready);
        return;
    }
    const std::size_t half = line.size() / 2;
    queueOutput(std::string_view(line).substr(0, half), ready);
    queueOutput(std::string_view(line).substr(half),
                lastOutDue_ + std::chrono::milliseconds(options_.replySplitGapMs));
}

// Answers leave one after another, in order; with the line model each byte takes ByteTime on the
// line. An answer is handed over whole when its last byte is due: the host has all of it at the
// same moment as over a real line, and a serving thread that wakes late delays the answer instead
// of splitting it. Through a modelled adapter the answer waits for the adapter's next tick.
void Engine::queueOutput(std::string_view bytes, Clock::time_point ready) {
    if (bytes.empty())
        return;
    lastOutDue_ = std::max(ready, lastOutDue_);
    if (options_.lineModel)
        lastOutDue_ += ByteTime * static_cast<std::int64_t>(bytes.size());
    const Clock::time_point due =
        options_.adapterLatencyMs > 0 ? adapterTick(lastOutDue_) : lastOutDue_;
    for (char byte : bytes)
        outbox_.push_back({due, byte});
}

// The first multiple of the adapter's latency, counted from the host's first byte, at or after
// the moment an answer is ready.
Clock::time_point Engine::adapterTick(Clock::time_point ready) const {
    const Clock::duration period = std::chrono::milliseconds(options_.adapterLatencyMs);
    const Clock::time_point start = origin_.value_or(ready);
    const auto ticks = (ready - start + period - Clock::duration(1)) / period;
    return start + ticks * period;
}

void Engine::violate(std::string_view kind, std::string_view detail) {
    std::string text(kind);
    if (!detail.empty())
        text += ": " + std::string(detail);
    report_.violations.push_back(std::move(text));
}

// A violation by the command line just received, named by its number and text.
void Engine::commandViolation(std::string_view kind, std::string_view detail) {
    std::string where = "command " + std::to_string(report_.commandLog.size()) + " " +
                        jsonString(report_.commandLog.back());
    violate(kind, detail.empty() ? where : where + ", " + std::string(detail));
}

Report Engine::report() const {
    Report report = report_;
    if (options_.reset == Options::Reset::Immediately)
        report.resetAtMs = 0.0;
    else if (options_.reset == Options::Reset::AfterDelay && firstSync_ && origin_)
        report.resetAtMs =
            std::chrono::duration<double, std::milli>(*firstSync_ - *origin_).count() +
            options_.resetDelayMs;
    report.hungUp = hungUp_;
    const auto lineTime = ByteTime * static_cast<std::int64_t>(report.bytesIn + report.bytesOut);
    const auto partTime = PartTime * (report.rowErases + report.blockWrites);
    report.modelledMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(lineTime + partTime).count();
    if (report.goTime && origin_)
        report.goAfterMs =
            std::chrono::duration<double, std::milli>(*report.goTime - *origin_).count();
    return report;
}

std::string Engine::reportJson() const {
    const Report r = report();
    std::string counts;
    for (const auto& [kind, count] : r.commandCounts)
        counts += (counts.empty() ? "" : ",") + jsonString(kind) + ":" + std::to_string(count);
    const auto number = [](auto value) { return std::to_string(value); };
    const auto boolean = [](bool value) { return std::string(value ? "true" : "false"); };
    return "{\"firmwareVersion\":" + jsonString(options_.firmwareVersion) +
           ",\"bootVector\":" + jsonString(options_.bootVector) + ",\"commandCounts\":{" + counts +
           "},\"syncBytes\":" + number(r.syncBytes) + ",\"syncAnswers\":" + number(r.syncAnswers) +
           ",\"acknowledgements\":" + number(r.acknowledgements) +
           ",\"bytesIn\":" + number(r.bytesIn) + ",\"bytesOut\":" + number(r.bytesOut) +
           ",\"rowErases\":" + number(r.rowErases) + ",\"blockWrites\":" + number(r.blockWrites) +
           ",\"modelledMicros\":" + number(r.modelledMicros) +
           ",\"resetAtMs\":" + (r.resetAtMs ? number(*r.resetAtMs) : "null") +
           ",\"goReceived\":" + boolean(r.goReceived) +
           ",\"goAfterMs\":" + (r.goAfterMs ? number(*r.goAfterMs) : "null") +
           ",\"hungUp\":" + boolean(r.hungUp) + ",\"violations\":" + jsonStrings(r.violations) +
           ",\"commandLog\":" + jsonStrings(r.commandLog) + ",\"memory\":{" + memory_.json() +
           "}}\n";
}

} // namespace zeltra::sim
