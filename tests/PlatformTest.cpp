// The platform layer: the registry read from .reg files (what they say, in
// any case and load order, through the Windows-shaped calls, and what is
// said about lines skipped), the CLSID text form, and the object loader on a
// real module, the test driver's, registered under classes of the test's own.
#include "drivers/testdriver/TestDriverScript.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }
    // Writes each file, then loads the folders named and gives what was said on stderr.
    std::string Load(const Names& files, const std::string& folders)
    {
        for (size_t i = 0; i + 1 < files.size(); i += 2) {
            fs::create_directories((root / files[i]).parent_path());
            std::ofstream(root / files[i], std::ios::binary) << files[i + 1];
        }
        std::string list, folder;
        for (std::stringstream in(folders); std::getline(in, folder, ':');)
            list += (list.empty() ? "" : ":") + (root / folder).string();
        setenv("TONEWRIGHT_REGISTRY", list.c_str(), 1);
        testing::internal::CaptureStderr();
        RegistryReload();
        return testing::internal::GetCapturedStderr();
    }
    ScratchFolder scratch{"tonewright-platform"};
    const fs::path& root = scratch.Path();
};

// A value as text: the string, "#n" for a number, or "<error n>".
std::string Value(HKEY key, const char* name)
{
    char buffer[512] = {};
    DWORD type = REG_NONE, size = sizeof buffer;
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) return "<error " + std::to_string(result) + ">";
    DWORD number = 0;
    std::memcpy(&number, buffer, sizeof number);
    if (type == REG_DWORD && size == 4) return "#" + std::to_string(number);
    return size == std::strlen(buffer) + 1 ? buffer : "<size " + std::to_string(size) + ">";
}

struct Key {
    Key(HKEY root, const char* path) { result = RegOpenKeyExA(root, path, 0, KEY_READ, &key); }
    ~Key() { RegCloseKey(key); }
    Names Subkeys() const
    {
        Names names;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            names.emplace_back(name);
        return names;
    }
    HKEY key = nullptr;
    LONG result;
};

