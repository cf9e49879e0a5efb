#include "host/AsioDriverList.h"

#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <sys/stat.h>

namespace {

constexpr DWORD kSubkeyNameRoom = 128; // 127 characters and the terminator
constexpr DWORD kValueRoom = 256;      // "clsid" and "description": 255 characters
constexpr DWORD kClassNameRoom = 512;  // names under HKEY_CLASSES_ROOT\clsid
constexpr size_t kWideClsidRoom = 100;

// A string value of at most room - 1 characters, terminated.
bool ReadString(HKEY key, const char* valueName, char* out, DWORD room)
{
    DWORD type = REG_NONE;
    DWORD size = room;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    out[room - 1] = '\0';
    return true;
}

void CopyTruncated(char* destination, const char* source, size_t room)
{
    const size_t length = std::min(std::strlen(source), room - 1);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

void LowerCase(char* text)
{
    for (; *text != '\0'; ++text)
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

} // namespace

AsioDriverList::AsioDriverList() : head(nullptr), count(0)
{
    HKEY asioKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\asio", 0, KEY_READ, &asioKey) ==
        ERROR_SUCCESS) {
        char subkeyName[kSubkeyNameRoom];
        for (DWORD index = 0;
             RegEnumKeyA(asioKey, index, subkeyName, kSubkeyNameRoom) == ERROR_SUCCESS; ++index)
            newDriverNode(asioKey, subkeyName);
        RegCloseKey(asioKey);
    }

    DbgLog("Enumerating ASIO Drivers...\n");
    char text[256];
    for (int32_t i = 0; i < count; ++i) {
        DbgLogInt("numDev", i);
        asioDriverName(i, text, 255);
        DbgLog(text);
        asioDriverPath(i, text, 255);
        DbgLog(text);
        DbgLog("");
    }
    if (count > 0) CoInitialize(nullptr);
}

AsioDriverList::~AsioDriverList()
{
    DbgLog("AsioDriverList destruction.");
    if (count <= 0) return;
    // Last to first, each driver object released before its node goes.
    while (head != nullptr) {
        AsioDriverNode* previous = nullptr;
        AsioDriverNode* last = head;
        while (last->next != nullptr) {
            previous = last;
            last = last->next;
        }
        if (last->driver != nullptr) last->driver->Release();
        delete last;
        if (previous != nullptr)
            previous->next = nullptr;
        else
            head = nullptr;
    }
    CoUninitialize();
}

void AsioDriverList::newDriverNode(HKEY key, const char* subkeyName)
{
    HKEY driverKey = nullptr;
    if (RegOpenKeyExA(key, subkeyName, 0, KEY_READ, &driverKey) != ERROR_SUCCESS) return;
    char clsidText[kValueRoom];
    char path[kClassNameRoom];
    if (!ReadString(driverKey, "clsid", clsidText, kValueRoom) ||
        findDriverPath(clsidText, path, sizeof path) != 0) {
        RegCloseKey(driverKey);
        return;
    }

    AsioDriverNode* node = new (std::nothrow) AsioDriverNode();
    if (node == nullptr) {
        RegCloseKey(driverKey);
        return;
    }
    node->id = count;
    wchar_t wide[kWideClsidRoom] = {};
    for (size_t i = 0; i + 1 < kWideClsidRoom && clsidText[i] != '\0'; ++i)
        wide[i] = static_cast<unsigned char>(clsidText[i]);
    CLSID parsed{};
    if (CLSIDFromString(wide, &parsed) == S_OK) node->clsid = parsed;
    CopyTruncated(node->dllPath, path, sizeof node->dllPath);

    char description[kValueRoom];
    if (ReadString(driverKey, "description", description, kValueRoom))
        CopyTruncated(node->name, description, sizeof node->name);
    else
        CopyTruncated(node->name, subkeyName, sizeof node->name);
    RegCloseKey(driverKey);

    AsioDriverNode** tail = &head;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = node;
    ++count;
}

int32_t AsioDriverList::findDriverPath(char* clsidText, char* path, int32_t pathSize)
{
    LowerCase(clsidText);
    HKEY classes = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "clsid", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return -1;
    int32_t result = -1;
    char name[kClassNameRoom];
    for (DWORD index = 0; RegEnumKeyA(classes, index, name, kClassNameRoom) == ERROR_SUCCESS;
         ++index) {
        LowerCase(name);
        if (std::strcmp(name, clsidText) != 0) continue;
        HKEY classKey = nullptr;
        if (RegOpenKeyExA(classes, name, 0, KEY_READ, &classKey) == ERROR_SUCCESS) {
            HKEY server = nullptr;
            if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &server) == ERROR_SUCCESS) {
                struct stat file {};
                if (ReadString(server, nullptr, path, static_cast<DWORD>(pathSize)) &&
                    stat(path, &file) == 0)
                    result = 0;
                RegCloseKey(server);
            }
            RegCloseKey(classKey);
        }
        break;
    }
    RegCloseKey(classes);
    return result;
}

AsioDriverNode* AsioDriverList::nodeAt(int index) const
{
    for (AsioDriverNode* node = head; node != nullptr; node = node->next)
        if (node->id == index) return node;
    return nullptr;
}

int32_t AsioDriverList::asioDriverCount() const
{
    return count;
}

int32_t AsioDriverList::asioOpenDriver(int index, IASIO** driver)
{
    if (driver == nullptr) return DRIVER_ERR_INVALID_PARAM;
    AsioDriverNode* node = nodeAt(index);
    if (node == nullptr) return DRIVER_ERR_NOT_FOUND;
    if (node->driver != nullptr) return DRIVER_ERR_ALREADY_OPEN;
    const HRESULT created = CoCreateInstance(node->clsid, nullptr, CLSCTX_INPROC_SERVER,
                                             node->clsid, reinterpret_cast<void**>(driver));
    if (created != S_OK) return created;
    node->driver = *driver;
    return 0;
}

int32_t AsioDriverList::asioDriverName(int index, char* buffer, int size) const
{
    // Below one byte nothing fits, not even the terminator.
    if (buffer == nullptr || size < 1) return DRIVER_ERR_INVALID_PARAM;
    const AsioDriverNode* node = nodeAt(index);
    if (node == nullptr) return DRIVER_ERR_NOT_FOUND;
    const size_t length = std::strlen(node->name);
    const size_t room = static_cast<size_t>(size);
    if (length < room) {
        std::memcpy(buffer, node->name, length + 1);
    } else if (room >= 4) {
        std::memcpy(buffer, node->name, room - 4);
        std::memcpy(buffer + room - 4, "...", 4);
    } else {
        // Too small for the ellipsis: what fits, terminated.
        std::memcpy(buffer, node->name, room - 1);
        buffer[room - 1] = '\0';
    }
    return 0;
}

int32_t AsioDriverList::asioDriverPath(int index, char* buffer, int size) const
{
    if (buffer == nullptr || size < 1) return DRIVER_ERR_INVALID_PARAM;
    const AsioDriverNode* node = nodeAt(index);
    if (node == nullptr) return DRIVER_ERR_NOT_FOUND;
    const size_t length = std::strlen(node->dllPath);
    if (length < static_cast<size_t>(size)) {
        std::memcpy(buffer, node->dllPath, length + 1);
        return 0;
    }
    buffer[0] = '\0';
    return DRIVER_ERR_INVALID_PARAM;
}
