#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zeltra::sim {

// The target's memory as the bootloader sees it, in word addresses: program memory 0000-1FFF,
// IDs and configuration 2000-2007 (14-bit words), data EEPROM 2100-21FF (bytes). Program memory
// starts out holding a "previous program" below the boot vector, a completion-marked boot-vector
// block, and the bootloader's own code from the boot vector + 4 up to 1FFF.
class TargetMemory {
public:
    static constexpr std::uint16_t ProgramEnd = 0x2000;
    static constexpr std::uint16_t ConfigEnd = 0x2008;
    static constexpr std::uint16_t EepromStart = 0x2100;
    static constexpr std::uint16_t RowWords = 32;
    static constexpr std::uint16_t Blank = 0x3FFF;

    explicit TargetMemory(std::uint16_t bootVector);

    // True for the bootloader's own code, which nothing may change.
    bool isBootloaderCode(std::uint16_t address) const;
    static bool isEeprom(std::uint16_t address) { return address >= EepromStart; }

    // Program and configuration words; unimplemented addresses below 2100 read 3FFF.
    std::uint16_t word(std::uint16_t address) const;
    // Stores value AND 3FFF; ignores unimplemented addresses and the bootloader's code.
    void setWord(std::uint16_t address, std::uint16_t value);
    // The EEPROM is addressed by the low byte of the address.
    std::uint8_t eeprom(std::uint16_t address) const { return eeprom_[address & 0xFF]; }
    void setEeprom(std::uint16_t address, std::uint8_t value) { eeprom_[address & 0xFF] = value; }

    // The whole image as Intel HEX (byte addresses = word addresses × 2, words low byte first,
    // EEPROM bytes as words with a zero high byte); blank runs of eight words are left out.
    std::string intelHex() const;
    // The image as JSON members "program", "config" and "eeprom" (arrays of hex texts).
    std::string json() const;

private:
    std::uint32_t bootVector_;
    std::array<std::uint16_t, ConfigEnd> words_{};
    std::array<std::uint8_t, 256> eeprom_{};
};

// Upper-case hex text of a value, zero-padded to the given number of digits.
std::string hexText(unsigned value, int digits);

} // namespace zeltra::sim
