#include "platform/AudioFileWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <strings.h>
#include <unistd.h>

namespace {

// The speaker positions of a WAV channel mask, in the order of its bits (as
// libsndfile names them): the card's outputs take them in turn, as a file
// without a mask is read. A single channel is the centre, as mono.
constexpr int kMaskPositions[] = {
    SF_CHANNEL_MAP_LEFT,
    SF_CHANNEL_MAP_RIGHT,
    SF_CHANNEL_MAP_CENTER,
    SF_CHANNEL_MAP_LFE,
    SF_CHANNEL_MAP_REAR_LEFT,
    SF_CHANNEL_MAP_REAR_RIGHT,
    SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER,
    SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER,
    SF_CHANNEL_MAP_REAR_CENTER,
    SF_CHANNEL_MAP_SIDE_LEFT,
    SF_CHANNEL_MAP_SIDE_RIGHT,
    SF_CHANNEL_MAP_TOP_CENTER,
    SF_CHANNEL_MAP_TOP_FRONT_LEFT,
    SF_CHANNEL_MAP_TOP_FRONT_CENTER,
    SF_CHANNEL_MAP_TOP_FRONT_RIGHT,
    SF_CHANNEL_MAP_TOP_REAR_LEFT,
    SF_CHANNEL_MAP_TOP_REAR_CENTER,
    SF_CHANNEL_MAP_TOP_REAR_RIGHT,
};
constexpr int32_t kMaskChannels = static_cast<int32_t>(sizeof kMaskPositions / sizeof(int));
constexpr int32_t kMaxFlacChannels = 8;
// Samples converted per libsndfile call for FLAC.
constexpr uint32_t kConvertSamples = 4096;

bool IsFlacName(const char* path)
{
    const size_t length = std::strlen(path);
    return length >= 5 && strcasecmp(path + length - 5, ".flac") == 0;
}

int SubtypeOf(SampleEncoding encoding)
{
    switch (encoding) {
    case SampleEncoding::Int16:
        return SF_FORMAT_PCM_16;
    case SampleEncoding::Int24:
        return SF_FORMAT_PCM_24;
    case SampleEncoding::Int32:
        return SF_FORMAT_PCM_32;
    case SampleEncoding::Float32:
        return SF_FORMAT_FLOAT;
    }
    return SF_FORMAT_PCM_16;
}

} // namespace

uint32_t EncodedBytes(SampleEncoding encoding)
{
    return encoding == SampleEncoding::Int16 ? 2 : encoding == SampleEncoding::Int24 ? 3 : 4;
}

const char* AudioFileWriter::Refusal(const char* path, const AudioFileFormat& format)
{
    if (!IsFlacName(path)) return nullptr;
    if (format.encoding != SampleEncoding::Int16 && format.encoding != SampleEncoding::Int24)
        return "a FLAC file holds 16 or 24-bit samples, not 32-bit or float";
    if (format.channels > kMaxFlacChannels) return "a FLAC file holds at most 8 channels";
    return nullptr;
}

