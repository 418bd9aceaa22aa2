// Byte strings written as text: C-style escapes for scenario values and log
// strings, hex for byte dumps. Shared by the simulator and the test helpers so
// that both sides agree on every byte.
#pragma once

#include <cstddef>
#include <string>

namespace zepl_sim {

// Printable ASCII stays; backslash and double quote are escaped; every other
// byte becomes \r, \n, \t or \xNN.
std::string EscapeText(const std::string& bytes);

// Reverses EscapeText and accepts what a person writes in a scenario:
// \\ \" \r \n \t \0 (NUL) and \xNN (exactly two hex digits).
// False, with a reason in *error, on an unknown or cut escape.
bool UnescapeText(const std::string& text, std::string* bytes, std::string* error);

// Upper-case hex, two digits a byte, nothing between.
std::string ToHex(const char* data, size_t count);
bool FromHex(const std::string& hex, std::string* bytes);

// CRC-32 as zip and PNG use it (reflected 0xEDB88320), for logs that name a
// block of bytes without dumping it.
unsigned long Crc32(const char* data, size_t count);

}  // namespace zepl_sim
