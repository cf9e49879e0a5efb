// SIGTERM, SIGINT and SIGHUP turned into a call on the user-interface
// thread, so that the program ends through its normal shutdown. The handler
// only writes a byte into a pipe; a socket notifier reads it in Qt's event
// loop. One instance at a time; user-interface thread.
#pragma once

#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

class QSocketNotifier;

class TerminationSignals {
public:
    // onSignal runs from the event loop after one or more of the signals came.
    explicit TerminationSignals(std::function<void()> onSignal);
    // The dispositions that were there before come back.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

    std::function<void()> m_onSignal;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[std::size(kSignals)] = {};
    bool m_bInstalled[std::size(kSignals)] = {};
};
