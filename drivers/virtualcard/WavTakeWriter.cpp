#include "drivers/virtualcard/WavTakeWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT: the format tag in the first two
// bytes, then the fixed tail 0000-0010-8000-00AA00389B71, as stored.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t kSubFormatPcm = 0x0001;
constexpr uint16_t kSubFormatFloat = 0x0003;
constexpr int kMaxTakeNumber = 99999;

class HeaderBytes {
public:
    explicit HeaderBytes(uint8_t* out) : p(out) {}
    void Tag(const char* text)
    {
        std::memcpy(p + n, text, 4);
        n += 4;
    }
    void U16(uint16_t value)
    {
        p[n++] = static_cast<uint8_t>(value);
        p[n++] = static_cast<uint8_t>(value >> 8);
    }
    void U32(uint32_t value)
    {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    void Bytes(const uint8_t* data, size_t count)
    {
        std::memcpy(p + n, data, count);
        n += count;
    }
    size_t Size() const { return n; }

private:
    uint8_t* p;
    size_t n = 0;
};

} // namespace

bool WavFormatFor(ASIOSampleType type, uint16_t channels, uint32_t sampleRate, WavFormat* format)
{
    WavFormat result = {channels, sampleRate, 0, 0, false};
    switch (type) {
    case ASIOSTInt16LSB:
        result.bytesPerSample = 2;
        break;
    case ASIOSTInt24LSB:
        result.bytesPerSample = 3;
        break;
    case ASIOSTInt32LSB:
        result.bytesPerSample = 4;
        break;
    case ASIOSTFloat32LSB:
        result.bytesPerSample = 4;
        result.isFloat = true;
        break;
    default:
        return false;
    }
    result.validBits = static_cast<uint16_t>(8 * result.bytesPerSample);
    *format = result;
    return true;
}

// Extensible files carry a fact chunk with the frame count, as the format
// asks of every format other than plain PCM.
size_t BuildWavHeader(const WavFormat& format, uint32_t dataBytes, uint8_t* out)
{
    const bool extensible = format.bytesPerSample != 2 || format.isFloat;
    const uint16_t blockAlign = static_cast<uint16_t>(format.channels * format.bytesPerSample);
    const uint32_t fmtBytes = extensible ? 40 : 16;
    const uint32_t factBytes = extensible ? 12 : 0;
    const uint32_t headerBytes = 12 + 8 + fmtBytes + factBytes + 8;
    const uint32_t pad = dataBytes & 1u;

    HeaderBytes h(out);
    h.Tag("RIFF");
    h.U32(headerBytes - 8 + dataBytes + pad);
    h.Tag("WAVE");
    h.Tag("fmt ");
    h.U32(fmtBytes);
    h.U16(extensible ? kWaveFormatExtensible : kWaveFormatPcm);
    h.U16(format.channels);
    h.U32(format.sampleRate);
    h.U32(format.sampleRate * blockAlign);
    h.U16(blockAlign);
    h.U16(static_cast<uint16_t>(8 * format.bytesPerSample));
    if (extensible) {
        h.U16(22);
        h.U16(format.validBits);
        h.U32(0); // no speaker positions: the channels are the card's outputs
        h.U16(format.isFloat ? kSubFormatFloat : kSubFormatPcm);
        h.Bytes(kSubFormatTail, sizeof kSubFormatTail);
        h.Tag("fact");
        h.U32(4);
        h.U32(blockAlign != 0 ? dataBytes / blockAlign : 0);
    }
    h.Tag("data");
    h.U32(dataBytes);
    return h.Size();
}

bool WavTakeWriter::Create(const char* stem, const WavFormat& formatIn)
{
    Close();
    nError = 0;
    format = formatIn;
    qwFrames = 0;
    qwDataBytes = 0;
    for (int number = 1; number <= kMaxTakeNumber; ++number) {
        const int length = std::snprintf(szPath, sizeof szPath, "%s-%03d.wav", stem, number);
        if (length < 0 || static_cast<size_t>(length) >= sizeof szPath) {
            nError = ENAMETOOLONG;
            return false;
        }
        nFile = open(szPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (nFile >= 0) break;
        if (errno != EEXIST) {
            nError = errno;
            return false;
        }
    }
    if (nFile < 0) {
        nError = EEXIST;
        return false;
    }
    uint8_t header[kMaxWavHeaderBytes];
    const size_t size = BuildWavHeader(format, 0, header);
    if (!WriteAll(header, size)) {
        close(nFile);
        nFile = -1;
        return false;
    }
    return true;
}

bool WavTakeWriter::WriteAll(const void* data, size_t bytes)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t written = write(nFile, p, bytes);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            nError = written < 0 ? errno : ENOSPC;
            return false;
        }
        p += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

bool WavTakeWriter::Write(const void* frames, uint32_t frameCount)
{
    if (nFile < 0) return false;
    const uint64_t bytes =
        static_cast<uint64_t>(frameCount) * format.channels * format.bytesPerSample;
    if (qwDataBytes + bytes > kMaxDataBytes) {
        nError = EFBIG;
        return false;
    }
    // Counted only once written whole, so the header never claims a part
    // the disk did not take.
    if (!WriteAll(frames, bytes)) return false;
    qwDataBytes += bytes;
    qwFrames += frameCount;
    return true;
}

bool WavTakeWriter::WriteHeader()
{
    uint8_t header[kMaxWavHeaderBytes];
    const size_t size = BuildWavHeader(format, static_cast<uint32_t>(qwDataBytes), header);
    const ssize_t written = pwrite(nFile, header, size, 0);
    if (written != static_cast<ssize_t>(size)) {
        nError = written < 0 ? errno : ENOSPC;
        return false;
    }
    return true;
}

bool WavTakeWriter::UpdateHeader()
{
    if (nFile < 0) return false;
    return WriteHeader();
}

bool WavTakeWriter::Close()
{
    if (nFile < 0) return true;
    bool ok = true;
    if ((qwDataBytes & 1u) != 0) {
        const uint8_t pad = 0;
        ok = WriteAll(&pad, 1);
    }
    ok = WriteHeader() && ok;
    if (close(nFile) != 0 && ok) {
        nError = errno;
        ok = false;
    }
    nFile = -1;
    return ok;
}
