// The arithmetic of the transfer's one percentage. Sending moves it with the
// bytes the plotter took; then each busy reply of a status-reply model, or
// each completion wait of any other model, moves it on towards 100.
//
// Every figure is computed in 64 bits. For firmware of up to 14,316,599
// bytes that gives exactly what unsigned 32-bit arithmetic gives, since no
// step of it overflows there; above that it stays correct where 32 bits
// would wrap.
#pragma once

#include <cstdint>

namespace protocol {

// Polls of a status-reply model after the last chunk, at most.
const int kPollRounds = 240;
// Completion waits of any other model, and how long each lasts.
const int kWaitRounds = 240;
const unsigned kWaitMilliseconds = 500;
// The pause after the transfer, before the dialog can be closed again.
const unsigned kFinalPauseMilliseconds = 1000;
// The firmware goes out in pieces of this size.
const unsigned kChunkSize = 1024;
// While sending, waiting messages are handled at least this often, and
// whenever the percentage on screen changes.
const unsigned kPumpIntervalMilliseconds = 16;

class TransferProgress {
public:
    TransferProgress(uint32_t firmwareSize, bool statusReplies);

    // Denominator of the percentage: the file plus what the phase after
    // sending adds (250000 for a status-reply model, 240 wait steps else).
    uint64_t Total() const { return m_total; }
    // Share of the total one completion wait adds: the size / 120.
    uint64_t WaitStep() const { return m_waitStep; }

    unsigned AfterSending(uint64_t sent) const { return Percentage(sent * 100); }
    // After the k-th busy reply of a status-reply model.
    unsigned AfterBusyReplies(uint64_t sent, int k) const {
        return Percentage(sent * 100 + 200000ULL * static_cast<uint64_t>(k));
    }
    // After the k-th completion wait.
    unsigned AfterWaits(uint64_t sent, int k) const {
        return Percentage(sent * 100 + static_cast<uint64_t>(k) * (m_waitStep * 100));
    }

    // numerator / Total(), truncated, held at 100; 0 while the total is 0.
    unsigned Percentage(uint64_t numerator) const;

private:
    uint64_t m_total;
    uint64_t m_waitStep;
};

// Position of the progress bar (range 1..2000) for a percentage: 21 per
// point, so the bar is full from 96 % on.
inline int BarPosition(unsigned percent) { return static_cast<int>(percent * 21); }

}  // namespace protocol