TEST_F(RegistryTest, ReadsValuesAndNamesInAnyCaseLaterFilesOverridingEarlierOnes)
{
    const std::string asio = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\";
    ASSERT_EQ(
        Load(
            {"a/10-base.reg",
             "Windows Registry Editor Version 5.00\n\n; a comment\n   ; an indented one\n"
             "[HKEY_CLASSES_ROOT\\CLSID\\{ABC}\\InprocServer32]\n@=\"/lib/card.so\"\n"
             "\"ThreadingModel\" = \"Apartment\"\n" +
                 asio +
                 "Card]\n\"Path\"=\"C:\\\\dir\\\\file\"\n\"Quote\"=\"say \\\"hi\\\"\"\n"
                 "\"Empty\"=\"\"\n\"Semi\"=\"a;b\"\n\"Channels\"=dword:0000000c\n"
                 "\"Max\"=DWORD:FFFFFFFF\n\"Short\"=dword:1f\n\"Gone\"=\"x\"\n"
                 "\"with \\\"quotes\\\" name\"=\"odd\"\n\"Description\"=\"base\"\n" +
                 asio + "zeta]\n" + asio + "_under]\n" + asio + "Old]\n" + asio + "Old\\Child]\n",
             // Written by an editor on Windows: CR LF line ends.
             "a/20-more.reg",
             "REGEDIT4\r\n[hkey_local_machine\\software\\asio\\CARD]\r\n\"description\"=\"new\"\r\n"
             "\"Gone\"=-\r\n[HKEY_LOCAL_MACHINE\\Software\\Asio\\beta]\r\n"
             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Old]\r\n\"x\"=\"under a removed key\"\r\n",
             "a/30-not-a-reg-file.txt", asio + "Txt]\n", "a/40-upper.REG", asio + "Upper]\n",
             // A later folder wins though its file name sorts first.
             "b/00-late.reg", asio + "Card]\n\"Channels\"=dword:00000010\n"},
            "a:no-such-folder:b"),
        "");
    const Key server(HKEY_CLASSES_ROOT, "clsid\\{abc}\\inprocserver32");
    EXPECT_EQ(Value(server.key, nullptr), "/lib/card.so");
    EXPECT_EQ(Value(server.key, ""), "/lib/card.so");
    EXPECT_EQ(Value(server.key, "threadingmodel"), "Apartment");
    // Windows compares upper-cased names, so '_' (0x5f) comes after 'Z' (0x5a);
    // a name keeps the spelling it was first given.
    const Key all(HKEY_LOCAL_MACHINE, "software\\asio");
    EXPECT_EQ(all.Subkeys(), (Names{"beta", "Card", "zeta", "_under"}));
    const Key card(all.key, "CARD");
    Names values;
    for (const char* name : {"Path", "Quote", "Empty", "Semi", "Channels", "Max", "Short", "Gone",
                             "with \"quotes\" name", "DESCRIPTION", ""})
        values.push_back(Value(card.key, name));
    EXPECT_EQ(values, (Names{"C:\\dir\\file", "say \"hi\"", "", "a;b", "#16", "#4294967295", "#31",
                             "<error 2>", "odd", "new", "<error 2>"}));
    // A buffer too small is left alone, and the size needed is told.
    BYTE buffer[4] = {'x'};
    DWORD type = REG_NONE, size = 3;
    EXPECT_EQ(RegQueryValueExA(card.key, "Path", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(buffer[0], 'x');
    size = 0;
    EXPECT_EQ(RegQueryValueExA(card.key, "Max", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
}

TEST_F(RegistryTest, SkipsEachMalformedLineWithOneReportNamingFileAndLine)
{
    // Lines 2, 5 to 13, 15, 17, 18 and 21 are bad; 16 goes with the bad key before it.
    std::string text =
        "Windows Registry Editor Version 5.00\n\"Early\"=\"before any key\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]\n\"One\"=\"1\"\n\"Open\"=\"abc\n"
        "\"Escape\"=\"a\\qb\"\n\"D1\"=dword:xyz\n\"D2\"=dword:123456789\n\"Junk\"=\"a\x01\x02\"\n"
        "\"Binary\"=hex:01,02\n\"NoEquals\" \"x\"\n\"Trailing\"=\"b\" "
        "junk\ngarbage\n\"Two\"=\"2\"\n"
        "[HKEY_NOWHERE\\Foo]\n\"Under\"=\"skipped, not reported\"\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Unclosed\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]"
        "\n"
        "\"Three\"=\"3\"\nREGEDIT4\n";
    const std::string reported =
        Load({"a/broken.reg", text, "a/utf16.reg", std::string("\xff\xfe[\0H\0", 6)}, "a");
    std::string expected;
    for (int bad : {2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17, 18, 21})
        expected += (root / "a/broken.reg").string() + ":" + std::to_string(bad) + ": ";
    std::string seen;
    for (std::stringstream in(reported); std::getline(in, text);)
        seen += text.substr(0, text.find(": ", text.find(".reg:")) + 2);
    EXPECT_EQ(seen, expected + (root / "a/utf16.reg").string() + ":1: ") << reported;
    // The rest of the file loaded, and nothing is said again on later use.
    testing::internal::CaptureStderr();
    const Key good(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Good");
    EXPECT_EQ(Value(good.key, "One") + Value(good.key, "Two") + Value(good.key, "Three"), "123");
    EXPECT_EQ(Value(good.key, "Under"), "<error 2>");
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO").Subkeys(), Names{"Good"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(RegistryTest, KeepsHandlesSafeAcrossReloadsAndReadsTheInstalledFolders)
{
    ASSERT_EQ(Load({"a/k.reg", "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"before\"\n"}, "a"), "");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    EXPECT_EQ(Value(Key(key, nullptr).key, "v"), "before"); // no path: the key itself
    ASSERT_EQ(Load({"a/k.reg", "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"after\"\n"}, "a"), "");
    EXPECT_EQ(Value(key, "v"), "<error 1018>"); // stale, not dangling
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Value(key, "v"), "<error 6>");
    EXPECT_EQ(Value(Key(HKEY_LOCAL_MACHINE, "K").key, "v"), "after");

    unsetenv("TONEWRIGHT_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    const Names folders = RegistryFolders();
    ASSERT_EQ(folders.size(), 4u);
    // Beside this very test program, then an installation's (install-test.sh).
    EXPECT_TRUE(fs::exists(fs::path(folders[0]).parent_path() / "test_platform")) << folders[0];
    EXPECT_EQ(fs::path(folders[0]).filename(), "registry.d");
    EXPECT_EQ(folders[2], "/etc/tonewright/registry.d");
    EXPECT_EQ(folders[3], "/cfg/tonewright/registry.d");
    setenv("TONEWRIGHT_REGISTRY", "/x::/y:", 1);
    EXPECT_EQ(RegistryFolders(), (Names{"/x", "/y"}));
}

TEST(ClsidText, ParsesOnlyTheBracedFormIntoItsFieldsInEitherCase)
{
    const GUID expected = {
        0x12345678, 0x9abc, 0xdef0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}};
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", &parsed), S_OK);
    EXPECT_EQ(parsed, expected);
    parsed = CLSID_NULL;
    ASSERT_EQ(CLSIDFromString(L"{12345678-9abc-def0-1234-56789abcdef0}", &parsed), S_OK);
    EXPECT_EQ(parsed, expected);
    char text[kGuidStringSize];
    EXPECT_EQ(StringFromGUID2(expected, text, sizeof text), 39);
    EXPECT_STREQ(text, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
    // Every other form is refused and clears the result: no braces, one
    // missing, text around it, a hyphen missing or moved, no hex digit, a
    // digit short, a prefix, a byte above 0x7f.
    for (const char* bad :
         {"12345678-9ABC-DEF0-1234-56789ABCDEF0", "{12345678-9ABC-DEF0-1234-56789ABCDEF0",
          "{12345678-9ABC-DEF0-1234-56789ABCDEF0}x", " {12345678-9ABC-DEF0-1234-56789ABCDEF0}",
          "{12345678-9ABC-DEF0-123456789ABCDEF0}", "{1234567-89ABC-DEF0-1234-56789ABCDEF0}",
          "{12345678-9ABC-DEF0-1234-56789ABCDEFG}", "{12345678-9ABC-DEF0-1234-56789ABCDEF}",
          "{0x345678-9ABC-DEF0-1234-56789ABCDEF0}",
          "{12345678-9ABC-DEF0-1234-56789ABC\xb0"
          "F0}",
          ""}) {
        parsed = {0xffffffff, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
        EXPECT_EQ(CLSIDFromString(bad, &parsed), CO_E_CLASSSTRING) << bad;
        EXPECT_EQ(parsed, CLSID_NULL) << bad;
    }
    // A wide character whose low byte is a digit is still not a digit.
    EXPECT_EQ(CLSIDFromString(L"{12345678-9ABC-DEF0-1234-56789ABCDEF\x0130}", &parsed),
              CO_E_CLASSSTRING);
}

const CLSID& kDriver = CLSID_TonewrightTestDriver;

constexpr CLSID ClassNumbered(uint8_t last)
{
    return {0x6a1e0c3b, 0x2f47, 0x4d8a, {0x9b, 0x10, 0x0c, 0x5e, 0x7f, 0x3a, 0x2b, last}};
}

// Whether the dynamic loader holds the test driver's module, asked without loading it.
bool ModuleLoaded()
{
    void* handle = dlopen(TONEWRIGHT_TEST_DRIVER_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

// The module under the test driver's class and the classes 2B01 (which it
// does not serve) and 2B02 to 2B06: no such file, no library, a library
// without the export, a class key without server key, a server key without path.
class InprocObjectsTest : public RegistryTest {
protected:
    void SetUp() override
    {
        Dl_info library{};
        ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::terminate), &library), 0);
        const std::string prefix =
            "[HKEY_CLASSES_ROOT\\CLSID\\{6A1E0C3B-2F47-4D8A-9B10-0C5E7F3A2B0";
        std::string text =
            "[HKEY_CLASSES_ROOT\\CLSID\\{379E0702-5E41-4909-A9CD-3CD2C5626A87}\\InprocServer32]\n";
        const std::string paths[] = {TONEWRIGHT_TEST_DRIVER_MODULE,
                                     "/nonexistent/no-such-module.so",
                                     (root / "a/classes.reg").string(), library.dli_fname};
        text += "@=\"" + paths[0] + "\"\n";
        for (int i = 0; i < 4; ++i)
            text += prefix + std::to_string(i + 1) + "}\\InprocServer32]\n@=\"" + paths[i] + "\"\n";
        text += prefix + "5}]\n@=\"No server\"\n" + prefix + "6}\\InprocServer32]\n\"T\"=\"x\"\n";
        ASSERT_EQ(Load({"a/classes.reg", text}, "a"), "");
        ASSERT_FALSE(ModuleLoaded());
    }
    static HRESULT Create(void** object, REFCLSID clsid = CLSID_TonewrightTestDriver,
                          REFIID iid = CLSID_TonewrightTestDriver, IUnknown* outer = nullptr,
                          DWORD context = CLSCTX_INPROC_SERVER)
    {
        return CoCreateInstance(clsid, outer, context, iid, object);
    }
};

TEST_F(InprocObjectsTest, CreatesAnObjectAndUnloadsItsModuleAtTheLastUninitializeUnlessOneLives)
{
    void* object = nullptr;
    EXPECT_EQ(Create(&object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    ASSERT_EQ(Create(&object), S_OK);
    EXPECT_EQ(static_cast<IASIO*>(object)->getDriverVersion(), 1);
    static_cast<IASIO*>(object)->Release();
    CoUninitialize();
    EXPECT_TRUE(ModuleLoaded()) << "unloaded before the last uninitialize";
    CoUninitialize();
    EXPECT_FALSE(ModuleLoaded());
    // Extra calls are ignored rather than counted below zero.
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    // An object alive at the last uninitialize keeps its module loaded and
    // callable; the next last uninitialize closes it.
    ASSERT_EQ(Create(&object), S_OK);
    testing::internal::CaptureStderr();
    CoUninitialize();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stays loaded"), std::string::npos);
    EXPECT_EQ(static_cast<IASIO*>(object)->getDriverVersion(), 1);
    static_cast<IASIO*>(object)->Release();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_FALSE(ModuleLoaded());
}

TEST_F(InprocObjectsTest, EachFailureGivesItsOwnCodeAndReasonAndNoObject)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    void* outer = nullptr; // any object will do: it must not be touched
    ASSERT_EQ(Create(&outer), S_OK);
    void* module = dlopen(TONEWRIGHT_TEST_DRIVER_MODULE, RTLD_NOW | RTLD_NOLOAD);
    auto* script =
        reinterpret_cast<TestDriverScriptOfFunction*>(dlsym(module, "TestDriverScriptOf"))();
    const CLSID& driver = kDriver;
    const auto fails = [&](HRESULT code, const char* words, REFCLSID clsid, REFIID iid = kDriver,
                           bool aggregate = false, DWORD context = CLSCTX_INPROC_SERVER) {
        void* object = reinterpret_cast<void*>(0x1);
        IUnknown* outerObject = aggregate ? static_cast<IUnknown*>(outer) : nullptr;
        EXPECT_EQ(Create(&object, clsid, iid, outerObject, context), code) << words;
        EXPECT_EQ(object, nullptr) << words;
        EXPECT_NE(std::string(CoCreateInstanceFailure()).find(words), std::string::npos)
            << CoCreateInstanceFailure();
    };
    fails(REGDB_E_CLASSNOTREG, "class {6A1E0C3B-2F47-4D8A-9B10-0C5E7F3A2B99} has no module",
          ClassNumbered(0x99));
    fails(REGDB_E_CLASSNOTREG, "2B05} has no module", ClassNumbered(0x05));
    fails(REGDB_E_CLASSNOTREG, "2B06} has no module", ClassNumbered(0x06));
    fails(CO_E_DLLNOTFOUND,
          "module /nonexistent/no-such-module.so does not load: ", ClassNumbered(0x02));
    fails(CO_E_DLLNOTFOUND, "classes.reg does not load: ", ClassNumbered(0x03));
    fails(CO_E_ERRORINDLL, "has no DllGetClassObject", ClassNumbered(0x04));
    fails(CLASS_E_CLASSNOTAVAILABLE,
          "2B01} (code 0x80040111, the module does not serve this class)", ClassNumbered(0x01));
    fails(CLASS_E_NOAGGREGATION, "aggregation", driver, driver, true);
    fails(REGDB_E_CLASSNOTREG, "only in-process", driver, driver, false, CLSCTX_LOCAL_SERVER);
    fails(E_NOINTERFACE, "not offered", driver, IID_IClassFactory);
    script->createResult = MakeHResult(0x8004A001u); // no loader path makes it
    fails(script->createResult, "refused to create the object (code 0x8004A001)", driver);
    EXPECT_EQ(Create(nullptr), E_POINTER);
    static_cast<IUnknown*>(outer)->Release();
    EXPECT_EQ(script->LiveDrivers(), 0);
    dlclose(module);
    CoUninitialize();
    EXPECT_FALSE(ModuleLoaded());
}

} // namespace
