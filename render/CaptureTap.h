// The capture of one input pair on the render path. From the first buffer
// switch after the host arms it, each switch copies the pair's two input
// halves, in the card's format, into a ring that a thread of the host
// drains; it ends by itself once a tail has passed after the last switch in
// which a signal played. A switch that finds the ring full is counted, and
// its place stays known by the blocks' switch numbers.
//
// Driver thread (OnSwitch): no allocation, no lock, no log line, no system
// call. Host threads: Prepare and Release while the driver is stopped; Arm,
// Cancel and State at any time; Peek and Consume from the draining thread.
#pragma once

#include "platform/BlockRing.h"

#include <atomic>
#include <cstdint>

class CaptureTap {
public:
    enum State : uint32_t {
        kIdle,      // nothing asked
        kArmed,     // the next switch starts the capture
        kRunning,   // switches are copied
        kCancelled, // the host called it off; the next switch ends it
        kEnded,     // no more blocks come
    };

    // Each block: its switch number since the arming, then the left half,
    // then the right half.
    static constexpr uint32_t kHeaderBytes = 16;

    CaptureTap() = default;
    CaptureTap(const CaptureTap&) = delete;
    CaptureTap& operator=(const CaptureTap&) = delete;

    // inputs[channel][half]: the pair's input halves, halfBytes and frames
    // each; a ring of ringBlocks switches. False when it cannot be had.
    bool Prepare(void* const inputs[2][2], uint32_t halfBytes, uint32_t frames,
                 uint32_t ringBlocks);
    void Release();
    uint32_t BlockBytes() const { return kHeaderBytes + 2 * nHalfBytes; }
    uint32_t HalfBytes() const { return nHalfBytes; }

    // Host: from the next switch on, until tailFrames after the signal.
    // False unless the tap is idle or ended.
    bool Arm(uint64_t tailFrames);
    // Host: the capture ends at the next switch.
    void Cancel();
    // Host, with the driver stopped: no switch will end it any more.
    void EndStopped();
    State Current() const { return static_cast<State>(state.load(std::memory_order_acquire)); }
    // Switches the ring had no room for.
    uint64_t Overruns() const { return qwOverruns.load(std::memory_order_relaxed); }
    // The switch number, since the arming, of the first switch that played a
    // signal (a switch may come between the arming and the signal's);
    // kNoSignal before one did.
    static constexpr uint64_t kNoSignal = UINT64_MAX;
    uint64_t SignalSwitch() const { return qwSignalSwitch.load(std::memory_order_acquire); }

    // Driver thread, once per switch after the render; playing: a signal
    // was rendered in this switch.
    void OnSwitch(int32_t half, bool playing);

    // Draining thread: the oldest block and its switch number, or null.
    const uint8_t* Peek(uint64_t* sequence);
    void Consume() { ring.Consume(); }

private:
    void Copy(int32_t half);

    BlockRing ring;
    const uint8_t* halves[2][2] = {};
    uint32_t nHalfBytes = 0;
    uint32_t nFrames = 0;
    std::atomic<uint32_t> state{kIdle};
    std::atomic<uint64_t> qwOverruns{0};
    std::atomic<uint64_t> qwSignalSwitch{kNoSignal};
    // The driver thread's alone while armed or running; set by Arm before.
    uint64_t qwTailFrames = 0;
    uint64_t qwTailLeft = 0;
    uint64_t qwSequence = 0;
    bool bSignalSeen = false;
};
