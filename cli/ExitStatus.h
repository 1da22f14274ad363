#pragma once

#include <array>

// dwnld-cli's exit statuses and what each one means. The help text is made from this table, and
// the manual page's table is checked against it.
namespace ExitStatus {
constexpr int Written = 0;      // written, verified and started; or held the file; or read
constexpr int Failed = 1;       // the download, the check or the read failed
constexpr int NothingSent = 2;  // a usage error, or a HEX file missing, unreadable or refused
constexpr int NoBootloader = 3; // no bootloader answered within the reset time-out
constexpr int Interrupted = 130;

struct Meaning {
    int status;
    const char* text;
};

constexpr std::array<Meaning, 5> Meanings{{
    {Written, "The program was written, verified and started. With --verify: the board holds the "
              "file. With --read: the board was read into the file."},
    {Failed, "The download failed: the port, lost contact with the target, a refused "
             "identification, a word that did not read back as written, or a marker. With "
             "--verify: the board does not hold the file, or the check failed likewise. With "
             "--read: the read failed likewise."},
    {NothingSent, "Nothing was sent: a usage error, or the HEX file is missing, unreadable or "
                  "refused; with --read, the file cannot be written."},
    {NoBootloader, "No bootloader answered within --reset-timeout."},
    {Interrupted, "Interrupted (Ctrl-C)."},
}};

// With --repeat, a run that has reached a board ends this way.
constexpr const char* RepeatNote =
    "With --repeat, a run that has reached a board ends with 0 when every board was written and "
    "1 when any failed, whether Ctrl-C or --reset-timeout ended it; 3 and 130 are left for a run "
    "that ends before its first board.";
} // namespace ExitStatus
