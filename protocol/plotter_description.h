// What the link library's description of the attached plotter says about it:
// the port the plotter is reached on. Plain byte work on the buffer the
// library fills.
#pragma once

#include <cstddef>

#include "platform/afx.h"

namespace protocol {

// The library describes the plotter in a buffer of this size; the port name
// stands at the offset, at most the length long.
const size_t kDescriptionSize = 384;
const size_t kPortOffset = 256;
const size_t kPortLength = 127;

// The port name in a description: the bytes from the offset up to the first
// NUL, never more than kPortLength of them, so the buffer is never read past
// its end even when the library leaves no NUL there.
CString PortFromDescription(const char (&description)[kDescriptionSize]);

}  // namespace protocol
