#include "platform/Registry.h"

#include "platform/RegFileParser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <set>
#include <string_view>
#include <unistd.h>

#ifndef TONEWRIGHT_INSTALL_PREFIX
#define TONEWRIGHT_INSTALL_PREFIX "/usr/local"
#endif

namespace {

struct RegValue {
    std::string name;
    DWORD type;
    std::string text;
    DWORD number;
};

struct RegNode {
    std::string name; // as first spelled
    std::vector<RegValue> values;
    std::vector<RegNode> subkeys; // sorted by FoldedLess on name
};

} // namespace

// A root has node null and is resolved against the tree of the moment; an
// opened key points into the tree of its generation.
struct HKEY__ {
    int root;
    const RegNode* node;
    uint64_t generation;
};

HKEY__ g_hkeyClassesRoot = {0, nullptr, 0};
HKEY__ g_hkeyCurrentUser = {1, nullptr, 0};
HKEY__ g_hkeyLocalMachine = {2, nullptr, 0};

namespace {

// Windows orders and matches names by their upper-case form, so '_' sorts
// after the letters; only ASCII is folded.
char Fold(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int FoldedCompare(std::string_view a, std::string_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char x = static_cast<unsigned char>(Fold(a[i]));
        const unsigned char y = static_cast<unsigned char>(Fold(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename Nodes> auto LowerBound(Nodes& nodes, std::string_view name)
{
    return std::lower_bound(nodes.begin(), nodes.end(), name,
                            [](const RegNode& node, std::string_view wanted) {
                                return FoldedCompare(node.name, wanted) < 0;
                            });
}

const RegNode* FindSubkey(const RegNode& parent, std::string_view name)
{
    auto found = LowerBound(parent.subkeys, name);
    if (found == parent.subkeys.end() || FoldedCompare(found->name, name) != 0) return nullptr;
    return &*found;
}

struct RegistryState {
    std::mutex mutex;
    bool loaded = false;
    // Starts above the roots' 0, so no opened key can look current by chance.
    uint64_t generation = 1;
    RegNode roots[kRegRootCount];
    std::set<const HKEY__*> openKeys;
};

RegistryState& State()
{
    // Built on first use, so that a registry call from another static
    // initialiser finds it ready.
    static RegistryState state;
    return state;
}

// Applies one file to the tree being built and reports its bad lines.
class TreeBuilder final : public RegFileSink {
public:
    TreeBuilder(RegNode* roots, const std::string& fileName) : m_roots(roots), m_file(fileName) {}

    void OnKey(const std::vector<std::string>& path, bool remove) override
    {
        m_current = nullptr;
        RegNode* node = &m_roots[RegRootIndex(path[0])];
        const size_t last = path.size() - 1;
        for (size_t i = 1; i < path.size(); ++i) {
            auto at = LowerBound(node->subkeys, path[i]);
            const bool exists = at != node->subkeys.end() && FoldedCompare(at->name, path[i]) == 0;
            if (remove && i == last) {
                if (exists) node->subkeys.erase(at);
                return;
            }
            if (!exists) {
                if (remove) return;
                at = node->subkeys.insert(at, RegNode{path[i], {}, {}});
            }
            node = &*at;
        }
        m_current = node;
    }

    void OnValue(const std::string& name, DWORD type, const std::string& text,
                 DWORD number) override
    {
        for (RegValue& value : m_current->values) {
            if (FoldedCompare(value.name, name) == 0) {
                value = RegValue{name, type, text, number};
                return;
            }
        }
        m_current->values.push_back(RegValue{name, type, text, number});
    }

    void OnRemoveValue(const std::string& name) override
    {
        auto& values = m_current->values;
        values.erase(std::remove_if(values.begin(), values.end(),
                                    [&name](const RegValue& value) {
                                        return FoldedCompare(value.name, name) == 0;
                                    }),
                     values.end());
    }

    void OnBadLine(int line, const char* reason) override
    {
        std::fprintf(stderr, "%s:%d: %s; line skipped\n", m_file.c_str(), line, reason);
    }

private:
    RegNode* m_roots;
    RegNode* m_current = nullptr;
    const std::string& m_file;
};

std::string ExecutableDir()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return std::string();
    path[length] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return std::string();
    *slash = '\0';
    return path;
}

void LoadFolder(const std::string& folder, RegNode* roots)
{
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".reg" && it->is_regular_file(error)) files.push_back(*it);
    }
    // A missing or unreadable folder simply adds nothing.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().native() < b.filename().native();
    });
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read; file skipped\n", file.c_str());
            continue;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        TreeBuilder builder(roots, file.native());
        ParseRegFile(text, builder);
    }
}

