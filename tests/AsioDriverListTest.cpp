#include "host/AsioDriverList.h"

#include "log/DebugLog.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

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
    // A server file that exists, registered for the class.
    std::string Server(const char* clsid, const std::string& fileName)
    {
        const fs::path path = m_dir / fileName;
        std::ofstream(path) << "not a real module";
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
        AsioDriverList list;
        ASSERT_EQ(list.asioDriverCount(), 2);
        char name[128];
        ASSERT_EQ(list.asioDriverName(0, name, sizeof name), 0);
        EXPECT_STREQ(name, "Alpha Card");
        ASSERT_EQ(list.asioDriverName(1, name, sizeof name), 0);
        EXPECT_STREQ(name, "Gamma"); // no description: the subkey's name
        EXPECT_EQ(list.asioDriverName(2, name, sizeof name), DRIVER_ERR_NOT_FOUND);
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
    char name[64];
    ASSERT_EQ(list.asioDriverName(0, name, 32), 0);
    EXPECT_EQ(std::string(name), forty.substr(0, 28) + "...");
    ASSERT_EQ(list.asioDriverName(0, name, 41), 0);
    EXPECT_EQ(std::string(name), forty);
    ASSERT_EQ(list.asioDriverName(0, name, 40), 0);
    EXPECT_EQ(std::string(name), forty.substr(0, 36) + "...");
    // Too small for the ellipsis: what fits, never a negative count.
    std::memset(name, 'z', sizeof name);
    ASSERT_EQ(list.asioDriverName(0, name, 3), 0);
    EXPECT_STREQ(name, "A ");
    EXPECT_EQ(name[3], 'z');
    ASSERT_EQ(list.asioDriverName(0, name, 1), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(list.asioDriverName(0, name, 0), DRIVER_ERR_INVALID_PARAM);
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

TEST_F(AsioDriverListTest, OpeningPassesCreationFailuresOn)
{
    Install(Server(kClsidA, "a.so") + Driver("Card", kClsidA, nullptr) +
            Driver("Zero", "not a clsid", nullptr));
    // "not a clsid" has no registration, so only Card is listed.
    AsioDriverList list;
    ASSERT_EQ(list.asioDriverCount(), 1);
    IASIO* driver = nullptr;
    EXPECT_EQ(list.asioOpenDriver(0, nullptr), DRIVER_ERR_INVALID_PARAM);
    EXPECT_EQ(list.asioOpenDriver(1, &driver), DRIVER_ERR_NOT_FOUND);
    // The server file exists but is no loadable module.
    EXPECT_EQ(list.asioOpenDriver(0, &driver), CO_E_DLLNOTFOUND);
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(list.head->driver, nullptr);
}

TEST_F(AsioDriverListTest, ARegisteredModuleOpensOnceAndIsReleasedByTheList)
{
    setenv("TONEWRIGHT_REGISTRY", TONEWRIGHT_TEST_REGISTRY, 1);
    RegistryReload();
    AsioDriverList list;
    int testDriver = -1;
    char name[128];
    for (int i = 0; i < list.asioDriverCount(); ++i)
        if (list.asioDriverName(i, name, sizeof name) == 0 &&
            std::string(name).find("Test") != std::string::npos)
            testDriver = i;
    ASSERT_GE(testDriver, 0) << "the build's registry.d lists no test driver";
    IASIO* driver = nullptr;
    ASSERT_EQ(list.asioOpenDriver(testDriver, &driver), 0);
    ASSERT_NE(driver, nullptr);
    IASIO* again = reinterpret_cast<IASIO*>(0x1);
    EXPECT_EQ(list.asioOpenDriver(testDriver, &again), DRIVER_ERR_ALREADY_OPEN);
    EXPECT_EQ(again, reinterpret_cast<IASIO*>(0x1));
    char driverName[128] = {};
    driver->getDriverName(driverName);
    EXPECT_NE(std::string(driverName), "");
    // The list's destructor releases the object and ends the use of COM.
}

TEST_F(AsioDriverListTest, NoAsioKeyGivesAnEmptyList)
{
    Install("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"x\"=\"y\"\n");
    AsioDriverList list;
    EXPECT_EQ(list.asioDriverCount(), 0);
    EXPECT_EQ(list.head, nullptr);
    IASIO* driver = nullptr;
    EXPECT_EQ(list.asioOpenDriver(0, &driver), DRIVER_ERR_NOT_FOUND);
}

} // namespace
