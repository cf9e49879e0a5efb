#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Each test gets its own folders under a fresh temporary directory and points
// the registry at them.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tonewright-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override
    {
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    fs::path Write(const std::string& folder, const std::string& name, const std::string& text)
    {
        fs::create_directories(m_root / folder);
        const fs::path path = m_root / folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Loads the folders, in this order, and returns what was said on stderr.
    std::string Load(const std::vector<std::string>& folders)
    {
        std::string list;
        for (const std::string& folder : folders)
            list += (list.empty() ? "" : ":") + (m_root / folder).string();
        setenv("TONEWRIGHT_REGISTRY", list.c_str(), 1);
        testing::internal::CaptureStderr();
        RegistryReload();
        return testing::internal::GetCapturedStderr();
    }

    fs::path m_root;
};

std::vector<std::string> Subkeys(HKEY key, DWORD room = 256)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, room) == ERROR_SUCCESS; ++i)
        names.emplace_back(name);
    return names;
}

// The string value, or "<error N>" / "<type N>" so a mismatch reads clearly.
std::string Text(HKEY key, const char* valueName)
{
    char buffer[512];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) return "<error " + std::to_string(result) + ">";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    if (size != std::strlen(buffer) + 1) return "<size " + std::to_string(size) + ">";
    return buffer;
}

// The DWORD value, or 0xDEADBEEF when the call fails or the value is no DWORD.
DWORD Number(HKEY key, const char* valueName)
{
    DWORD value = 0, type = REG_NONE, size = sizeof value;
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? value : 0xDEADBEEFu;
}

