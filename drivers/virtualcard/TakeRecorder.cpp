#include "drivers/virtualcard/TakeRecorder.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <strings.h>

namespace {

// Past this the ring would cost more memory than a few seconds of audio deserve.
constexpr uint64_t kMaxRingBytes = uint64_t{64} << 20;
constexpr uint32_t kMinRingBlocks = 8;
// How often the writer looks at the ring; the pacing thread never wakes it.
constexpr long kWriterPollNs = 10 * 1000 * 1000;

void Pause(long nanoseconds)
{
    timespec pause = {0, nanoseconds};
    nanosleep(&pause, nullptr);
}

constexpr int kMaxTakeNumber = 99999;

} // namespace

TakeRecorder::TakeRecorder(const char* driverName) : szDriverName(driverName) {}

TakeRecorder::~TakeRecorder()
{
    Stop();
    Release();
}

bool TakeRecorder::Prepare(const DriverBuffers& buffers, ASIOSampleType typeIn, uint32_t maxRate)
{
    Release();
    type = typeIn;
    nSampleBytes = SampleBytes(type);
    nBufferSize = buffers.BufferSize();
    nHalfBytes = nSampleBytes * static_cast<uint32_t>(nBufferSize);

    // The outputs in channel order, whatever order the host asked for them in.
    nChannels = 0;
    for (int32_t channel = 0; channel < DriverChannels::kMaxChannels; ++channel)
        for (int32_t i = 0; i < buffers.Count(); ++i) {
            const ASIOBufferInfo& record = buffers.Record(i);
            if (record.isInput != ASIOFalse || record.channelNum != channel) continue;
            halves[nChannels][0] = static_cast<const uint8_t*>(record.buffers[0]);
            halves[nChannels][1] = static_cast<const uint8_t*>(record.buffers[1]);
            ++nChannels;
        }
    if (nChannels == 0 || nBufferSize <= 0) return true;

    const uint64_t blockBytes = kHeaderBytes + static_cast<uint64_t>(nChannels) * nHalfBytes;
    uint64_t blocks = (uint64_t{kRingSeconds} * maxRate + static_cast<uint64_t>(nBufferSize) - 1) /
                      static_cast<uint64_t>(nBufferSize);
    if (blocks * blockBytes > kMaxRingBytes) blocks = kMaxRingBytes / blockBytes;
    if (blocks < kMinRingBlocks) blocks = kMinRingBlocks;
    const uint64_t frameBytes = static_cast<uint64_t>(nChannels) * nHalfBytes;
    pInterleaved = new (std::nothrow) uint8_t[frameBytes]();
    pSilence = new (std::nothrow) uint8_t[frameBytes]();
    if (pInterleaved == nullptr || pSilence == nullptr ||
        !ring.Allocate(static_cast<uint32_t>(blockBytes), static_cast<uint32_t>(blocks))) {
        std::fprintf(stderr, "%s: not enough memory to record; the card plays without it\n",
                     szDriverName);
        Release();
        return false;
    }
    return true;
}

void TakeRecorder::Release()
{
    ring.Free();
    delete[] pInterleaved;
    pInterleaved = nullptr;
    delete[] pSilence;
    pSilence = nullptr;
    nChannels = 0;
}

void TakeRecorder::Start(const char* recordFile)
{
    if (bWriterRunning || !ring.Allocated()) return;
    std::snprintf(szStem, sizeof szStem, "%s", recordFile != nullptr ? recordFile : "");
    const size_t length = std::strlen(szStem);
    if (length > 4 && strcasecmp(szStem + length - 4, ".wav") == 0) szStem[length - 4] = '\0';

    bInTake = false;
    bEndPending = false;
    nSilentBuffers = 0;
    qwSilentFrames = 0;
    bFailed.store(false, std::memory_order_relaxed);
    bQuit.store(false, std::memory_order_relaxed);
    bWriterRunning = pthread_create(&writerThread, nullptr, WriterMain, this) == 0;
    if (!bWriterRunning)
        std::fprintf(stderr, "%s: no thread for the recording; the card plays without it\n",
                     szDriverName);
}

