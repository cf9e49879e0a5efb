// The progress of a playing signal, "  3.2 / 10.0 s" rewritten in place on a
// terminal. Shown only when the signal lasts more than a second and a
// terminal is there to show it; on a pipe or file nothing is written.
#pragma once

#include <cstddef>
#include <cstdio>

class ProgressDisplay {
public:
    // out null: nothing is ever written.
    ProgressDisplay(std::FILE* out, double totalSeconds);
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // stderr when it is a terminal, else stdout when that is one, else null.
    static std::FILE* TerminalStream();

    // Rewrites the line when its text changes; elapsed is clamped to the total.
    void Update(double elapsedSeconds);
    // Ends the line, once, when anything was shown.
    void Finish();

    // "  3.2 / 10.0 s", without the carriage return.
    static void Format(char* out, size_t size, double elapsedSeconds, double totalSeconds);

private:
    std::FILE* m_out;
    double m_totalSeconds;
    bool m_bShown = false;
    char m_lastText[64] = {};
};
