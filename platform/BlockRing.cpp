#include "platform/BlockRing.h"

#include <new>

bool BlockRing::Allocate(uint32_t blockBytes, uint32_t blockCount)
{
    Free();
    if (blockBytes == 0 || blockCount == 0) return false;
    // Value-initialised, so every page is written before the ring is used.
    pMemory = new (std::nothrow) uint8_t[static_cast<uint64_t>(blockBytes) * blockCount]();
    if (pMemory == nullptr) return false;
    nBlockBytes = blockBytes;
    nBlockCount = blockCount;
    qwWritten.store(0, std::memory_order_relaxed);
    qwRead.store(0, std::memory_order_relaxed);
    return true;
}

void BlockRing::Free()
{
    delete[] pMemory;
    pMemory = nullptr;
    nBlockBytes = 0;
    nBlockCount = 0;
    qwWritten.store(0, std::memory_order_relaxed);
    qwRead.store(0, std::memory_order_relaxed);
}

uint8_t* BlockRing::Claim()
{
    if (pMemory == nullptr) return nullptr;
    const uint64_t written = qwWritten.load(std::memory_order_relaxed);
    if (written - qwRead.load(std::memory_order_acquire) >= nBlockCount) return nullptr;
    return pMemory + (written % nBlockCount) * nBlockBytes;
}

void BlockRing::Publish()
{
    qwWritten.fetch_add(1, std::memory_order_release);
}

const uint8_t* BlockRing::Peek()
{
    if (pMemory == nullptr) return nullptr;
    const uint64_t read = qwRead.load(std::memory_order_relaxed);
    if (qwWritten.load(std::memory_order_acquire) == read) return nullptr;
    return pMemory + (read % nBlockCount) * nBlockBytes;
}

void BlockRing::Consume()
{
    qwRead.fetch_add(1, std::memory_order_release);
}
