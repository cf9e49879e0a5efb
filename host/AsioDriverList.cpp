#include "host/AsioDriverList.h"

#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// A value as a message quotes it: at most 80 characters, then "...".
std::string Cut(const char* text)
{
    constexpr size_t kShown = 80;
    const std::string whole(text);
    return whole.size() <= kShown ? whole : whole.substr(0, kShown) + "...";
}

// Why the "clsid" value of a driver's key cannot be read.
std::string ClsidValueProblem(HKEY key)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, "clsid", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return "it has no CLSID value";
    if (type != REG_SZ) return "its CLSID value is not text";
    return "its CLSID value is longer than " + std::to_string(kValueRoom - 1) + " characters";
}

// Names the drivers past the limit, as many as a log line holds.
std::string LeftOutNote(const AsioDriverList& list)
{
    std::string text = std::to_string(list.count) + " drivers are registered, but only the first " +
                       std::to_string(kMaxDrivers) + " can be used; left out:";
    char name[kSubkeyNameRoom];
    for (int32_t i = kMaxDrivers; i < list.count; ++i) {
        if (text.size() > 700) {
            text += " and " + std::to_string(list.count - i) + " more";
            break;
        }
        list.asioDriverName(i, name, sizeof name);
        text += (i > kMaxDrivers ? ", " : " ") + std::to_string(i) + " \"" + Cut(name) + "\"";
    }
    return text;
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
    if (count > kMaxDrivers) note(LeftOutNote(*this));

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
    const std::string leftOut = "Driver \"" + Cut(subkeyName) + "\" is left out: ";
    HKEY driverKey = nullptr;
    if (RegOpenKeyExA(key, subkeyName, 0, KEY_READ, &driverKey) != ERROR_SUCCESS) {
        note(leftOut + "its key cannot be read");
        return;
    }
    char clsidText[kValueRoom];
    if (!ReadString(driverKey, "clsid", clsidText, kValueRoom)) {
        note(leftOut + ClsidValueProblem(driverKey));
        RegCloseKey(driverKey);
        return;
    }
    const std::string clsidAsWritten = Cut(clsidText);
    char path[kClassNameRoom];
    std::string problem;
    if (findDriverPath(clsidText, path, sizeof path, &problem) != 0) {
        note(leftOut + problem);
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
    if (CLSIDFromString(wide, &parsed) == S_OK) {
        node->clsid = parsed;
        m_failures.emplace_back();
    } else {
        m_failures.push_back("its CLSID \"" + clsidAsWritten +
                             "\" is not in the {8-4-4-4-12} form of a class id");
    }
    CopyTruncated(node->dllPath, path, sizeof node->dllPath);
    m_keyNames.emplace_back(subkeyName);

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

int32_t AsioDriverList::findDriverPath(char* clsidText, char* path, int32_t pathSize,
                                       std::string* problem)
{
    *problem = "its class " + Cut(clsidText) + " is not registered under HKEY_CLASSES_ROOT\\CLSID";
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
        *problem = "no module file is registered for its class (InprocServer32)";
        HKEY classKey = nullptr;
        if (RegOpenKeyExA(classes, name, 0, KEY_READ, &classKey) == ERROR_SUCCESS) {
            HKEY server = nullptr;
            if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &server) == ERROR_SUCCESS) {
                struct stat file {};
                if (ReadString(server, nullptr, path, static_cast<DWORD>(pathSize))) {
                    const int error = stat(path, &file) == 0 ? 0 : errno;
                    if (error == 0)
                        result = 0;
                    else
                        *problem =
                            std::string("its module file ") + path + ": " + std::strerror(error);
                }
                RegCloseKey(server);
            }
            RegCloseKey(classKey);
        }
        break;
    }
    RegCloseKey(classes);
    return result;
}

void AsioDriverList::note(std::string text)
{
    DbgLog(text.c_str());
    m_notes.push_back(std::move(text));
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
    std::string& failure = m_failures[static_cast<size_t>(index)];
    // Any success code brings an object with a reference that is ours to release.
    if (FAILED(created)) {
        // A CLSID text that is no class id leaves the class null: the reason given
        // when the list was built is the cause, the loader would only say that
        // the null class is not registered.
        if (failure.empty() || !IsEqualGUID(node->clsid, CLSID_NULL))
            failure = CoCreateInstanceFailure();
        return created;
    }
    failure.clear();
    node->driver = *driver;
    return 0;
}

const char* AsioDriverList::asioDriverKeyName(int index) const
{
    return nodeAt(index) != nullptr ? m_keyNames[static_cast<size_t>(index)].c_str() : "";
}

const std::vector<std::string>& AsioDriverList::asioDriverNotes() const
{
    return m_notes;
}

const char* AsioDriverList::asioDriverFailure(int index) const
{
    const AsioDriverNode* node = nodeAt(index);
    return node != nullptr ? m_failures[static_cast<size_t>(index)].c_str() : "";
}

void AsioDriverList::asioSetDriverFailure(int index, const char* reason)
{
    if (nodeAt(index) == nullptr) return;
    m_failures[static_cast<size_t>(index)] = reason != nullptr ? Cut(reason) : std::string();
}

void AsioDriverList::asioLogDriverFailure(int index) const
{
    const AsioDriverNode* node = nodeAt(index);
    if (node == nullptr || m_failures[static_cast<size_t>(index)].empty()) return;
    const std::string line = "Driver " + std::to_string(index) + " \"" + Cut(node->name) +
                             "\" cannot be used: " + m_failures[static_cast<size_t>(index)];
    DbgLog(line.c_str());
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
