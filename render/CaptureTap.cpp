#include "render/CaptureTap.h"

#include <cstring>

bool CaptureTap::Prepare(void* const inputs[2][2], uint32_t halfBytes, uint32_t frames,
                         uint32_t ringBlocks)
{
    Release();
    for (int channel = 0; channel < 2; ++channel)
        for (int half = 0; half < 2; ++half) {
            if (inputs[channel][half] == nullptr) return false;
            halves[channel][half] = static_cast<const uint8_t*>(inputs[channel][half]);
        }
    nHalfBytes = halfBytes;
    nFrames = frames;
    return halfBytes > 0 && frames > 0 && ring.Allocate(BlockBytes(), ringBlocks);
}

void CaptureTap::Release()
{
    ring.Free();
    std::memset(halves, 0, sizeof halves);
    nHalfBytes = 0;
    nFrames = 0;
    state.store(kIdle, std::memory_order_relaxed);
    qwOverruns.store(0, std::memory_order_relaxed);
}

bool CaptureTap::Arm(uint64_t tailFrames)
{
    const uint32_t now = state.load(std::memory_order_acquire);
    if ((now != kIdle && now != kEnded) || nFrames == 0) return false;
    // The driver thread touches none of these until it sees the tap armed.
    qwTailFrames = tailFrames;
    qwTailLeft = tailFrames;
    qwSequence = 0;
    bSignalSeen = false;
    qwOverruns.store(0, std::memory_order_relaxed);
    qwSignalSwitch.store(kNoSignal, std::memory_order_relaxed);
    state.store(kArmed, std::memory_order_release);
    return true;
}

void CaptureTap::Cancel()
{
    uint32_t now = state.load(std::memory_order_acquire);
    while ((now == kArmed || now == kRunning) &&
           !state.compare_exchange_weak(now, kCancelled, std::memory_order_acq_rel))
        ;
}

void CaptureTap::EndStopped()
{
    const uint32_t now = state.load(std::memory_order_acquire);
    if (now != kIdle) state.store(kEnded, std::memory_order_release);
}

void CaptureTap::OnSwitch(int32_t half, bool playing)
{
    uint32_t now = state.load(std::memory_order_acquire);
    if (now == kIdle || now == kEnded) return;
    // A cancel that comes between the load and the exchange is seen there.
    if (now == kArmed && !state.compare_exchange_strong(now, kRunning, std::memory_order_acq_rel))
        return;
    if (now == kCancelled) {
        state.store(kEnded, std::memory_order_release);
        return;
    }
    Copy(half);
    // The tail counts the switches after the one that ended the last signal.
    if (playing) {
        if (!bSignalSeen) qwSignalSwitch.store(qwSequence - 1, std::memory_order_release);
        bSignalSeen = true;
        qwTailLeft = qwTailFrames;
    } else if (bSignalSeen) {
        qwTailLeft = qwTailLeft > nFrames ? qwTailLeft - nFrames : 0;
        if (qwTailLeft == 0) state.store(kEnded, std::memory_order_release);
    }
}

void CaptureTap::Copy(int32_t half)
{
    const uint64_t sequence = qwSequence++;
    uint8_t* block = ring.Claim();
    if (block == nullptr) {
        qwOverruns.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memcpy(block, &sequence, sizeof sequence);
    std::memcpy(block + kHeaderBytes, halves[0][half], nHalfBytes);
    std::memcpy(block + kHeaderBytes + nHalfBytes, halves[1][half], nHalfBytes);
    ring.Publish();
}

const uint8_t* CaptureTap::Peek(uint64_t* sequence)
{
    const uint8_t* block = ring.Peek();
    if (block != nullptr) std::memcpy(sequence, block, sizeof *sequence);
    return block;
}
