#pragma once

// The times the bootloader protocol sets.
constexpr int AckTimeoutMs = 1000; // for the line feed that acknowledges one command
constexpr int SettlePauseMs = 25;  // after the last erased row, and after the completion block
