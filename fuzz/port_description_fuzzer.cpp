// The plotter's description as the link library may leave it: the port
// region (from its offset to the end of the buffer) comes from the input,
// the bytes before it too; whatever the input leaves is filled with its
// first byte, so a port region without any NUL is as easy to reach as one
// with. The description is exactly its size on the heap: a read past its end
// is a finding.
//
// Input: fill byte, then the port region's bytes, then the bytes from the
// start of the buffer.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/plotter_description.h"

using namespace protocol;

namespace {
typedef char Description[kDescriptionSize];

CString Port(const std::unique_ptr<char[]>& description) {
    return PortFromDescription(*reinterpret_cast<const Description*>(description.get()));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::unique_ptr<char[]> description(new char[kDescriptionSize]);
    std::memset(description.get(), data[0], kDescriptionSize);
    const size_t regionSize = kDescriptionSize - kPortOffset;
    size_t rest = size - 1;
    const size_t inRegion = rest < regionSize ? rest : regionSize;
    std::memcpy(description.get() + kPortOffset, data + 1, inRegion);
    rest -= inRegion;
    std::memcpy(description.get(), data + 1 + inRegion, rest < kPortOffset ? rest : kPortOffset);

    const CString port = Port(description);
    const std::string text(port, static_cast<size_t>(port.GetLength()));
    const char* region = description.get() + kPortOffset;
    FUZZ_CHECK(text.size() <= kPortLength);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.compare(0, text.size(), region, text.size()) == 0);
    // It ends at a NUL, or where it can be no longer.
    FUZZ_CHECK(text.size() == kPortLength || region[text.size()] == '\0');

    // Nothing outside the port's bytes changes it: not the bytes before the
    // offset, not the last byte of the buffer.
    for (size_t i = 0; i < kPortOffset; ++i) description[i] = static_cast<char>(~description[i]);
    description[kDescriptionSize - 1] = static_cast<char>(~description[kDescriptionSize - 1]);
    FUZZ_CHECK(Port(description) == port);
    return 0;
}
