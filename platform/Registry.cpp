#include "platform/Registry.h"

#include "platform/RegFileParser.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <link.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string_view>
#include <unistd.h>

namespace {

struct RegValue {
    std::string name;
    DWORD type;
    std::string text;
    DWORD number;
};

struct RegNode {
    std::string name;             // as first spelled
    std::vector<RegValue> values; // both sorted by FoldedCompare on name
    std::vector<RegNode> subkeys;
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

// The entry of a sorted vector (subkeys or values) with that name, or null.
template <typename Entry>
const Entry* FindNamed(const std::vector<Entry>& entries, std::string_view name)
{
    auto found = std::lower_bound(entries.begin(), entries.end(), name,
                                  [](const Entry& entry, std::string_view wanted) {
                                      return FoldedCompare(entry.name, wanted) < 0;
                                  });
    if (found == entries.end() || FoldedCompare(found->name, name) != 0) return nullptr;
    return &*found;
}

struct FoldedLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const
    {
        return FoldedCompare(a, b) < 0;
    }
};

// The tree while files are read. Ordered maps, so that a line costs the
// logarithm of its siblings, never their number: a key with 100,000 values
// would otherwise take minutes to load.
struct BuildNode {
    std::string name;
    std::map<std::string, RegValue, FoldedLess> values;
    std::map<std::string, std::unique_ptr<BuildNode>, FoldedLess> subkeys;
};

// Moves a built tree into the sorted vectors that the calls read by index.
// The parser's depth limit bounds the recursion.
void Freeze(BuildNode& from, RegNode& to)
{
    to.name = std::move(from.name);
    to.values.clear();
    to.values.reserve(from.values.size());
    for (auto& entry : from.values)
        to.values.push_back(std::move(entry.second));
    to.subkeys.clear();
    to.subkeys.resize(from.subkeys.size());
    size_t index = 0;
    for (auto& entry : from.subkeys) {
        Freeze(*entry.second, to.subkeys[index++]);
        entry.second.reset();
    }
}

struct RegistryState {
    std::mutex mutex;
    bool loaded = false;
    // Starts above the roots' 0, so no opened key can look current by chance.
    uint64_t generation = 1;
    RegNode roots[kRegRootCount];
    std::set<const HKEY__*> openKeys;
};

// A driver module links its own copy of this file and reads the same folders
// again for its settings. The program that loaded the module has reported
// the files' faults already, so a copy inside a module (an object that
// exports DllGetClassObject) keeps them to itself: each is said once.
bool InsideDriverModule()
{
    Dl_info info{};
    link_map* self = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&InsideDriverModule), &info,
                reinterpret_cast<void**>(&self), RTLD_DL_LINKMAP) == 0 ||
        self == nullptr || self->l_name == nullptr || self->l_name[0] == '\0')
        return false; // the program itself
    void* handle = dlopen(self->l_name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    const bool module = dlsym(handle, "DllGetClassObject") != nullptr;
    dlclose(handle);
    return module;
}

bool Quiet()
{
    static const bool quiet = InsideDriverModule();
    return quiet;
}

RegistryState& State()
{
    // Built on first use, so that a registry call from another static
    // initialiser finds it ready.
    static RegistryState state;
    // Settled before any caller takes the mutex, since it asks the dynamic
    // loader, whose lock another thread may hold while it waits for ours.
    Quiet();
    return state;
}

// Enough to see what is wrong with a file; a binary file would otherwise
// give a line for each of its hundreds of thousands of lines.
constexpr int kReportsPerFile = 20;
// Larger files are no registration anyone writes by hand.
constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

