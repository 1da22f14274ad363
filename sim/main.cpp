// zeltra-sim: serves the simulated bootloader target on a pseudo-terminal pair.
#include "sim/Engine.h"
#include "sim/HexCompare.h"
#include "sim/PtyTarget.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>

using namespace zeltra::sim;

namespace {

constexpr const char* Usage = R"(Usage: zeltra-sim [options]

Simulates the programming cradle and a PIC16-class target running the resident bootloader.
Prints the device path to give the downloader (PORT in DWNLD.INI) as the first line of its
output, then serves the target until SIGINT or SIGTERM (or shortly after "g" with
--exit-after-go), and writes a JSON report. SIGUSR1 writes the report (and image) at once;
SIGUSR2 presses RESET, as for the next board in the cradle (the bootloader listens again).

Target:
  --firmware-version VV       version sent in the "rFFFF" reply (default 11)
  --boot-vector TEXT          4 characters sent as the boot-vector address, as given
                              (default 1F00; try 1f00, 2001, ZZZZ, 0005)
  --reset MODE                when the bootloader starts listening: after-delay (RESET is
                              pressed some time after the first "*", the default),
                              immediately, or never
  --reset-delay-ms N          the RESET press after the first "*" (default 300)
  --line-model                take the line's and the part's time: 19200 baud at 10 bits
                              per byte both ways, 2 ms per row erase and per block write;
                              every answer arrives whole when its last byte is due
  --adapter-latency-ms N      model a USB serial adapter with an N ms latency timer: every
                              answer leaves at the next multiple of N ms (from the host's
                              first byte) after it is ready; FTDI adapters hold answers for
                              16 ms unless the tool asks for low latency, and then for 1 ms
Faults:
  --drop-ack N                never send the Nth acknowledgement LF (counting every "a",
                              "w" and "e", from 1)
  --ack-delay-ms N            delay every acknowledgement by N ms
  --reply-delay-ms N          delay every reply line ("rFFFF", "r1") by N ms
  --garbage-before-ack TEXT   send TEXT before every acknowledgement LF
  --ff-before-ack N           send N bytes 0xFF before every acknowledgement LF (after the
                              TEXT of --garbage-before-ack); an RFC 2217 server sends each
                              as IAC IAC
  --reply-split-gap-ms N      pause N ms in the middle of every reply line
  --wrong-word ADDR=WORD      "r1" at ADDR reads WORD (both hexadecimal)
  --cancelling-pair ADDR      "r1" at ADDR reads one more, at ADDR+1 one less (hexadecimal)
  --hang-up-after N           close the line when the Nth command line arrives
Running:
  --exit-after-go             stop shortly after "g"
  --report FILE               write the JSON report to FILE instead of standard output
  --image FILE                also write the target's memory as an Intel HEX file
  --compare FILE.hex          on stopping, say whether the target holds that HEX file and
                              whether "g" came; exit status 3 when it does not
  --help                      show this text
)";

struct Settings {
    Options options;
    std::string reportFile, imageFile, compareFile;
};

int number(const std::string& text) {
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used != text.size() || value < 0)
        throw std::invalid_argument("not a number: " + text);
    return value;
}

std::uint16_t hexNumber(const std::string& text) {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 16);
    if (used != text.size() || value > 0xFFFF)
        throw std::invalid_argument("not a 16-bit hexadecimal number: " + text);
    return static_cast<std::uint16_t>(value);
}

Options::Reset resetMode(const std::string& text) {
    if (text == "after-delay")
        return Options::Reset::AfterDelay;
    if (text == "immediately")
        return Options::Reset::Immediately;
    if (text == "never")
        return Options::Reset::Never;
    throw std::invalid_argument("unknown reset mode: " + text);
}

std::pair<std::uint16_t, std::uint16_t> wrongWord(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        throw std::invalid_argument("expected ADDR=WORD: " + text);
    return {hexNumber(text.substr(0, equals)), hexNumber(text.substr(equals + 1))};
}

