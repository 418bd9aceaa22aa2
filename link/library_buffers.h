// The fixed, zero-filled buffers through which texts reach the link library.
#pragma once

#include <cstddef>
#include <cstring>

// Copies text into buf, cut to fit with its NUL; the rest of buf is zero.
template <size_t N>
void CopyForLibrary(char (&buf)[N], const char* text) {
    std::memset(buf, 0, N);
    if (text) std::strncpy(buf, text, N - 1);
}