// Applies one file to the tree being built and reports its bad lines, the
// first kReportsPerFile of them each on a line, then their count.
class TreeBuilder final : public RegFileSink {
public:
    TreeBuilder(BuildNode* roots, const std::string& fileName) : m_roots(roots), m_file(fileName) {}
    ~TreeBuilder()
    {
        if (m_badLines > kReportsPerFile && !Quiet())
            std::fprintf(stderr, "... and %d more in %s\n", m_badLines - kReportsPerFile,
                         m_file.c_str());
    }
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    void OnKey(const std::vector<std::string>& path, bool remove) override
    {
        m_current = nullptr;
        BuildNode* node = &m_roots[RegRootIndex(path[0])];
        const size_t last = path.size() - 1;
        for (size_t i = 1; i < path.size(); ++i) {
            auto at = node->subkeys.lower_bound(path[i]);
            const bool exists = at != node->subkeys.end() && FoldedCompare(at->first, path[i]) == 0;
            if (remove && i == last) {
                if (exists) node->subkeys.erase(at);
                return;
            }
            if (!exists) {
                if (remove) return;
                auto child = std::make_unique<BuildNode>(BuildNode{path[i], {}, {}});
                at = node->subkeys.emplace_hint(at, path[i], std::move(child));
            }
            node = at->second.get();
        }
        m_current = node;
    }

    void OnValue(const std::string& name, DWORD type, const std::string& text,
                 DWORD number) override
    {
        auto& values = m_current->values;
        auto at = values.lower_bound(name);
        if (at != values.end() && FoldedCompare(at->first, name) == 0)
            at->second = RegValue{name, type, text, number};
        else
            values.emplace_hint(at, name, RegValue{name, type, text, number});
    }

    void OnRemoveValue(const std::string& name) override
    {
        auto& values = m_current->values;
        auto at = values.find(name);
        if (at != values.end()) values.erase(at);
    }

    void OnBadLine(int line, const char* reason) override
    {
        if (++m_badLines <= kReportsPerFile && !Quiet())
            std::fprintf(stderr, "%s:%d: %s; line skipped\n", m_file.c_str(), line, reason);
    }

private:
    BuildNode* m_roots;
    BuildNode* m_current = nullptr;
    const std::string& m_file;
    int m_badLines = 0;
};

// The file's text, or false (with one line said) when it cannot be read or
// is larger than kMaxFileBytes. Read in pieces, so a file that grows while
// it is read is still caught.
bool ReadRegFile(const std::filesystem::path& file, std::string& text)
{
    text.clear();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    std::ifstream in(file, std::ios::binary);
    bool tooLarge = !error && size > kMaxFileBytes;
    if (!tooLarge && in) {
        char piece[1 << 16];
        while (in.read(piece, sizeof piece) || in.gcount() > 0) {
            text.append(piece, static_cast<size_t>(in.gcount()));
            if (text.size() > kMaxFileBytes) {
                tooLarge = true;
                break;
            }
        }
    }
    if (tooLarge) {
        if (!Quiet()) std::fprintf(stderr, "%s: larger than 16 MB; file skipped\n", file.c_str());
        return false;
    }
    if (!in && !in.eof()) {
        if (!Quiet()) std::fprintf(stderr, "%s: cannot be read; file skipped\n", file.c_str());
        return false;
    }
    return true;
}

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

void LoadFolder(const std::string& folder, BuildNode* roots)
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
    std::string text;
    for (const fs::path& file : files) {
        if (!ReadRegFile(file, text)) continue;
        TreeBuilder builder(roots, file.native());
        ParseRegFile(text, builder);
    }
}

// Caller holds the mutex.
void LoadLocked(RegistryState& state)
{
    BuildNode built[kRegRootCount];
    for (const std::string& folder : RegistryFolders())
        LoadFolder(folder, built);
    for (int root = 0; root < kRegRootCount; ++root)
        Freeze(built[root], state.roots[root]);
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
            node = FindNamed(node->subkeys, part);
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

    const RegValue* value = FindNamed(node->values, valueName != nullptr ? valueName : "");
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
    // Beside the program in a build tree; below its prefix once installed,
    // wherever that prefix is.
    const std::string executableDir = ExecutableDir();
    if (!executableDir.empty()) {
        folders.push_back(executableDir + "/registry.d");
        const std::filesystem::path installed =
            std::filesystem::path(executableDir) / "../share/tonewright/registry.d";
        folders.push_back(installed.lexically_normal().string());
    }
    folders.push_back("/etc/tonewright/registry.d");
    // Last, so that a user's own files add to and override the system's.
    const std::string user = UserConfigFolder();
    if (!user.empty()) folders.push_back(user + "/registry.d");
    return folders;
}
