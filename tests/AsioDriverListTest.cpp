#include "host/AsioDriverList.h"

#include "drivers/testdriver/TestDriverScript.h"
#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char kClsidA[] = "{11111111-2222-3333-4444-555555555555}";
const char kClsidB[] = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
const char kClsidC[] = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

std::string Slashes(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// Each test writes its own registry into a fresh folder and works there, so
// the log lands beside it.
class AsioDriverListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(m_dir / "registry.d");
        setenv("TONEWRIGHT_REGISTRY", (m_dir / "registry.d").c_str(), 1);
    }
    void TearDown() override
    {
        DbgLogClose();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }
    // A server file, registered for the class; it exists unless told otherwise.
    std::string Server(const char* clsid, const std::string& fileName, bool exists = true)
    {
        const fs::path path = fileName[0] == '/' ? fs::path(fileName) : m_dir / fileName;
        if (exists && fileName[0] != '/') std::ofstream(path) << "not a real module";
        return "[HKEY_CLASSES_ROOT\\CLSID\\" + std::string(clsid) + "\\InprocServer32]\n@=\"" +
               Slashes(path.string()) + "\"\n";
    }
    static std::string Driver(const std::string& key, const char* clsid, const char* description)
    {
        std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + key + "]\n";
        if (clsid != nullptr) text += "\"CLSID\"=\"" + std::string(clsid) + "\"\n";
        if (description != nullptr)
            text += "\"Description\"=\"" + std::string(description) + "\"\n";
        return text;
    }
    void Install(const std::string& text)
    {
        std::ofstream(m_dir / "registry.d" / "drivers.reg") << text;
        RegistryReload();
    }
    std::string LogText()
    {
        DbgLogClose();
        std::ifstream in(m_dir / "Dbg.Log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    ScratchFolder m_scratch{"tonewright-drivers"};
    const fs::path& m_dir = m_scratch.Path();
};

TEST_F(AsioDriverListTest, SkippedDriversKeepTheNumberingDenseAndAreLogged)
{
    Install(Server(kClsidA, "a.so") + Server(kClsidC, "c.so") +
            Driver("Alpha", kClsidA, "Alpha Card") + Driver("Beta", nullptr, "No CLSID") +
            Driver("Gamma", kClsidC, nullptr) + Driver("Delta", kClsidB, "Not registered"));
    DbgLogOpen();
    {
        AsioDriverList list; // Gamma has no description: the subkey's name, as logged below
        ASSERT_EQ(list.asioDriverCount(), 2);
        EXPECT_EQ(list.asioDriverNotes(),
                  (std::vector<std::string>{
                      "Driver \"Beta\" is left out: it has no CLSID value",
                      "Driver \"Delta\" is left out: its class " + std::string(kClsidB) +
                          " is not registered under HKEY_CLASSES_ROOT\\CLSID"}));
        EXPECT_EQ(list.head->id, 0);
        EXPECT_EQ(list.head->next->id, 1);
        CLSID expected{};
        ASSERT_EQ(CLSIDFromString(L"{12345678-9abc-def0-1234-56789abcdef0}", &expected), S_OK);
        EXPECT_TRUE(list.head->next->clsid == expected);
    }
    const std::string log = LogText();
    const std::string expected = "Enumerating ASIO Drivers...\n\n"
                                 "numDev: 0\nAlpha Card\n" +
                                 (m_dir / "a.so").string() +
                                 "\n\n"
                                 "numDev: 1\nGamma\n" +
                                 (m_dir / "c.so").string() + "\n\nAsioDriverList destruction.\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST_F(AsioDriverListTest, ASubkeyNameOf128CharactersEndsTheEnumeration)
{
    Install(Server(kClsidA, "a.so") + Server(kClsidB, "b.so") + Server(kClsidC, "c.so") +
            Driver("A first", kClsidA, nullptr) +
            Driver("B" + std::string(127, 'x'), kClsidB, nullptr) +
            Driver("C last", kClsidC, nullptr));
    AsioDriverList list;
    EXPECT_EQ(list.asioDriverCount(), 1);

    Install(Server(kClsidA, "a.so") + Driver("B" + std::string(126, 'x'), kClsidA, nullptr));
    AsioDriverList fits;
    EXPECT_EQ(fits.asioDriverCount(), 1);
}

TEST_F(AsioDriverListTest, NamesAndPathsAreCutAsTheBufferDemands)
{
    const std::string forty = "A driver name of exactly forty character";
    ASSERT_EQ(forty.size(), 40u);
    Install(Server(kClsidA, "a.so") + Driver("Card", kClsidA, forty.c_str()));
    AsioDriverList list;
    ASSERT_EQ(list.asioDriverCount(), 1);
    // Below 4 characters there is no room for the ellipsis: what fits.
    const struct {
        int size;
        std::string name;
    } cuts[] = {{41, forty},
                {40, forty.substr(0, 36) + "..."},
                {32, forty.substr(0, 28) + "..."},
                {3, "A "},
                {1, ""}};
    for (const auto& cut : cuts) {
        char name[64];
        ASSERT_EQ(list.asioDriverName(0, name, cut.size), 0);
        EXPECT_EQ(name, cut.name) << cut.size;
    }
    EXPECT_EQ(list.asioDriverName(0, nullptr, 10), DRIVER_ERR_INVALID_PARAM);

    const std::string path = (m_dir / "a.so").string();
    char text[512];
    ASSERT_EQ(list.asioDriverPath(0, text, static_cast<int>(path.size() + 1)), 0);
    EXPECT_EQ(std::string(text), path);
    EXPECT_EQ(list.asioDriverPath(0, text, static_cast<int>(path.size())),
              DRIVER_ERR_INVALID_PARAM);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(list.asioDriverPath(3, text, sizeof text), DRIVER_ERR_NOT_FOUND);
}

TEST_F(AsioDriverListTest, EveryUnusableDriverSaysWhyAndSuccessCodesKeepTheObject)
{
    // Beside the test driver's own key: a CLSID text that is no class id, a missing module, a
    // library that is no driver, and more drivers than the host uses.
    setenv("TONEWRIGHT_REGISTRY",
           ((m_dir / "registry.d").string() + ":" + TONEWRIGHT_TEST_REGISTRY).c_str(), 1);
    Dl_info library{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::terminate), &library), 0);
    const char kTestDriver[] = "{379E0702-5E41-4909-A9CD-3CD2C5626A87}";
    std::string text = Server("{not a class id}", "bad.so") + Server(kClsidA, "gone.so", false) +
                       Server(kClsidB, library.dli_fname) + Driver("A", "{not a class id}", 0) +
                       Driver("B", kClsidA, 0) + Driver("C", kClsidB, 0) +
                       Driver("D", kTestDriver, 0) + Driver("E", kTestDriver, 0);
    for (char last = 'a'; last <= 'n'; ++last)
        text += Driver(std::string("Z") + last, kTestDriver, nullptr);
    Install(text);
    const std::vector<std::string> notes = {
        "Driver \"B\" is left out: its module file " + (m_dir / "gone.so").string() +
            ": No such file or directory",
        "19 drivers are registered, but only the first 16 can be used; left out: 16 \"Zl\", 17 "
        "\"Zm\", 18 \"Zn\""};
    char module[512] = {};
    void* handle = nullptr; // the test driver's, the same the loader gets
    TestDriverScript* script = nullptr;
    DbgLogOpen();
    {
        AsioDriverList list; // A C D E, the test driver's own key, Za to Zn
        ASSERT_EQ(list.asioDriverCount(), 19);
        EXPECT_EQ(list.asioDriverNotes(), notes);
        ASSERT_EQ(list.asioDriverPath(2, module, sizeof module), 0);
        handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        script =
            reinterpret_cast<TestDriverScriptOfFunction*>(dlsym(handle, "TestDriverScriptOf"))();
        script->Reset();
        const struct {
            HRESULT scripted;
            int32_t opened;
            std::string words; // of the failure's text; none after a success
        } cases[] = {
            {S_OK, REGDB_E_CLASSNOTREG,
             "its CLSID \"{not a class id}\" is not in the {8-4-4-4-12} form"},
            {S_OK, CO_E_ERRORINDLL,
             "module " + std::string(library.dli_fname) + " has no DllGetClassObject"},
            {E_FAIL, E_FAIL, "refused to create the object (code 0x80004005, unspecified failure)"},
            {S_FALSE, 0, ""},
        };
        for (int index = 0; index < 4; ++index) {
            script->createResult = cases[index].scripted;
            IASIO* driver = nullptr;
            EXPECT_EQ(list.asioOpenDriver(index, &driver), cases[index].opened) << index;
            const std::string failure = list.asioDriverFailure(index);
            const std::string& words = cases[index].words;
            EXPECT_TRUE(words.empty() ? failure.empty() : failure.find(words) != std::string::npos)
                << failure;
            list.asioLogDriverFailure(index);
        }
        IASIO* again = reinterpret_cast<IASIO*>(0x1);
        EXPECT_EQ(list.asioOpenDriver(3, &again), DRIVER_ERR_ALREADY_OPEN);
        EXPECT_EQ(again, reinterpret_cast<IASIO*>(0x1));
        EXPECT_EQ(list.asioOpenDriver(0, nullptr), DRIVER_ERR_INVALID_PARAM);
        EXPECT_EQ(list.asioOpenDriver(19, &again), DRIVER_ERR_NOT_FOUND);
    }
    EXPECT_EQ(script->LiveDrivers(), 0) << "the object that came with S_FALSE was not released";
    script->Reset();
    dlclose(handle);
    const std::string log = LogText();
    EXPECT_NE(log.find(notes[0] + "\n" + notes[1] + "\nEnumerating ASIO Drivers..."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Driver 2 \"D\" cannot be used: module " + std::string(module) +
                       " refused to create the object"),
              std::string::npos)
        << log;
}

} // namespace
