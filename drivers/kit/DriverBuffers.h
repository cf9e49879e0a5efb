// The double buffers createBuffers hands the host: two zeroed halves per
// requested channel, each bufferSize samples of the channel's type, all in
// one allocation. Created and freed on the host's thread while the driver's
// transport is stopped; the transport only reads the records.
#pragma once

#include "drivers/kit/DriverChannels.h"

#include <cstdint>

class DriverBuffers {
public:
    DriverBuffers() = default;
    ~DriverBuffers() { Free(); }
    DriverBuffers(const DriverBuffers&) = delete;
    DriverBuffers& operator=(const DriverBuffers&) = delete;

    // Checks every record (existing channel, each at most once) before
    // anything changes, then fills both buffer pointers of each record and
    // marks its channel active. ASE_InvalidParameter for a bad request,
    // ASE_NoMemory when the memory cannot be had; on failure the records and
    // the channels are left as they were.
    ASIOError Create(ASIOBufferInfo* infos, int32_t numChannels, int32_t bufferSize,
                     DriverChannels& channels);
    // Frees the memory and marks every channel inactive.
    void Dispose(DriverChannels& channels);

    bool Created() const { return pMemory != nullptr; }
    int32_t Count() const { return nRecords; }
    int32_t BufferSize() const { return nBufferSize; }
    // The driver's copy of record i, as handed to the host.
    const ASIOBufferInfo& Record(int32_t i) const { return pRecords[i]; }

    // Bytes of memory one Create may take, so that no size arithmetic wraps.
    static constexpr uint64_t kMaxBytes = uint64_t{1} << 30;

private:
    void Free();

    uint8_t* pMemory = nullptr;
    ASIOBufferInfo* pRecords = nullptr;
    int32_t nRecords = 0;
    int32_t nBufferSize = 0;
};
