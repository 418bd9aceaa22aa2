// The plotter's three commands: ESC and a short code, written in one piece,
// with no line end and no terminator.
#pragma once

#include <cstddef>

namespace protocol {

const char kStatusQuery[] = "\x1b" ".C1:";
const char kVersionQuery[] = "\x1b" ".C31;9:";
const char kUpdateRequest[] = "\x1b" ".C18:";

// The count of bytes a command puts on the wire: its text without the NUL.
template <size_t N>
constexpr int CommandLength(const char (&)[N]) {
    return static_cast<int>(N - 1);
}

}  // namespace protocol
