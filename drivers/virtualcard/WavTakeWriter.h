// One take as a WAV file that sox, audio editors and Python's wave module
// read: 16-bit as plain PCM, 24-bit (packed, 3 bytes), 32-bit and float as
// WAVE_FORMAT_EXTENSIBLE. Used by the recorder's writer thread only; every
// call may block on the disk.
#pragma once

#include "host/AsioInterface.h"

#include <cstddef>
#include <cstdint>

struct WavFormat {
    uint16_t channels;
    uint32_t sampleRate;
    uint16_t bytesPerSample; // 2, 3 or 4
    uint16_t validBits;
    bool isFloat;
};

// The file format of a card sample type; false for a type that is not one
// of Int16LSB, Int24LSB, Int32LSB and Float32LSB.
bool WavFormatFor(ASIOSampleType type, uint16_t channels, uint32_t sampleRate, WavFormat* format);

// The header for dataBytes of samples, into out (kMaxWavHeaderBytes);
// returns its length.
constexpr size_t kMaxWavHeaderBytes = 80;
size_t BuildWavHeader(const WavFormat& format, uint32_t dataBytes, uint8_t* out);

class WavTakeWriter {
public:
    WavTakeWriter() = default;
    ~WavTakeWriter() { Close(); }
    WavTakeWriter(const WavTakeWriter&) = delete;
    WavTakeWriter& operator=(const WavTakeWriter&) = delete;

    // Creates "<stem>-NNN.wav" with the lowest number from 001 whose file
    // does not exist yet, so no earlier take is ever overwritten, and writes
    // a header for no samples. False with Error() set when it cannot.
    bool Create(const char* stem, const WavFormat& format);
    // Appends interleaved frames; false with Error() set on a write error.
    bool Write(const void* frames, uint32_t frameCount);
    // Makes the header describe the frames written so far.
    bool UpdateHeader();
    // Final header, pad byte for an odd data length, and close. Safe to call
    // on a writer with no file.
    bool Close();

    bool IsOpen() const { return nFile >= 0; }
    const char* Path() const { return szPath; }
    uint64_t Frames() const { return qwFrames; }
    uint64_t DataBytes() const { return qwDataBytes; }
    // errno of the last failure.
    int Error() const { return nError; }

    // The most data one RIFF file can describe, whatever its header.
    static constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFu - kMaxWavHeaderBytes - 1;

private:
    bool WriteAll(const void* data, size_t bytes);
    bool WriteHeader();

    int nFile = -1;
    WavFormat format = {};
    uint64_t qwFrames = 0;
    uint64_t qwDataBytes = 0;
    int nError = 0;
    char szPath[4096 + 16] = {};
};
