#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The entry point that libFuzzer calls, and that the regression replay calls for every input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Stops the run with a message when a property does not hold: libFuzzer keeps the input as a
// crash, the replay fails.
inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz property violated: %s\n", property);
        std::abort();
    }
}

inline QByteArrayView inputBytes(const std::uint8_t* data, std::size_t size) {
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The value of one hexadecimal digit, or -1: written apart from the code under test.
inline int digitValue(char c) {
    const QByteArray digits = "0123456789abcdef";
    const qsizetype found = digits.indexOf(char(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c));
    return int(found);
}
