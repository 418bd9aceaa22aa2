#include "protocol/transfer_progress.h"

namespace protocol {

TransferProgress::TransferProgress(uint32_t firmwareSize, bool statusReplies) {
    const uint64_t size = firmwareSize;
    m_waitStep = statusReplies ? 0 : size / 120;
    m_total = statusReplies ? size + 250000 : size + kWaitRounds * m_waitStep;
}

unsigned TransferProgress::Percentage(uint64_t numerator) const {
    if (m_total == 0) return 0;
    const uint64_t p = numerator / m_total;
    // More than the file (one that grew since it was measured) never shows
    // as more than done.
    return p > 100 ? 100 : static_cast<unsigned>(p);
}

}  // namespace protocol