// Caller holds the mutex.
void LoadLocked(RegistryState& state)
{
    for (RegNode& root : state.roots)
        root = RegNode{};
    for (const std::string& folder : RegistryFolders())
        LoadFolder(folder, state.roots);
    state.loaded = true;
    ++state.generation;
}

// The node a handle stands for, or the error its use gives. Caller holds the mutex.
LONG Resolve(RegistryState& state, HKEY key, const RegNode** node)
{
    if (!state.loaded) LoadLocked(state);
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        *node = &state.roots[key->root];
        return ERROR_SUCCESS;
    }
    if (key == nullptr || state.openKeys.count(key) == 0) return ERROR_INVALID_HANDLE;
    if (key->generation != state.generation) return ERROR_KEY_DELETED;
    *node = key->node;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result)
{
    (void)options;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const RegNode* node = nullptr;
    const LONG resolved = Resolve(state, key, &node);
    if (resolved != ERROR_SUCCESS) return resolved;
    if ((desired & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK)) != 0)
        return ERROR_ACCESS_DENIED;

    std::string_view path = subKey != nullptr ? subKey : "";
    while (!path.empty()) {
        const size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty()) {
            node = FindSubkey(*node, part);
            if (node == nullptr) return ERROR_FILE_NOT_FOUND;
        }
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }

    HKEY opened = new (std::nothrow) HKEY__{key->root, node, state.generation};
    if (opened == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    state.openKeys.insert(opened);
    *result = opened;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY key, const char* subKey, PHKEY result)
{
    return RegOpenKeyExA(key, subKey, 0, KEY_READ, result);
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const RegNode* node = nullptr;
    const LONG resolved = Resolve(state, key, &node);
    if (resolved != ERROR_SUCCESS) return resolved;
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string& found = node->subkeys[index].name;
    if (found.size() + 1 > nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize)
{
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const RegNode* node = nullptr;
    const LONG resolved = Resolve(state, key, &node);
    if (resolved != ERROR_SUCCESS) return resolved;

    const std::string_view wanted = valueName != nullptr ? valueName : "";
    const RegValue* value = nullptr;
    for (const RegValue& candidate : node->values)
        if (FoldedCompare(candidate.name, wanted) == 0) value = &candidate;
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;

    const bool isText = value->type == REG_SZ;
    const DWORD size = isText ? static_cast<DWORD>(value->text.size() + 1) : sizeof(DWORD);
    if (type != nullptr) *type = value->type;
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = size;
        return ERROR_SUCCESS;
    }
    const DWORD room = *dataSize;
    *dataSize = size;
    if (room < size) return ERROR_MORE_DATA;
    if (isText)
        std::memcpy(data, value->text.c_str(), size);
    else
        std::memcpy(data, &value->number, sizeof(DWORD)); // little-endian, as on Windows
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (key == nullptr || state.openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

void RegistryReload()
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LoadLocked(state);
}

std::vector<std::string> RegistryFolders()
{
    std::vector<std::string> folders;
    if (const char* list = std::getenv("TONEWRIGHT_REGISTRY")) {
        std::string_view rest = list;
        while (true) {
            const size_t colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty()) folders.emplace_back(folder);
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
        return folders;
    }
    const std::string executableDir = ExecutableDir();
    if (!executableDir.empty()) folders.push_back(executableDir + "/registry.d");
    folders.push_back(TONEWRIGHT_INSTALL_PREFIX "/share/tonewright/registry.d");
    folders.push_back("/etc/tonewright/registry.d");
    return folders;
}