// Opens a path below a root for the length of one check.
class OpenKey {
public:
    OpenKey(HKEY root, const char* path) { result = RegOpenKeyExA(root, path, 0, KEY_READ, &key); }
    ~OpenKey()
    {
        if (key != nullptr) RegCloseKey(key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY key = nullptr;
    LONG result;
};

TEST_F(RegistryTest, MatchesNamesInAnyCaseAndEnumeratesSubkeysAlphabetically)
{
    Write("a", "drivers.reg",
          "Windows Registry Editor Version 5.00\n"
          "\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Zeta]\n"
          "\"CLSID\"=\"{zeta}\"\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\alpha]\n"
          "\"Description\"=\"Alpha Card\"\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\_under]\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Beta2]\n"
          "[hkey_local_machine\\software\\asio\\BETA]\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Asio\\beta]\n"
          "\"x\"=\"second spelling, same key\"\n");
    ASSERT_EQ(Load({"a"}), "");

    OpenKey asio(HKEY_LOCAL_MACHINE, "software\\asio");
    ASSERT_EQ(asio.result, ERROR_SUCCESS);
    // Windows compares upper-cased names, so '_' (0x5f) comes after 'Z' (0x5a);
    // a name keeps the spelling it was first given.
    EXPECT_EQ(Subkeys(asio.key),
              (std::vector<std::string>{"alpha", "BETA", "Beta2", "Zeta", "_under"}));

    OpenKey zeta(asio.key, "ZETA");
    ASSERT_EQ(zeta.result, ERROR_SUCCESS);
    EXPECT_EQ(Text(zeta.key, "clsid"), "{zeta}");
    OpenKey alpha(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\ALPHA");
    EXPECT_EQ(Text(alpha.key, "description"), "Alpha Card");
    EXPECT_EQ(Text(alpha.key, "clsid"), "<error 2>");
    OpenKey beta(asio.key, "Beta");
    EXPECT_EQ(Text(beta.key, "X"), "second spelling, same key");

    OpenKey missing(asio.key, "Gamma");
    EXPECT_EQ(missing.result, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ReadsStringsDwordsDefaultValuesAndEscapes)
{
    Write("a", "values.reg",
          "REGEDIT4\n"
          "; a comment line\n"
          "   ; an indented one\n"
          "[HKEY_CLASSES_ROOT\\CLSID\\{ABC}\\InprocServer32]\n"
          "@=\"/usr/lib/tonewright/card.so\"\n"
          "\"ThreadingModel\" = \"Apartment\"\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Card]\n"
          "\"Path\"=\"C:\\\\dir\\\\file\"\n"
          "\"Quote\"=\"say \\\"hi\\\"\"\n"
          "\"Empty\"=\"\"\n"
          "\"Semi\"=\"a;b\"\n"
          "\"Channels\"=dword:0000000c\n"
          "\"Max\"=DWORD:FFFFFFFF\n"
          "\"Short\"=dword:1f\n"
          "\"with \\\"quotes\\\" name\"=\"odd\"\n");
    // Written by an editor on Windows: CR LF line ends.
    Write("a", "windows.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Crlf]\r\n\"Description\"=\"CR LF\"\r\n");
    ASSERT_EQ(Load({"a"}), "");

    OpenKey server(HKEY_CLASSES_ROOT, "clsid\\{abc}\\inprocserver32");
    ASSERT_EQ(server.result, ERROR_SUCCESS);
    EXPECT_EQ(Text(server.key, nullptr), "/usr/lib/tonewright/card.so");
    EXPECT_EQ(Text(server.key, ""), "/usr/lib/tonewright/card.so");
    EXPECT_EQ(Text(server.key, "threadingmodel"), "Apartment");

    OpenKey card(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Card");
    EXPECT_EQ(Text(card.key, "Path"), "C:\\dir\\file");
    EXPECT_EQ(Text(card.key, "Quote"), "say \"hi\"");
    EXPECT_EQ(Text(card.key, "Empty"), "");
    EXPECT_EQ(Text(card.key, "Semi"), "a;b");
    EXPECT_EQ(Text(card.key, "with \"quotes\" name"), "odd");
    EXPECT_EQ(Text(card.key, nullptr), "<error 2>") << "no default value was written";

    EXPECT_EQ(Number(card.key, "Channels"), 12u);
    EXPECT_EQ(Number(card.key, "Max"), 0xffffffffu);
    EXPECT_EQ(Number(card.key, "Short"), 31u);
    EXPECT_EQ(Text(card.key, "Channels"), "<type 4>");

    OpenKey crlf(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Crlf");
    EXPECT_EQ(Text(crlf.key, "Description"), "CR LF");
}

TEST_F(RegistryTest, ReportsTheSizeNeededWhenABufferIsTooSmall)
{
    Write("a", "sizes.reg", "[HKEY_LOCAL_MACHINE\\K]\n\"Six\"=\"abcdef\"\n\"N\"=dword:00000001\n");
    ASSERT_EQ(Load({"a"}), "");
    OpenKey k(HKEY_LOCAL_MACHINE, "K");

    BYTE buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD type = REG_NONE;
    DWORD size = 6;
    EXPECT_EQ(RegQueryValueExA(k.key, "Six", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(buffer[0], 'x') << "a refused buffer is left alone";
    size = 0;
    EXPECT_EQ(RegQueryValueExA(k.key, "Six", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, REG_SZ);
    size = 3;
    EXPECT_EQ(RegQueryValueExA(k.key, "N", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
}

TEST_F(RegistryTest, LaterFilesAndFoldersAddToAndOverrideEarlierOnes)
{
    Write("first", "10-base.reg",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Card]\n"
          "\"Description\"=\"base\"\n\"Rate\"=dword:0000ac44\n\"Gone\"=\"x\"\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Old]\n\"a\"=\"b\"\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Old\\Child]\n");
    Write("first", "20-override.reg",
          "[HKEY_LOCAL_MACHINE\\software\\asio\\CARD]\n"
          "\"description\"=\"override\"\n\"Gone\"=-\n\"Added\"=\"new\"\n"
          "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Old]\n"
          "\"ignored\"=\"under a removed key\"\n");
    Write("first", "30-not-a-reg-file.txt", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Txt]\n");
    Write("first", "40-upper.REG", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Upper]\n");
    // A later folder wins even though its file name sorts first.
    Write("second", "00-late.reg",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Card]\n\"Rate\"=dword:0000bb80\n");
    ASSERT_EQ(Load({"first", "no-such-folder", "second"}), "");

    OpenKey asio(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO");
    EXPECT_EQ(Subkeys(asio.key), (std::vector<std::string>{"Card"}));
    OpenKey card(asio.key, "Card");
    EXPECT_EQ(Text(card.key, "Description"), "override");
    EXPECT_EQ(Text(card.key, "Added"), "new");
    EXPECT_EQ(Text(card.key, "Gone"), "<error 2>");
    EXPECT_EQ(Number(card.key, "Rate"), 48000u);
}

TEST_F(RegistryTest, SkipsEachMalformedLineWithOneReportNamingFileAndLine)
{
    const std::vector<std::string> lines = {
        "Windows Registry Editor Version 5.00",                        // 1
        "\"Early\"=\"value before any key\"",                          // 2 bad
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]",                  // 3
        "\"One\"=\"1\"",                                               // 4
        "\"Unterminated\"=\"abc",                                      // 5 bad
        "\"Escape\"=\"a\\qb\"",                                        // 6 bad
        "\"Dword1\"=dword:xyz",                                        // 7 bad
        "\"Dword2\"=dword:123456789",                                  // 8 bad
        "\"Dword3\"=dword:",                                           // 9 bad
        std::string("\"Junk\"=\"a") + '\x01' + '\x02' + '\0' + "zz\"", // 10 bad
        "\"Binary\"=hex:01,02",                                        // 11 bad
        "\"NoEquals\" \"x\"",                                          // 12 bad
        "\"Trailing\"=\"b\" junk",                                     // 13 bad
        "garbage",                                                     // 14 bad
        "\"Two\"=\"2\"",                                               // 15
        "[HKEY_NOWHERE\\Foo]",                                         // 16 bad
        "\"UnderBadKey\"=\"skipped, not reported\"",                   // 17
        "[HKEY_LOCAL_MACHINE\\A\\\\B]",                                // 18 bad
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Unclosed",               // 19 bad
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]",                  // 20
        "\"Three\"=\"3\"",                                             // 21
        "REGEDIT4", // 22 bad: a header belongs first
    };
    const std::set<int> badLines = {2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 18, 19, 22};
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    const fs::path file = Write("a", "broken.reg", text);
    const fs::path utf16 = Write("a", "utf16.reg", std::string("\xff\xfe[\0H\0", 6));

    // One line for each bad line, and one for the whole UTF-16 file.
    const std::string reported = Load({"a"});
    std::istringstream stream(reported);
    std::set<int> seen;
    for (std::string line; std::getline(stream, line);)
        if (line.rfind(file.string() + ":", 0) == 0)
            seen.insert(std::atoi(line.c_str() + file.string().size() + 1));
    EXPECT_EQ(seen, badLines) << reported;
    EXPECT_EQ(std::count(reported.begin(), reported.end(), '\n'), 16) << reported;
    EXPECT_NE(reported.find(utf16.string() + ":1: UTF-16"), std::string::npos) << reported;

    // The rest of the file loaded, and nothing is said again on later use.
    testing::internal::CaptureStderr();
    {
        OpenKey good(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Good");
        EXPECT_EQ(Text(good.key, "One"), "1");
        EXPECT_EQ(Text(good.key, "Two"), "2");
        EXPECT_EQ(Text(good.key, "Three"), "3");
        EXPECT_EQ(Text(good.key, "Unterminated"), "<error 2>");
        EXPECT_EQ(Text(good.key, "UnderBadKey"), "<error 2>");
        OpenKey asio(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO");
        EXPECT_EQ(Subkeys(asio.key), (std::vector<std::string>{"Good"}));
        OpenKey a(HKEY_LOCAL_MACHINE, "A");
        EXPECT_EQ(a.result, ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(RegistryTest, LargeFilesLoadWithCappedReportsAndOversizedOnesAreSkipped)
{
    // About 1 MB: a key path too deep, 12,000 values under one key, 24 bad lines.
    std::string text = "[HKEY_LOCAL_MACHINE";
    for (int level = 0; level < 513; ++level)
        text += "\\k";
    text += "]\n[HKEY_LOCAL_MACHINE\\Bulk]\n";
    for (int i = 0; i < 12000; ++i)
        text +=
            "\"V" + std::to_string(i) + "\"=\"" + std::string(70, 'x') + std::to_string(i) + "\"\n";
    for (int i = 0; i < 24; ++i)
        text += "garbage\n";
    const std::string bulk = Write("a", "bulk.reg", text).string();
    // Too large to be read at all, so a sparse file will do.
    const fs::path huge = Write("a", "huge.reg", "");
    fs::resize_file(huge, (16u << 20) + 1);

    std::string expected = bulk + ":1: key path deeper than 512 levels; line skipped\n";
    for (int line = 12003; line < 12022; ++line)
        expected += bulk + ":" + std::to_string(line) + ": not a key or value line; line skipped\n";
    expected +=
        "... and 5 more in " + bulk + "\n" + huge.string() + ": larger than 16 MB; file skipped\n";
    EXPECT_EQ(Load({"a"}), expected);
    OpenKey key(HKEY_LOCAL_MACHINE, "bulk");
    for (int i : {0, 6543, 11999})
        EXPECT_EQ(Text(key.key, ("v" + std::to_string(i)).c_str()),
                  std::string(70, 'x') + std::to_string(i));
}

TEST_F(RegistryTest, ChecksHandlesAndRefusesWriteAccess)
{
    Write("a", "k.reg", "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"before\"\n");
    ASSERT_EQ(Load({"a"}), "");

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ | KEY_SET_VALUE, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);

    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_EQ(Text(again, "v"), "before");
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(Text(again, "v"), "<error 6>");

    // A key held across a reload is stale, not dangling.
    Write("a", "k.reg", "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"after\"\n");
    ASSERT_EQ(Load({"a"}), "");
    EXPECT_EQ(Text(key, "v"), "<error 1018>");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    OpenKey fresh(HKEY_LOCAL_MACHINE, "K");
    EXPECT_EQ(Text(fresh.key, "v"), "after");
}

TEST_F(RegistryTest, ReadsTheInstalledFoldersUnlessTheVariableNamesOthers)
{
    unsetenv("TONEWRIGHT_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    const std::vector<std::string> folders = RegistryFolders();
    ASSERT_EQ(folders.size(), 4u);
    // The first is beside this very test program; an installation's is the second
    // (install-test.sh).
    EXPECT_EQ(fs::path(folders[0]).filename(), "registry.d");
    EXPECT_TRUE(fs::exists(fs::path(folders[0]).parent_path() / "test_registry")) << folders[0];
    EXPECT_EQ(folders[2], "/etc/tonewright/registry.d");
    EXPECT_EQ(folders[3], "/cfg/tonewright/registry.d");

    setenv("TONEWRIGHT_REGISTRY", "/x::/y:", 1);
    EXPECT_EQ(RegistryFolders(), (std::vector<std::string>{"/x", "/y"}));

    // Set but empty: no folder at all, so an empty registry.
    setenv("TONEWRIGHT_REGISTRY", "", 1);
    RegistryReload();
    char name[8];
    EXPECT_EQ(RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);
}

} // namespace
