#include "host/HostCapture.h"

#include "host/DriverQuery.h"
#include "host/HostState.h"
#include "log/DebugLog.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

HostCapture* pHostCapture = nullptr;

namespace {

// Seconds of switches the ring holds, at the card's rate and no less than
// this rate, so that a rate raised meanwhile still finds room.
constexpr double kRingSeconds = 2.0;
constexpr double kRingLeastRate = 96000.0;
constexpr uint64_t kMaxRingBytes = uint64_t{64} << 20;
constexpr uint32_t kMinRingBlocks = 8;
// How often the draining thread looks at the ring; the render path never wakes it.
constexpr auto kDrainPoll = std::chrono::milliseconds(10);
// How long Finish waits for a capture it called off to end by a switch.
constexpr auto kCancelWait = std::chrono::seconds(2);

} // namespace

// One sample of the card's format as a fraction of full scale, as sound
// editors read integer samples: s / 2^(bits - 1).
double SampleValue(SampleEncoding encoding, const uint8_t* p)
{
    switch (encoding) {
    case SampleEncoding::Int16: {
        int16_t value;
        std::memcpy(&value, p, 2);
        return value / 32768.0;
    }
    case SampleEncoding::Int24: {
        const uint32_t bits = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                              static_cast<uint32_t>(p[2]) << 24;
        return static_cast<int32_t>(bits) / 2147483648.0;
    }
    case SampleEncoding::Int32: {
        int32_t value;
        std::memcpy(&value, p, 4);
        return value / 2147483648.0;
    }
    case SampleEncoding::Float32: {
        float value;
        std::memcpy(&value, p, 4);
        return value;
    }
    }
    return 0.0;
}

HostCapture::HostCapture(int32_t inputPair, double tailSeconds, const std::string& path,
                         bool keepSamples)
    : m_nPair(inputPair), m_dTailSeconds(tailSeconds), m_path(path), m_bKeepSamples(keepSamples)
{
}

ASIOBufferInfo* HostCapture::BufferRecords(ASIOBufferInfo* outputs, int32_t* count)
{
    m_bReady = false;
    const int32_t inputs = asioDriverInfo.numInputChannels;
    if (m_nPair < 0 || 2 * m_nPair + 1 >= inputs || *count > kMaxRecords - 2) {
        char text[96];
        std::snprintf(text, sizeof text, "the card has %d input pair%s; there is no pair %d",
                      inputs / 2, inputs / 2 == 1 ? "" : "s", m_nPair);
        m_problem = text;
        DbgLogInt("Capture: no such input pair", m_nPair);
        return outputs;
    }
    DbgLogInt("Capture: input pair", m_nPair);
    std::memcpy(m_records, outputs, sizeof(ASIOBufferInfo) * static_cast<size_t>(*count));
    for (int32_t i = 0; i < 2; ++i)
        m_records[*count + i] = ASIOBufferInfo{ASIOTrue, 2 * m_nPair + i, {nullptr, nullptr}};
    *count += 2;
    return m_records;
}

bool HostCapture::TakeBuffers(ASIOBufferInfo* outputs, int32_t outputCount, ASIOSampleType cardType,
                              uint32_t frames, uint32_t bytesPerSample, double sampleRate)
{
    std::memcpy(outputs, m_records, sizeof(ASIOBufferInfo) * static_cast<size_t>(outputCount));
    m_inputs[0] = m_records[outputCount];
    m_inputs[1] = m_records[outputCount + 1];
    for (const ASIOBufferInfo& input : m_inputs) {
        ASIOChannelInfo channel = {};
        channel.channel = input.channelNum;
        channel.isInput = ASIOTrue;
        if (ptrASIO->getChannelInfo(&channel) != ASE_OK || channel.isActive != ASIOTrue ||
            channel.type != cardType || input.buffers[0] == nullptr ||
            input.buffers[1] == nullptr) {
            m_problem = "the input pair is not active in the card's sample type";
            DbgLog("Capture: the input pair is not active in the card's sample type");
            return false;
        }
    }
    EncodingOf(cardType, &m_encoding);
    m_nFrames = frames;
    m_nSampleBytes = bytesPerSample;

    const uint32_t halfBytes = frames * bytesPerSample;
    const double rate = sampleRate > kRingLeastRate ? sampleRate : kRingLeastRate;
    uint64_t blocks = static_cast<uint64_t>(std::ceil(kRingSeconds * rate / frames));
    const uint64_t blockBytes = CaptureTap::kHeaderBytes + 2 * uint64_t{halfBytes};
    if (blocks * blockBytes > kMaxRingBytes) blocks = kMaxRingBytes / blockBytes;
    if (blocks < kMinRingBlocks) blocks = kMinRingBlocks;
    void* const halves[2][2] = {{m_inputs[0].buffers[0], m_inputs[0].buffers[1]},
                                {m_inputs[1].buffers[0], m_inputs[1].buffers[1]}};
    if (!m_tap.Prepare(halves, halfBytes, frames, static_cast<uint32_t>(blocks))) {
        m_problem = "no memory for the capture";
        DbgLog("Capture: no memory for the capture");
        return false;
    }
    m_problem.clear();
    m_bReady = true;
    return true;
}

