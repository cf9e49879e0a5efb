// A single-producer, single-consumer ring of equal blocks, allocated up
// front: the render path produces (a full ring answers null at once, never
// a wait), a thread of the host consumes.
#pragma once

#include <atomic>
#include <cstdint>

class CaptureRing {
public:
    CaptureRing() = default;
    ~CaptureRing() { Free(); }
    CaptureRing(const CaptureRing&) = delete;
    CaptureRing& operator=(const CaptureRing&) = delete;

    // Neither side may be using the ring. Every page is written here, so
    // the producer never takes a first-use page fault.
    bool Allocate(uint32_t blockBytes, uint32_t blockCount);
    void Free();

    // Producer: the next free block, or null when the ring is full; Publish
    // hands the claimed block over.
    uint8_t* Claim();
    void Publish();

    // Consumer: the oldest published block, or null when there is none;
    // Consume gives it back.
    const uint8_t* Peek();
    void Consume();

private:
    uint8_t* pMemory = nullptr;
    uint32_t nBlockBytes = 0;
    uint32_t nBlockCount = 0;
    // Blocks ever published and consumed; their difference is the fill.
    alignas(64) std::atomic<uint64_t> qwWritten{0};
    alignas(64) std::atomic<uint64_t> qwRead{0};
};