void TakeRecorder::Stop()
{
    if (!bWriterRunning) return;
    // The pacing thread has ended, so this thread is the ring's producer now
    // and may wait for room.
    if (bInTake || bEndPending) {
        while (!bFailed.load(std::memory_order_relaxed) &&
               !PushEnd(bEndPending ? nPendingReason : kEndedByStop))
            Pause(kWriterPollNs / 10);
        bInTake = false;
        bEndPending = false;
    }
    bQuit.store(true, std::memory_order_release);
    pthread_join(writerThread, nullptr);
    bWriterRunning = false;
}

bool TakeRecorder::IsSilent(int32_t half) const
{
    for (int32_t c = 0; c < nChannels; ++c) {
        const uint8_t* p = halves[c][half];
        uint64_t any = 0;
        uint32_t i = 0;
        for (; i + 8 <= nHalfBytes; i += 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            any |= word;
        }
        for (; i < nHalfBytes; ++i)
            any |= p[i];
        if (any != 0) return false;
    }
    return true;
}

bool TakeRecorder::PushData(int32_t half, uint32_t kind, uint32_t sampleRate,
                            uint32_t silentBuffers)
{
    uint8_t* block = ring.Claim();
    if (block == nullptr) return false;
    const BlockHeader header = {kind, sampleRate, silentBuffers, 0};
    std::memcpy(block, &header, kHeaderBytes);
    uint8_t* samples = block + kHeaderBytes;
    for (int32_t c = 0; c < nChannels; ++c)
        std::memcpy(samples + static_cast<uint64_t>(c) * nHalfBytes, halves[c][half], nHalfBytes);
    ring.Publish();
    return true;
}

bool TakeRecorder::PushEnd(uint32_t reason)
{
    uint8_t* block = ring.Claim();
    if (block == nullptr) return false;
    const BlockHeader header = {kEnd, 0, 0, reason};
    std::memcpy(block, &header, kHeaderBytes);
    ring.Publish();
    return true;
}

// A full ring leaves the end for a later buffer, which then waits for it.
void TakeRecorder::EndTake(uint32_t reason)
{
    bInTake = false;
    nSilentBuffers = 0;
    qwSilentFrames = 0;
    if (!PushEnd(reason)) {
        bEndPending = true;
        nPendingReason = reason;
    }
}

void TakeRecorder::OnBuffer(int32_t half, uint32_t sampleRate)
{
    if (!bWriterRunning || bFailed.load(std::memory_order_relaxed)) return;
    if (bEndPending) {
        if (!PushEnd(nPendingReason)) return;
        bEndPending = false;
    }
    if (bInTake && sampleRate != nTakeRate) EndTake(kEndedByRate);
    if (bEndPending) return;

    const bool silent = IsSilent(half);
    if (bInTake && silent) {
        ++nSilentBuffers;
        qwSilentFrames += static_cast<uint64_t>(nBufferSize);
        if (qwSilentFrames >= nTakeRate) EndTake(kEndedBySilence);
        return;
    }
    if (silent) return;

    const uint32_t kind = bInTake ? kData : kBegin;
    if (!PushData(half, kind, sampleRate, bInTake ? nSilentBuffers : 0)) {
        // Ending the take here keeps a gap out of the file.
        qwOverflows.fetch_add(1, std::memory_order_relaxed);
        bInTake = false;
        bEndPending = true;
        nPendingReason = kEndedByOverflow;
        return;
    }
    bInTake = true;
    nTakeRate = sampleRate;
    nSilentBuffers = 0;
    qwSilentFrames = 0;
}

void* TakeRecorder::WriterMain(void* self)
{
    auto* recorder = static_cast<TakeRecorder*>(self);
    for (;;) {
        // Read before draining: the last block is published before bQuit is set.
        const bool quit = recorder->bQuit.load(std::memory_order_acquire);
        recorder->Drain();
        if (quit) break;
        Pause(kWriterPollNs);
    }
    recorder->CloseTake();
    return nullptr;
}

