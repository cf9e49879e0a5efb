#include "cli/ProgressDisplay.h"

#include <cstring>
#include <unistd.h>

namespace {

// Short signals end before a progress line could be read.
constexpr double kShortestShownSeconds = 1.0;

} // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out, double totalSeconds)
    : m_out(totalSeconds > kShortestShownSeconds ? out : nullptr), m_totalSeconds(totalSeconds)
{
}

std::FILE* ProgressDisplay::TerminalStream()
{
    if (isatty(STDERR_FILENO)) return stderr;
    if (isatty(STDOUT_FILENO)) return stdout;
    return nullptr;
}

void ProgressDisplay::Update(double elapsedSeconds)
{
    if (m_out == nullptr) return;
    char text[sizeof m_lastText];
    Format(text, sizeof text, elapsedSeconds, m_totalSeconds);
    if (m_bShown && std::strcmp(text, m_lastText) == 0) return;
    std::memcpy(m_lastText, text, sizeof text);
    std::fprintf(m_out, "\r%s", text);
    std::fflush(m_out);
    m_bShown = true;
}

void ProgressDisplay::Finish()
{
    if (!m_bShown) return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_bShown = false;
    m_out = nullptr;
}

void ProgressDisplay::Format(char* out, size_t size, double elapsedSeconds, double totalSeconds)
{
    double elapsed = elapsedSeconds < 0.0 ? 0.0 : elapsedSeconds;
    if (elapsed > totalSeconds) elapsed = totalSeconds;
    std::snprintf(out, size, "  %.1f / %.1f s", elapsed, totalSeconds);
}
