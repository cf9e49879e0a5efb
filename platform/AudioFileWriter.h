// Every audio file the program writes (the virtual card's takes, offline
// renders), through libsndfile: WAV, extensible where the samples or the
// channel count need it, with a channel mask naming the channels; FLAC of 16
// or 24-bit samples when the name ends in ".flac". Samples arrive as a card
// holds them, little-endian and interleaved. Every call may block on the
// disk: never from a real-time thread.
#pragma once

#include <cstdint>

struct sf_private_tag;

enum class SampleEncoding {
    Int16,   // 2 bytes
    Int24,   // 3 bytes, packed
    Int32,   // 4 bytes
    Float32, // 4 bytes, full scale 1.0
};

struct AudioFileFormat {
    SampleEncoding encoding = SampleEncoding::Int16;
    int32_t channels = 2;
    uint32_t sampleRate = 48000;
};

uint32_t EncodedBytes(SampleEncoding encoding);

class AudioFileWriter {
public:
    AudioFileWriter() = default;
    ~AudioFileWriter() { Close(); }
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Why a file of this name cannot hold this format, in words; null when it can.
    static const char* Refusal(const char* path, const AudioFileFormat& format);

    // Creates path, replacing a file of that name unless exclusive (then an
    // existing file is left alone and Exists() tells why it failed). False
    // with ErrorText() set when the file cannot be had.
    bool Create(const char* path, const AudioFileFormat& format, bool exclusive);
    // Appends interleaved frames. A failed write is cut back to the frames
    // before it, so the file never ends in a part of a frame. False with
    // ErrorText() set; the file stays open for Close.
    bool Write(const void* frames, uint32_t frameCount);
    // Final header and close; true on a writer with no file.
    bool Close();

    bool IsOpen() const { return pFile != nullptr; }
    bool Exists() const { return bExists; }
    const char* Path() const { return szPath; }
    uint64_t Frames() const { return qwFrames; }
    uint64_t DataBytes() const { return qwFrames * nFrameBytes; }
    const char* ErrorText() const { return szError; }

    // The most sample bytes a WAV file's 32-bit sizes can describe, with
    // room for the header.
    static constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFu - 4096;

private:
    bool WriteConverted(const uint8_t* frames, uint32_t frameCount);
    bool Fail(const char* text);

    sf_private_tag* pFile = nullptr;
    int nFd = -1;
    bool bFlac = false;
    bool bExists = false;
    SampleEncoding encoding = SampleEncoding::Int16;
    uint32_t nFrameBytes = 0;
    uint32_t nSampleRate = 0;
    uint64_t qwFrames = 0;
    uint64_t qwNextHeaderFrames = 0;
    int64_t qwDataOffset = 0;
    char szPath[4096 + 16] = {};
    char szError[256] = {};
};
