// The installed drivers, found in the registry under
// HKEY_LOCAL_MACHINE\software\asio, numbered densely from 0 in registry
// order; creates a driver's object on request and releases them all at the
// end. Says why a registered driver cannot be used. User-interface thread only.
#pragma once

#include "host/AsioInterface.h"
#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t DRIVER_ERR_INVALID_PARAM = -5001;
constexpr int32_t DRIVER_ERR_ALREADY_OPEN = -5002;
constexpr int32_t DRIVER_ERR_NOT_FOUND = -5003;

struct AsioDriverNode {
    int32_t id;
    CLSID clsid;
    char dllPath[512];
    char name[128];
    IASIO* driver;
    AsioDriverNode* next;
};

class AsioDriverList {
public:
    AsioDriverList();
    ~AsioDriverList();
    AsioDriverList(const AsioDriverList&) = delete;
    AsioDriverList& operator=(const AsioDriverList&) = delete;

    int32_t asioDriverCount() const;
    int32_t asioOpenDriver(int index, IASIO** driver);
    int32_t asioDriverName(int index, char* buffer, int size) const;
    int32_t asioDriverPath(int index, char* buffer, int size) const;
    // The name of the driver's registry key ("Virtual Card 24-bit"), which
    // users know beside its description; "" for no such index.
    const char* asioDriverKeyName(int index) const;

    // Why drivers cannot be used, in words for the user (a value longer than
    // 80 characters is cut), for the front ends to show beside the list.
    //
    // The registered drivers that got no index, and those past the number the
    // host uses, one line each in the order found. Written to the debug log
    // as the list is built, before its own enumeration lines.
    const std::vector<std::string>& asioDriverNotes() const;
    // Why driver index cannot be used: the failure of its last open, one known
    // since the list was built (a CLSID text that is no class id) or one the
    // host recorded; "" while none is known.
    const char* asioDriverFailure(int index) const;
    // Records what the host learnt after the creation (the driver's own error
    // text when it refuses to start); null or "" clears it.
    void asioSetDriverFailure(int index, const char* reason);
    // Writes "Driver N "NAME" cannot be used: REASON" to the debug log when a
    // reason is known. For the host to call after its own line on a failed
    // open, so that the log's lines keep their order.
    void asioLogDriverFailure(int index) const;

    AsioDriverNode* head;
    int32_t count;

private:
    void newDriverNode(HKEY key, const char* subkeyName);
    static int32_t findDriverPath(char* clsidText, char* path, int32_t pathSize,
                                  std::string* problem);
    AsioDriverNode* nodeAt(int index) const;
    void note(std::string text);

    std::vector<std::string> m_notes;
    std::vector<std::string> m_failures; // by index
    std::vector<std::string> m_keyNames; // by index
};
