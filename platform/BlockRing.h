// A single-producer, single-consumer ring of equal-sized blocks, allocated
// up front. The producer is a real-time thread (a card's pacing thread, the
// host's render path), which must neither wait nor allocate: a full ring
// makes Claim answer null at once. The consumer is a writer thread.
#pragma once

#include <atomic>
#include <cstdint>

class BlockRing {
public:
    BlockRing() = default;
    ~BlockRing() { Free(); }
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    // Neither side may be using the ring. The memory is touched here, so
    // the producer never takes a first-use page fault.
    bool Allocate(uint32_t blockBytes, uint32_t blockCount);
    void Free();
    bool Allocated() const { return pMemory != nullptr; }
    uint32_t BlockBytes() const { return nBlockBytes; }

    // Producer: the next free block, or null when the ring is full; Publish
    // hands the claimed block to the consumer.
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
    // Counts of blocks ever published and consumed; their difference is the fill.
    alignas(64) std::atomic<uint64_t> qwWritten{0};
    alignas(64) std::atomic<uint64_t> qwRead{0};
};