bool HostCapture::Arm(double sampleRate)
{
    if (m_bArmed) return true;
    if (!m_bReady) return false;
    const uint32_t rate = static_cast<uint32_t>(WholeHertz(sampleRate));
    if (!m_path.empty() && !m_writer.Create(m_path.c_str(), {m_encoding, 2, rate}, false)) {
        m_problem = std::string("cannot write ") + m_path + ": " + m_writer.ErrorText();
        return false;
    }
    m_interleaved.assign(static_cast<size_t>(m_nFrames) * 2 * m_nSampleBytes, 0);
    m_silence.assign(static_cast<size_t>(m_nFrames) * m_nSampleBytes, 0);
    m_qwNextSequence = 0;
    m_result = CaptureResult{};
    m_result.end = CaptureEnd::Completed;
    m_bCancelled.store(false, std::memory_order_relaxed);
    m_bCutShort = false;
    // The thread first, so that it is there to drain the first block.
    m_drain = std::thread(&HostCapture::Drain, this);
    m_tap.Arm(static_cast<uint64_t>(std::ceil(m_dTailSeconds * rate)));
    m_bArmed = true;
    return true;
}

void HostCapture::Cancel()
{
    if (!m_bArmed) return;
    m_bCancelled.store(true, std::memory_order_release);
    m_tap.Cancel();
}

CaptureResult HostCapture::Finish()
{
    if (!m_bArmed) return {};
    if (!Ended()) {
        m_tap.Cancel();
        const auto deadline = std::chrono::steady_clock::now() + kCancelWait;
        while (!Ended() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kDrainPoll);
        if (!Ended()) m_bCutShort = true;
        m_tap.EndStopped();
    }
    JoinDrain(false);
    CaptureResult result = std::move(m_result);
    m_result = CaptureResult{};
    return result;
}

void HostCapture::Release()
{
    if (m_bArmed) JoinDrain(true);
    m_tap.Release();
    m_bReady = false;
}

void HostCapture::JoinDrain(bool driverStopped)
{
    if (driverStopped) {
        if (!Ended()) m_bCutShort = true;
        m_tap.EndStopped();
    }
    if (!m_drain.joinable()) return;
    m_drain.join();
    if (m_bCutShort && m_result.end == CaptureEnd::Completed) m_result.end = CaptureEnd::Stopped;
}

// The draining thread: blocks to the file as they come, until the tap has
// ended and its last block is written.
void HostCapture::Drain()
{
    for (;;) {
        // Read before draining: the last block is published before the end.
        const bool ended = Ended();
        DrainBlocks();
        if (ended) break;
        std::this_thread::sleep_for(kDrainPoll);
    }
    m_result.lostBuffers = m_tap.Overruns();
    m_result.frames = m_qwNextSequence * m_nFrames;
    if (const uint64_t signal = m_tap.SignalSwitch(); signal != CaptureTap::kNoSignal)
        m_result.signalFrame = signal * m_nFrames;
    if (!m_writer.Close() && m_result.end != CaptureEnd::FileFailed) {
        m_result.end = CaptureEnd::FileFailed;
        m_result.error = m_writer.ErrorText();
    }
    // A refused request leaves no capture behind.
    if (m_bCancelled.load(std::memory_order_acquire)) {
        if (!m_path.empty()) std::remove(m_path.c_str());
        m_result = CaptureResult{};
    }
}

void HostCapture::DrainBlocks()
{
    uint64_t sequence = 0;
    while (const uint8_t* block = m_tap.Peek(&sequence)) {
        // A switch the ring had no room for keeps its place as silence.
        for (; m_qwNextSequence < sequence; ++m_qwNextSequence)
            WriteSwitch(m_silence.data(), m_silence.data());
        const uint8_t* left = block + CaptureTap::kHeaderBytes;
        WriteSwitch(left, left + m_tap.HalfBytes());
        ++m_qwNextSequence;
        m_tap.Consume();
    }
}

void HostCapture::WriteSwitch(const uint8_t* left, const uint8_t* right)
{
    const uint32_t bytes = m_nSampleBytes;
    uint8_t* frame = m_interleaved.data();
    for (uint32_t i = 0; i < m_nFrames; ++i, frame += 2 * bytes) {
        std::memcpy(frame, left + i * bytes, bytes);
        std::memcpy(frame + bytes, right + i * bytes, bytes);
        if (!m_bKeepSamples) continue;
        m_result.left.push_back(SampleValue(m_encoding, frame));
        m_result.right.push_back(SampleValue(m_encoding, frame + bytes));
    }
    if (!m_writer.IsOpen() || m_result.end == CaptureEnd::FileFailed) return;
    if (!m_writer.Write(m_interleaved.data(), m_nFrames)) {
        m_result.end = CaptureEnd::FileFailed;
        m_result.error = m_writer.ErrorText();
    }
}

std::vector<std::string> InputPairLabels()
{
    std::vector<std::string> labels;
    if (ptrASIO == nullptr) return labels;
    const int32_t inputs = asioDriverInfo.numInputChannels;
    for (int32_t pair = 0; 2 * pair + 1 < inputs; ++pair) {
        ASIOChannelInfo channels[2] = {};
        for (int32_t i = 0; i < 2; ++i) {
            channels[i].channel = 2 * pair + i;
            channels[i].isInput = ASIOTrue;
            if (ptrASIO->getChannelInfo(&channels[i]) != ASE_OK) channels[i].name[0] = '\0';
            channels[i].name[sizeof channels[i].name - 1] = '\0';
        }
        char label[2 * sizeof channels[0].name + 4];
        PairLabel(label, sizeof label, channels[0].name, channels[1].name);
        labels.emplace_back(label);
    }
    return labels;
}
