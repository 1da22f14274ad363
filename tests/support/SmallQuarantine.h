#pragma once

// For a test program that bounds its memory: AddressSanitizer keeps freed memory in quarantine to
// catch late uses of it; a small quarantine lets the bounds measure the code under test rather
// than the sanitizer. Include it in one source file of the program.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=4";
}
#endif
