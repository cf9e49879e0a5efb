// The installed drivers, found in the registry under
// HKEY_LOCAL_MACHINE\software\asio, numbered densely from 0 in registry
// order; creates a driver's object on request and releases them all at the
// end. User-interface thread only.
#pragma once

#include "host/AsioInterface.h"
#include "platform/Registry.h"

#include <cstdint>

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

    AsioDriverNode* head;
    int32_t count;

private:
    void newDriverNode(HKEY key, const char* subkeyName);
    static int32_t findDriverPath(char* clsidText, char* path, int32_t pathSize);
    AsioDriverNode* nodeAt(int index) const;
};
