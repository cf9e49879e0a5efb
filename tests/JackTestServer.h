// A JACK server of the test's own: `jackd --no-realtime -S -n <unique name>
// -d dummy`, paced by the system clock with no sound card. Start also points
// this process's JACK clients at it (JACK_DEFAULT_SERVER) and forbids them
// to start a server of their own (JACK_NO_START_SERVER).
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

class JackTestServer {
public:
    JackTestServer();
    ~JackTestServer();
    JackTestServer(const JackTestServer&) = delete;
    JackTestServer& operator=(const JackTestServer&) = delete;

    // Starts the server, its output in logPath, and waits until a client can
    // connect. False when jackd cannot run here; Failure() says why.
    bool Start(const std::string& logPath, uint32_t rate = 48000, uint32_t frames = 256);
    // SIGTERM, and SIGKILL if it has not exited within ten seconds.
    void Stop();

    bool Running() const { return m_pid > 0; }
    const std::string& Name() const { return m_name; }
    const std::string& Failure() const { return m_failure; }

    // A server name no server of this machine uses.
    static std::string UniqueName();

private:
    std::string m_name;
    std::string m_failure;
    pid_t m_pid = -1;
};

// While it lives, libjack's error lines in this process are dropped: waiting
// for a server or a port means many attempts that fail by design.
class QuietJackErrors {
public:
    QuietJackErrors();
    ~QuietJackErrors();
    QuietJackErrors(const QuietJackErrors&) = delete;
    QuietJackErrors& operator=(const QuietJackErrors&) = delete;

private:
    void (*m_saved)(const char*);
};
