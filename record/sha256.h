// SHA-256 (FIPS 180-4), fed in pieces of any size. Plain C++: the record of a
// run names the firmware file by its hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    void Add(const void* bytes, size_t count);
    // The digest as 64 lower-case hex digits; the hash takes nothing more after it.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);

    uint32_t m_state[8];
    uint8_t m_buffer[64];
    size_t m_buffered = 0;
    uint64_t m_length = 0;  // bytes added
};
