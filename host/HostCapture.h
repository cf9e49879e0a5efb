// The capture of one input pair, asked for before the driver setup: the two
// input records the setup hands createBuffers after the output records, the
// tap the render path copies the pair into (render/CaptureTap.h), and the
// thread that drains it into a file in the card's format and, when asked,
// into samples. Without a capture none of this exists and the setup is as it
// always was. User-interface thread, save the draining thread's own work.
#pragma once

#include "host/AsioInterface.h"
#include "host/HostSession.h"
#include "platform/AudioFileWriter.h"
#include "render/CaptureTap.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class HostCapture {
public:
    // Every output the host keeps records for, and the pair.
    static constexpr int32_t kMaxRecords = 32 + 2;

    HostCapture(int32_t inputPair, double tailSeconds, const std::string& path, bool keepSamples);
    ~HostCapture() { Release(); }
    HostCapture(const HostCapture&) = delete;
    HostCapture& operator=(const HostCapture&) = delete;

    // Driver setup, before createBuffers: the records to hand it, the
    // output records first, then the pair's two inputs, and their count.
    // A pair the card does not have leaves the outputs alone.
    ASIOBufferInfo* BufferRecords(ASIOBufferInfo* outputs, int32_t* count);
    // After createBuffers: the outputs' buffers into the host's own records,
    // the inputs' checked (active, in the card's sample type) and the tap
    // prepared. False, with Problem() saying why, when the pair cannot be
    // captured; the setup stands either way.
    bool TakeBuffers(ASIOBufferInfo* outputs, int32_t outputCount, ASIOSampleType cardType,
                     uint32_t frames, uint32_t bytesPerSample, double sampleRate);
    // The tap for the render view; null when the capture cannot run.
    CaptureTap* Tap() { return m_bReady ? &m_tap : nullptr; }
    // Empty when the capture can run.
    const std::string& Problem() const { return m_problem; }

    // With the play request, before its generator is armed: the file is
    // made and the next switch starts the capture. False, with the reason
    // in Problem(), when the file cannot be made; a capture started before
    // is not started again.
    bool Arm(double sampleRate);
    bool Armed() const { return m_bArmed; }
    // The request was refused: the capture ends and its file goes.
    void Cancel();
    bool Ended() const { return m_tap.Current() == CaptureTap::kEnded; }
    // Waits for the file and gives the outcome, once.
    CaptureResult Finish();

    // The driver has stopped: whatever came is written, and the tap goes.
    void Release();

private:
    void Drain();
    void DrainBlocks();
    void WriteSwitch(const uint8_t* left, const uint8_t* right);
    void JoinDrain(bool driverStopped);

    const int32_t m_nPair;
    const double m_dTailSeconds;
    const std::string m_path;
    const bool m_bKeepSamples;

    ASIOBufferInfo m_records[kMaxRecords] = {};
    ASIOBufferInfo m_inputs[2] = {};
    std::string m_problem;
    bool m_bReady = false;
    bool m_bArmed = false;
    bool m_bCutShort = false; // the tap was ended before its tail had passed
    CaptureTap m_tap;
    SampleEncoding m_encoding = SampleEncoding::Int16;
    uint32_t m_nFrames = 0;
    uint32_t m_nSampleBytes = 0;

    // The draining thread's, from Arm until it is joined.
    std::thread m_drain;
    std::atomic<bool> m_bCancelled{false};
    AudioFileWriter m_writer;
    std::vector<uint8_t> m_interleaved;
    std::vector<uint8_t> m_silence;
    uint64_t m_qwNextSequence = 0;
    CaptureResult m_result;
};

// The capture asked for, or null; owned by the front end that asked.
extern HostCapture* pHostCapture;

// One sample of the card's format as a fraction of full scale, as sound
// editors read integer samples: s / 2^(bits - 1).
double SampleValue(SampleEncoding encoding, const uint8_t* sample);

// The card's input pairs as a front end lists them ("In 1 / 2"), asked of
// the open driver; empty without one.
std::vector<std::string> InputPairLabels();
