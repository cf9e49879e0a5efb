// Records what the card plays as takes: a take starts with the first buffer
// holding a non-zero byte, ends after one second of silent buffers (or at a
// rate change, a stop, or when the disk falls behind) and holds whole buffers
// from its first to its last non-silent one, every output channel that has a
// buffer, in channel order.
//
// Two threads: the card's pacing thread calls OnBuffer after each switch and
// only copies the half just played into a preallocated ring (no allocation,
// no lock, no system call, never a wait); the writer thread drains the ring
// and does all file work. Every other call is the host's, with the pacing
// thread not running.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "platform/BlockRing.h"
#include "platform/AudioFileWriter.h"

#include <atomic>
#include <cstdint>
#include <pthread.h>

class TakeRecorder {
public:
    explicit TakeRecorder(const char* driverName);
    ~TakeRecorder();
    TakeRecorder(const TakeRecorder&) = delete;
    TakeRecorder& operator=(const TakeRecorder&) = delete;

    // After createBuffers: remembers the output halves and sizes the ring for
    // a couple of seconds at the highest rate. False (one line on stderr)
    // when the memory cannot be had; the card then plays without recording.
    bool Prepare(const DriverBuffers& buffers, ASIOSampleType type, uint32_t maxRate);
    // Before the buffers go away.
    void Release();

    // Starts the writer thread; takes go to "<recordFile without .wav>-NNN.wav".
    void Start(const char* recordFile);
    // Pacing thread, after the switch that filled half `half`, played at sampleRate.
    void OnBuffer(int32_t half, uint32_t sampleRate);
    // With the pacing thread ended: ends the open take and returns once it is
    // complete on disk and the writer thread has ended.
    void Stop();

    // Times the ring was found full; each ended a take.
    uint64_t OverflowCount() const { return qwOverflows.load(std::memory_order_relaxed); }
    // After Stop: whether recording stopped on a failure since Start, and
    // why in a few words ("cannot write a take: No space left on device").
    bool Failed() const { return bFailed.load(std::memory_order_relaxed); }
    const char* FailureText() const { return szFailure; }

    // Seconds of audio the ring holds at the highest rate, when memory allows.
    static constexpr uint32_t kRingSeconds = 2;

private:
    enum : uint32_t { kBegin = 1, kData = 2, kEnd = 3 };
    enum : uint32_t { kEndedBySilence = 0, kEndedByRate, kEndedByStop, kEndedByOverflow };
    struct BlockHeader {
        uint32_t kind;
        uint32_t sampleRate;
        uint32_t silentBuffersBefore; // zero buffers that precede this one in the take
        uint32_t endReason;
    };
    static constexpr uint32_t kHeaderBytes = 16;
    static_assert(sizeof(BlockHeader) == kHeaderBytes, "samples follow the header at 16 bytes");

    // Pacing thread (or the host's, once it has ended).
    bool IsSilent(int32_t half) const;
    bool PushData(int32_t half, uint32_t kind, uint32_t sampleRate, uint32_t silentBuffers);
    bool PushEnd(uint32_t reason);
    void EndTake(uint32_t reason);

    // Writer thread.
    static void* WriterMain(void* self);
    void Drain();
    void Handle(const uint8_t* block);
    bool OpenTake(uint32_t sampleRate);
    bool WriteBuffer(const void* frames);
    void CloseTake();
    // what goes before the path on stderr; shortly stands for both in the
    // failure text.
    void Fail(const char* what, const char* shortly);

    const char* szDriverName;
    BlockRing ring;
    ASIOSampleType type = ASIOSTInt16LSB;
    int32_t nChannels = 0;
    int32_t nBufferSize = 0;
    uint32_t nSampleBytes = 0;
    uint32_t nHalfBytes = 0; // one channel's half
    const uint8_t* halves[DriverChannels::kMaxChannels][2] = {};
    uint8_t* pInterleaved = nullptr; // writer: one buffer of frames
    uint8_t* pSilence = nullptr;     // writer: one buffer of zero frames
    char szStem[4096] = {};
    char szFailure[120] = {}; // writer: set with bFailed

    // Pacing side of the take.
    bool bInTake = false;
    bool bEndPending = false;
    uint32_t nPendingReason = 0;
    uint32_t nTakeRate = 0;
    uint32_t nSilentBuffers = 0;
    uint64_t qwSilentFrames = 0;

    // Writer side.
    AudioFileWriter writer;
    uint32_t nWriterRate = 0;

    std::atomic<bool> bFailed{false}; // set by the writer: recording has stopped
    std::atomic<bool> bQuit{false};
    std::atomic<uint64_t> qwOverflows{0};
    pthread_t writerThread = {};
    bool bWriterRunning = false;
};