Settings parse(int argc, char** argv) {
    Settings s;
    Options& o = s.options;
    using Setter = std::function<void(const std::string&)>;
    const std::map<std::string, Setter> valued = {
        {"--firmware-version", [&](const std::string& v) { o.firmwareVersion = v; }},
        {"--boot-vector", [&](const std::string& v) { o.bootVector = v; }},
        {"--reset", [&](const std::string& v) { o.reset = resetMode(v); }},
        {"--reset-delay-ms", [&](const std::string& v) { o.resetDelayMs = number(v); }},
        {"--drop-ack", [&](const std::string& v) { o.dropAck = number(v); }},
        {"--ack-delay-ms", [&](const std::string& v) { o.ackDelayMs = number(v); }},
        {"--reply-delay-ms", [&](const std::string& v) { o.replyDelayMs = number(v); }},
        {"--garbage-before-ack", [&](const std::string& v) { o.garbageBeforeAck = v; }},
        {"--ff-before-ack", [&](const std::string& v) { o.ffBeforeAck = number(v); }},
        {"--reply-split-gap-ms", [&](const std::string& v) { o.replySplitGapMs = number(v); }},
        {"--wrong-word", [&](const std::string& v) { o.wrongWord = wrongWord(v); }},
        {"--cancelling-pair", [&](const std::string& v) { o.cancellingPair = hexNumber(v); }},
        {"--hang-up-after", [&](const std::string& v) { o.hangUpAfter = number(v); }},
        {"--adapter-latency-ms", [&](const std::string& v) { o.adapterLatencyMs = number(v); }},
        {"--report", [&](const std::string& v) { s.reportFile = v; }},
        {"--image", [&](const std::string& v) { s.imageFile = v; }},
        {"--compare", [&](const std::string& v) { s.compareFile = v; }},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--line-model") {
            o.lineModel = true;
        } else if (arg == "--exit-after-go") {
            o.exitAfterGo = true;
        } else if (const auto it = valued.find(arg); it != valued.end()) {
            if (i + 1 >= argc)
                throw std::invalid_argument(arg + " needs a value");
            it->second(argv[++i]);
        } else {
            throw std::invalid_argument("unknown option: " + arg);
        }
    }
    return s;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush())
        std::cerr << "zeltra-sim: cannot write " << path << "\n";
}

void writeOutputs(const Settings& settings, const PtyTarget& target) {
    if (settings.reportFile.empty())
        std::cout << target.reportJson() << std::flush;
    else
        writeFile(settings.reportFile, target.reportJson());
    if (!settings.imageFile.empty())
        writeFile(settings.imageFile, target.imageAsIntelHex());
}

// Prints whether the target holds the HEX file and has been told to run it; true when it has.
bool compareWithFile(const std::string& path, const PtyTarget& target) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        std::cout << "Cannot read " << path << "\n";
        return false;
    }
    const HexComparison comparison = compareWithHexFile(
        text, [&](std::uint16_t address) { return target.programWord(address); },
        [&](std::uint16_t address) { return target.eepromByte(address); });
    const bool started = target.report().goReceived;
    std::cout << "Target against " << path << ":\n"
              << describe(comparison)
              << "\"g\" (run the program) received: " << (started ? "yes" : "no") << std::endl;
    return comparison.matches() && started;
}

// Serves until SIGINT or SIGTERM, or shortly after "g" when asked to.
void serve(const Settings& settings, PtyTarget& target, const sigset_t& signals) {
    constexpr auto AfterGo = std::chrono::milliseconds(200);
    const timespec tick{0, 50'000'000};
    for (;;) {
        const int signal = ::sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM)
            return;
        if (signal == SIGUSR1)
            writeOutputs(settings, target);
        if (signal == SIGUSR2)
            target.pressReset();
        const auto go = target.goTime();
        if (settings.options.exitAfterGo && go && Clock::now() >= *go + AfterGo)
            return;
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::cout << Usage;
            return 0;
        }
    }
    Settings settings;
    try {
        settings = parse(argc, argv);
        Engine check(settings.options); // refuses a version or boot vector of the wrong length
    } catch (const std::exception& error) {
        std::cerr << "zeltra-sim: " << error.what() << "\nTry zeltra-sim --help\n";
        return 2;
    }
    // Blocked here, the signals are blocked in the server thread too and arrive at sigtimedwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    try {
        PtyTarget target(settings.options);
        std::cout << target.devicePath() << std::endl;
        serve(settings, target, signals);
        writeOutputs(settings, target);
        if (!settings.compareFile.empty() && !compareWithFile(settings.compareFile, target))
            return 3;
    } catch (const std::exception& error) {
        std::cerr << "zeltra-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
