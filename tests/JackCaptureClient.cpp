#include "tests/JackCaptureClient.h"

#include <cstring>

// The driver's process thread writes the port buffers this client reads;
// JACK orders the two clients through futexes in shared memory, which the
// thread sanitizer cannot see. Only this reader is excused.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:JackCaptureClient::OnProcess\n";
}

bool JackCaptureClient::Open(const char* name, int channels, size_t capacity)
{
    jack_status_t status = static_cast<jack_status_t>(0);
    m_client = jack_client_open(name, JackNoStartServer, &status);
    if (m_client == nullptr) return false;
    m_capacity = capacity;
    m_recordings.assign(static_cast<size_t>(channels), std::vector<float>(capacity, 0.0f));
    for (int c = 0; c < channels; ++c) {
        const std::string port = "in_" + std::to_string(c + 1);
        m_ports.push_back(jack_port_register(m_client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                             JackPortIsInput, 0));
        if (m_ports.back() == nullptr) return false;
    }
    return jack_set_process_callback(m_client, OnProcess, this) == 0;
}

bool JackCaptureClient::Activate()
{
    return m_client != nullptr && jack_activate(m_client) == 0;
}

bool JackCaptureClient::Connect(const std::string& source, int channel)
{
    return m_client != nullptr &&
           jack_connect(m_client, source.c_str(), jack_port_name(m_ports[channel])) == 0;
}

void JackCaptureClient::Close()
{
    if (m_client == nullptr) return;
    jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
    // Pairs with the last cycle's store.
    (void)m_frames.load(std::memory_order_acquire);
}

int JackCaptureClient::OnProcess(jack_nframes_t frames, void* self)
{
    auto* capture = static_cast<JackCaptureClient*>(self);
    const size_t at = capture->m_frames.load(std::memory_order_relaxed);
    const size_t room = at < capture->m_capacity ? capture->m_capacity - at : 0;
    const size_t count = frames < room ? frames : room;
    for (size_t c = 0; c < capture->m_ports.size(); ++c) {
        const auto* in =
            static_cast<const float*>(jack_port_get_buffer(capture->m_ports[c], frames));
        if (in != nullptr && count > 0)
            std::memcpy(capture->m_recordings[c].data() + at, in, count * sizeof(float));
    }
    capture->m_frames.store(at + frames, std::memory_order_release);
    return 0;
}
