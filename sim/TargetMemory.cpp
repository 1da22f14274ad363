#include "sim/TargetMemory.h"

#include <algorithm>
#include <cstdio>

namespace zeltra::sim {

std::string hexText(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

TargetMemory::TargetMemory(std::uint16_t bootVector) : bootVector_(bootVector) {
    for (std::uint32_t address = 0; address < ConfigEnd; ++address) {
        std::uint16_t value = Blank;
        if (address < std::min<std::uint32_t>(bootVector_, ProgramEnd))
            value = 0x2000 | (address & 0x0FFF); // the previous program: CALL-like words
        else if (address == bootVector_ && address < ProgramEnd)
            value = 0x19CC; // that program was completely downloaded
        else if (isBootloaderCode(static_cast<std::uint16_t>(address)))
            value = 0x2800 | (address & 0x07FF); // GOTO-like words
        words_[address] = value;
    }
    eeprom_.fill(0xFF);
}

bool TargetMemory::isBootloaderCode(std::uint16_t address) const {
    return address >= bootVector_ + 4 && address < ProgramEnd;
}

std::uint16_t TargetMemory::word(std::uint16_t address) const {
    return address < ConfigEnd ? words_[address] : Blank;
}

void TargetMemory::setWord(std::uint16_t address, std::uint16_t value) {
    if (address < ConfigEnd && !isBootloaderCode(address))
        words_[address] = value & 0x3FFF;
}

namespace {

// One Intel HEX line; `bytes` are the data bytes in file order.
std::string hexRecord(unsigned byteAddress, unsigned type, const std::string& bytes) {
    unsigned sum =
        static_cast<unsigned>(bytes.size()) + (byteAddress >> 8) + (byteAddress & 0xFF) + type;
    std::string line = ":" + hexText(static_cast<unsigned>(bytes.size()), 2) +
                       hexText(byteAddress, 4) + hexText(type, 2);
    for (char c : bytes) {
        const unsigned byte = static_cast<unsigned char>(c);
        sum += byte;
        line += hexText(byte, 2);
    }
    return line + hexText((0x100 - (sum & 0xFF)) & 0xFF, 2) + "\n";
}

// Records of eight words from `first` up to `end` (word addresses), blank runs left out.
template <typename WordAt>
std::string wordRecords(unsigned first, unsigned end, unsigned blank, WordAt wordAt) {
    std::string text;
    for (unsigned start = first; start < end; start += 8) {
        std::string bytes;
        bool blankRun = true;
        for (unsigned address = start; address < std::min(start + 8, end); ++address) {
            const unsigned value = wordAt(address);
            blankRun = blankRun && value == blank;
            bytes += static_cast<char>(value & 0xFF);
            bytes += static_cast<char>(value >> 8);
        }
        if (!blankRun)
            text += hexRecord(start * 2, 0, bytes);
    }
    return text;
}

template <typename Container> std::string jsonHexArray(const Container& values, int digits) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i ? ",\"" : "\"") + hexText(values[i], digits) + "\"";
    return text + "]";
}

} // namespace

std::string TargetMemory::intelHex() const {
    const auto word = [this](unsigned address) { return words_[address]; };
    const auto eepromWord = [this](unsigned address) { return eeprom_[address & 0xFF]; };
    return wordRecords(0, ConfigEnd, Blank, word) +
           wordRecords(EepromStart, EepromStart + 256u, 0xFF, eepromWord) + hexRecord(0, 1, {});
}

std::string TargetMemory::json() const {
    const std::array<std::uint16_t, ProgramEnd> program = [this] {
        std::array<std::uint16_t, ProgramEnd> words{};
        std::copy_n(words_.begin(), ProgramEnd, words.begin());
        return words;
    }();
    const std::array<std::uint16_t, 8> config = {words_[0x2000], words_[0x2001], words_[0x2002],
                                                 words_[0x2003], words_[0x2004], words_[0x2005],
                                                 words_[0x2006], words_[0x2007]};
    return "\"program\":" + jsonHexArray(program, 4) + ",\"config\":" + jsonHexArray(config, 4) +
           ",\"eeprom\":" + jsonHexArray(eeprom_, 2);
}

} // namespace zeltra::sim
