#include "sim/HexCompare.h"

#include <cstdio>
#include <optional>
#include <sstream>

namespace zeltra::sim {
namespace {

constexpr std::size_t MaxMismatchesListed = 8;

std::optional<std::vector<std::uint8_t>> recordBytes(const std::string& line) {
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(line.c_str() + i, "%2x", &value) != 1) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum = static_cast<std::uint8_t>(sum + byte);
    }
    if (sum != 0 || bytes.size() != bytes[0] + 5u) {
        return std::nullopt;
    }
    return bytes;
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

} // namespace

HexComparison compareWithHexFile(const std::string& hexText,
                                 const std::function<std::uint16_t(std::uint16_t)>& programWord,
                                 const std::function<std::uint8_t(std::uint16_t)>& eepromByte) {
    HexComparison result;
    const auto mismatch = [&](unsigned address, unsigned inFile, unsigned onTarget) {
        if (result.mismatches.size() < MaxMismatchesListed) {
            result.mismatches.push_back(hex4(address) + ": file " + hex4(inFile) + ", target " +
                                        hex4(onTarget));
        }
    };
    std::istringstream lines(hexText.substr(0, hexText.find('\x1A')));
    std::string line;
    while (std::getline(lines, line)) {
        std::erase(line, '\r');
        if (line.empty()) {
            continue;
        }
        const auto bytes = recordBytes(line);
        if (!bytes) {
            ++result.malformedLines;
            continue;
        }
        const unsigned type = (*bytes)[3];
        if (type == 1) {
            break;
        }
        if (type != 0) {
            continue;
        }
        const unsigned byteAddress = (*bytes)[1] << 8 | (*bytes)[2];
        for (std::size_t i = 0; i + 1 < (*bytes)[0]; i += 2) {
            const unsigned word = (*bytes)[4 + i] | (*bytes)[5 + i] << 8;
            const auto address = static_cast<std::uint16_t>((byteAddress + i) / 2);
            if (address < 0x2000) {
                ++result.programWords;
                const std::uint16_t held = programWord(address);
                if (held == word) {
                    ++result.programMatches;
                } else {
                    mismatch(address, word, held);
                }
            } else if (address < 0x2100) {
                ++result.configurationWords;
            } else {
                ++result.eepromBytes;
                const std::uint8_t held = eepromByte(address);
                if (held == word) {
                    ++result.eepromMatches;
                } else {
                    mismatch(address, word, held);
                }
            }
        }
    }
    return result;
}

std::string describe(const HexComparison& comparison) {
    std::ostringstream text;
    text << "Program words in the file:   " << comparison.programWords << ", "
         << comparison.programMatches << " held by the target\n"
         << "EEPROM bytes in the file:    " << comparison.eepromBytes << ", "
         << comparison.eepromMatches << " held by the target\n"
         << "ID and configuration words:  " << comparison.configurationWords
         << " (not written by the bootloader)\n";
    if (comparison.malformedLines > 0) {
        text << "Malformed lines:             " << comparison.malformedLines << "\n";
    }
    for (const std::string& mismatch : comparison.mismatches) {
        text << "  differs at " << mismatch << "\n";
    }
    text << (comparison.matches() ? "The target holds the file.\n"
                                  : "The target does NOT hold the file.\n");
    return text.str();
}

} // namespace zeltra::sim
