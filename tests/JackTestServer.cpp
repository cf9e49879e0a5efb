#include "tests/JackTestServer.h"

#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// True once the server takes a client; a server that is not up yet only
// makes libjack print why it cannot connect.
bool ServerAnswers(const std::string& name)
{
    jack_status_t status = static_cast<jack_status_t>(0);
    jack_client_t* probe = jack_client_open(
        "tonewright-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
        &status, name.c_str());
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
}

void DropJackError(const char*) {}

} // namespace

QuietJackErrors::QuietJackErrors() : m_saved(jack_error_callback)
{
    jack_set_error_function(DropJackError);
}

QuietJackErrors::~QuietJackErrors()
{
    jack_set_error_function(m_saved);
}

JackTestServer::JackTestServer() : m_name(UniqueName()) {}

JackTestServer::~JackTestServer()
{
    Stop();
    // A client that outlived its server leaves its semaphores behind in
    // JACK's folder; by now every client of this server is closed.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored))
        if (entry.path().filename().string().find("_" + m_name + "_") != std::string::npos)
            std::filesystem::remove(entry.path(), ignored);
}

std::string JackTestServer::UniqueName()
{
    static std::atomic<int> counter{0};
    return "tonewright-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

bool JackTestServer::Start(const std::string& logPath, uint32_t rate, uint32_t frames)
{
    setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    // Synchronous (-S): the server waits for every client's cycle, so a
    // client slowed down by a sanitizer delays the graph instead of losing a
    // cycle of the capture.
    std::vector<std::string> words{"jackd",
                                   "--no-realtime",
                                   "-S",
                                   "-n",
                                   m_name,
                                   "-d",
                                   "dummy",
                                   "-r",
                                   std::to_string(rate),
                                   "-p",
                                   std::to_string(frames)};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0) {
        m_failure = "fork failed";
        return false;
    }
    if (m_pid == 0) {
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }

    const QuietJackErrors quiet;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_failure = WIFEXITED(status) && WEXITSTATUS(status) == 127
                            ? "jackd cannot be run (not installed?)"
                            : "jackd exited before it took a client: " + ReadText(logPath);
            return false;
        }
        if (ServerAnswers(m_name)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_failure = "jackd took no client within 15 s: " + ReadText(logPath);
    Stop();
    return false;
}

void JackTestServer::Stop()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}
