// What became of a play request, for front ends that must tell the user:
// armed, refused by a check or a generator, or stopped by the driver.
#pragma once

enum class PlayStatus {
    Armed,       // the generator took the request
    Refused,     // a value check failed, or the generator refused the plan
    HostFailure, // no driver setup or generator, or the driver would not start
};

struct PlayOutcome {
    PlayStatus status;
    const char* reason; // the log line, or a text of ours where the log has none; null when armed
    const char* words = nullptr; // a refusal in plain words for the user; null when reason is plain
};
