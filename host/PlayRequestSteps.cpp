#include "host/PlayRequestSteps.h"

#include "host/HostState.h"
#include "log/DebugLog.h"

PlayOutcome Refuse(const char* line, const char* words)
{
    DbgLog(line);
    return {PlayStatus::Refused, line, words};
}

bool ReadyToArm(AsioBuffers* buffers, const void* generator, PlayOutcome& failure)
{
    if (buffers == nullptr || ptrASIO == nullptr) {
        failure = {PlayStatus::HostFailure, "No driver setup"};
        return false;
    }
    if (generator == nullptr) {
        failure = {PlayStatus::HostFailure, "No generator"};
        return false;
    }
    if (buffers->bStarted) return true;
    if (ptrASIO->start() != ASE_OK) {
        DbgLog("Can't start!");
        failure = {PlayStatus::HostFailure, "Can't start!", "the driver would not start"};
        return false;
    }
    buffers->bStarted = true;
    return true;
}
