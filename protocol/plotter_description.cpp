#include "protocol/plotter_description.h"

#include <cstring>

namespace protocol {

static_assert(kPortOffset + kPortLength <= kDescriptionSize, "the port lies inside the description");

CString PortFromDescription(const char (&description)[kDescriptionSize]) {
    const char* reported = description + kPortOffset;
    const void* nul = std::memchr(reported, '\0', kPortLength);
    const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - reported) : kPortLength;
    return CString(reported, static_cast<int>(length));
}

}  // namespace protocol
