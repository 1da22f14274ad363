#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zeltra::sim {

// What a target holds against an Intel HEX file: every data word of the file below the IDs
// (2000) is looked up in program memory, every item from 2100 in data EEPROM (its low byte); the
// ID and configuration words (2000-20FF) are counted but left out, since a bootloader does not
// write them.
struct HexComparison {
    int programWords = 0, programMatches = 0;
    int eepromBytes = 0, eepromMatches = 0;
    int configurationWords = 0;
    int malformedLines = 0;
    std::vector<std::string> mismatches; // the first few, as "ADDR: file XXXX, target YYYY"

    bool matches() const {
        return malformedLines == 0 && programMatches == programWords &&
               eepromMatches == eepromBytes;
    }
};

HexComparison compareWithHexFile(const std::string& hexText,
                                 const std::function<std::uint16_t(std::uint16_t)>& programWord,
                                 const std::function<std::uint8_t(std::uint16_t)>& eepromByte);

// The comparison as a few lines of text for a person.
std::string describe(const HexComparison& comparison);

} // namespace zeltra::sim
