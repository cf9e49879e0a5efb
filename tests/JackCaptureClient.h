// A JACK client of the test's own that records its input ports in_1 ...
// in_N, frame for frame, from its activation on: what a driver's ports give
// it arrives unmixed when each input has one connection.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

class JackCaptureClient {
public:
    JackCaptureClient() = default;
    ~JackCaptureClient() { Close(); }
    JackCaptureClient(const JackCaptureClient&) = delete;
    JackCaptureClient& operator=(const JackCaptureClient&) = delete;

    // On the default server; room for capacity frames per channel, the rest
    // dropped.
    bool Open(const char* name, int channels, size_t capacity);
    bool Activate();
    // source (a full port name) into in_<channel + 1>.
    bool Connect(const std::string& source, int channel);
    // Frames recorded so far.
    size_t Frames() const { return m_frames.load(std::memory_order_acquire); }
    jack_client_t* Client() const { return m_client; }
    // Deactivates and closes; only then are the recordings whole and safe to read.
    void Close();
    const std::vector<float>& Recording(int channel) const { return m_recordings[channel]; }

private:
    static int OnProcess(jack_nframes_t frames, void* self);

    jack_client_t* m_client = nullptr;
    std::vector<jack_port_t*> m_ports;
    std::vector<std::vector<float>> m_recordings;
    size_t m_capacity = 0;
    std::atomic<size_t> m_frames{0};
};