void TakeRecorder::Drain()
{
    while (const uint8_t* block = ring.Peek()) {
        Handle(block);
        ring.Consume();
    }
}

void TakeRecorder::Handle(const uint8_t* block)
{
    BlockHeader header;
    std::memcpy(&header, block, kHeaderBytes);
    if (header.kind == kEnd) {
        if (header.endReason == kEndedByOverflow)
            std::fprintf(stderr, "%s: the disk fell behind the card; take %s ended early\n",
                         szDriverName, writer.IsOpen() ? writer.Path() : "(none)");
        CloseTake();
        return;
    }
    if (bFailed.load(std::memory_order_relaxed)) return;
    if (header.kind == kBegin) {
        CloseTake();
        if (!OpenTake(header.sampleRate)) return;
    }
    if (!writer.IsOpen()) return;
    for (uint32_t i = 0; i < header.silentBuffersBefore; ++i)
        if (!WriteBuffer(pSilence)) return;

    // Planar halves in the block, interleaved frames in the file.
    const uint8_t* samples = block + kHeaderBytes;
    const uint32_t frameBytes = static_cast<uint32_t>(nChannels) * nSampleBytes;
    for (int32_t c = 0; c < nChannels; ++c) {
        const uint8_t* source = samples + static_cast<uint64_t>(c) * nHalfBytes;
        uint8_t* target = pInterleaved + static_cast<uint64_t>(c) * nSampleBytes;
        for (int32_t f = 0; f < nBufferSize; ++f)
            std::memcpy(target + static_cast<uint64_t>(f) * frameBytes,
                        source + static_cast<uint64_t>(f) * nSampleBytes, nSampleBytes);
    }
    WriteBuffer(pInterleaved);
}

bool TakeRecorder::OpenTake(uint32_t sampleRate)
{
    AudioFileFormat format = {SampleEncoding::Int16, nChannels, sampleRate};
    if (!EncodingOf(type, &format.encoding)) {
        std::fprintf(stderr, "%s: this sample type cannot be recorded; recording stopped\n",
                     szDriverName);
        std::snprintf(szFailure, sizeof szFailure, "this sample type cannot be recorded");
        bFailed.store(true, std::memory_order_relaxed);
        return false;
    }
    nWriterRate = sampleRate;
    // The lowest free number, so that no earlier take is ever overwritten.
    for (int number = 1; number <= kMaxTakeNumber; ++number) {
        char path[sizeof szStem + 16];
        std::snprintf(path, sizeof path, "%s-%03d.wav", szStem, number);
        if (writer.Create(path, format, true)) return true;
        if (!writer.Exists()) break;
    }
    Fail("cannot record to", "cannot create a take");
    return false;
}

// A take too long for one RIFF file goes on in the next numbered file.
bool TakeRecorder::WriteBuffer(const void* frames)
{
    const uint64_t bytes = static_cast<uint64_t>(nChannels) * nHalfBytes;
    if (writer.DataBytes() + bytes > AudioFileWriter::kMaxDataBytes) {
        CloseTake();
        if (!OpenTake(nWriterRate)) return false;
    }
    if (!writer.Write(frames, static_cast<uint32_t>(nBufferSize))) {
        Fail("cannot write", "cannot write a take");
        return false;
    }
    return true;
}

void TakeRecorder::CloseTake()
{
    if (!writer.IsOpen()) return;
    if (!writer.Close()) Fail("cannot write", "cannot write a take");
}

void TakeRecorder::Fail(const char* what, const char* shortly)
{
    std::fprintf(stderr, "%s: %s %s: %s; recording stopped\n", szDriverName, what,
                 writer.Path()[0] != '\0' ? writer.Path() : szStem, writer.ErrorText());
    // Cut to what a driver's error text can hold.
    std::snprintf(szFailure, sizeof szFailure, "%s: %.90s", shortly, writer.ErrorText());
    bFailed.store(true, std::memory_order_relaxed);
    writer.Close();
}