bool AudioFileWriter::Create(const char* path, const AudioFileFormat& format, bool exclusive)
{
    Close();
    szError[0] = '\0';
    bExists = false;
    qwFrames = 0;
    std::snprintf(szPath, sizeof szPath, "%s", path);
    if (const char* refusal = Refusal(path, format)) return Fail(refusal);

    bFlac = IsFlacName(path);
    encoding = format.encoding;
    nFrameBytes = EncodedBytes(encoding) * static_cast<uint32_t>(format.channels);
    nSampleRate = format.sampleRate;
    // Plain PCM for 16-bit mono and stereo, which every reader knows;
    // the extensible header tells the valid bits of wider samples and
    // names the channels of more than two.
    const bool extensible = format.encoding != SampleEncoding::Int16 || format.channels > 2;
    SF_INFO info = {};
    info.samplerate = static_cast<int>(format.sampleRate);
    info.channels = format.channels;
    info.format = (bFlac        ? SF_FORMAT_FLAC
                   : extensible ? SF_FORMAT_WAVEX
                                : SF_FORMAT_WAV) |
                  SubtypeOf(format.encoding);
    if (!sf_format_check(&info)) return Fail("libsndfile cannot write this format");

    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    nFd = open(path, flags, 0644);
    if (nFd < 0) {
        const int error = errno;
        bExists = error == EEXIST;
        char text[128];
        return Fail(strerror_r(error, text, sizeof text));
    }
    pFile = sf_open_fd(nFd, SFM_WRITE, &info, SF_TRUE);
    if (pFile == nullptr) {
        Fail(sf_strerror(nullptr));
        close(nFd);
        nFd = -1;
        unlink(path);
        return false;
    }
    if (!bFlac) {
        // Samples are written raw, so a peak chunk would keep its zeros.
        sf_command(pFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        if (extensible && format.channels <= kMaskChannels) {
            int positions[kMaskChannels];
            for (int32_t c = 0; c < format.channels; ++c)
                positions[c] = format.channels == 1 ? SF_CHANNEL_MAP_CENTER : kMaskPositions[c];
            sf_command(pFile, SFC_SET_CHANNEL_MAP_INFO, positions,
                       static_cast<int>(sizeof(int)) * format.channels);
        }
        sf_command(pFile, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    qwDataOffset = lseek(nFd, 0, SEEK_END);
    qwNextHeaderFrames = nSampleRate;
    return true;
}

bool AudioFileWriter::Write(const void* frames, uint32_t frameCount)
{
    if (pFile == nullptr) return false;
    if (bFlac) {
        if (!WriteConverted(static_cast<const uint8_t*>(frames), frameCount))
            return Fail(sf_strerror(pFile));
        qwFrames += frameCount;
        return true;
    }
    const uint64_t bytes = static_cast<uint64_t>(frameCount) * nFrameBytes;
    if (DataBytes() + bytes > kMaxDataBytes)
        return Fail("the file would pass the 4 GiB a WAV file can describe");
    // libsndfile counts the whole frames a short write left; the part of a
    // frame after them is cut, so that the file and its header agree.
    const sf_count_t written = sf_write_raw(pFile, frames, static_cast<sf_count_t>(bytes));
    qwFrames += static_cast<uint64_t>(written > 0 ? written : 0) / nFrameBytes;
    if (written != static_cast<sf_count_t>(bytes)) {
        Fail(sf_strerror(pFile));
        [[maybe_unused]] const int cut =
            ftruncate(nFd, qwDataOffset + static_cast<off_t>(DataBytes()));
        return false;
    }
    // A killed program still leaves a file that reads to its last second.
    if (qwFrames >= qwNextHeaderFrames) {
        qwNextHeaderFrames = qwFrames + nSampleRate;
        sf_command(pFile, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    return true;
}

// libsndfile writes FLAC from whole integers, 24-bit ones in the top bits.
bool AudioFileWriter::WriteConverted(const uint8_t* frames, uint32_t frameCount)
{
    const uint32_t sampleBytes = EncodedBytes(encoding);
    uint64_t samples = static_cast<uint64_t>(frameCount) * (nFrameBytes / sampleBytes);
    while (samples > 0) {
        const uint32_t count =
            samples < kConvertSamples ? static_cast<uint32_t>(samples) : kConvertSamples;
        sf_count_t written = 0;
        if (encoding == SampleEncoding::Int16) {
            short values[kConvertSamples];
            std::memcpy(values, frames, count * sizeof(short));
            written = sf_write_short(pFile, values, count);
        } else {
            int values[kConvertSamples];
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* p = frames + 3 * i;
                values[i] = static_cast<int>(static_cast<uint32_t>(p[0]) << 8 |
                                             static_cast<uint32_t>(p[1]) << 16 |
                                             static_cast<uint32_t>(p[2]) << 24);
            }
            written = sf_write_int(pFile, values, count);
        }
        if (written != static_cast<sf_count_t>(count)) return false;
        frames += static_cast<uint64_t>(count) * sampleBytes;
        samples -= count;
    }
    return true;
}

bool AudioFileWriter::Close()
{
    if (pFile == nullptr) return true;
    const int error = sf_close(pFile);
    if (error != 0 && szError[0] == '\0') Fail(sf_error_number(error));
    pFile = nullptr;
    nFd = -1;
    return error == 0;
}

bool AudioFileWriter::Fail(const char* text)
{
    std::snprintf(szError, sizeof szError, "%s", text);
    return false;
}
