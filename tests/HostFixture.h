// What the host tests share: a scratch working folder (log and
// configuration file land there), a registry folder of their own whose
// drivers are the scriptable test driver, fake combo boxes and dialog, and
// the whole debug log read back for comparison.
#pragma once

#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"
#include "tests/TestDriverModule.h"
#include "tests/fixtures/FakeWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = OpenTestDriverScript();
        ASSERT_NE(script, nullptr) << "test driver module: " << dlerror();
        script->Reset();
        std::filesystem::create_directory(dir / "registry.d");
        setenv("TONEWRIGHT_REGISTRY", (dir / "registry.d").c_str(), 1);
        RegistryReload();
        DbgLogOpen();
    }

    void TearDown() override
    {
        ASIOHostShutdown(true);
        DbgLogClose();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    // One ASIO key per name, in this order when the names sort that way. A
    // name starting with '!' (dropped from the key) is registered to a file
    // that is no module, so the driver is listed but never opens. "key|text"
    // gives the key a description of its own.
    void Install(const std::vector<std::string>& names)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CLASSES_ROOT\\CLSID\\" +
                           std::string(kTestClsid) + "\\InprocServer32]\n@=\"" +
                           std::string(TONEWRIGHT_TEST_DRIVER_MODULE) + "\"\n\n" +
                           "[HKEY_CLASSES_ROOT\\CLSID\\" + kBrokenClsid +
                           "\\InprocServer32]\n@=\"" + (dir / "broken.so").string() + "\"\n\n";
        std::ofstream(dir / "broken.so") << "not a module";
        for (const std::string& name : names) {
            const bool broken = !name.empty() && name[0] == '!';
            std::string key = broken ? name.substr(1) : name;
            std::string description = key;
            if (const size_t bar = key.find('|'); bar != std::string::npos) {
                description = key.substr(bar + 1);
                key.resize(bar);
            }
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + key + "]\n\"CLSID\"=\"" +
                    (broken ? kBrokenClsid : kTestClsid) + "\"\n\"Description\"=\"" + description +
                    "\"\n\n";
        }
        std::ofstream(dir / "registry.d" / "drivers.reg") << text;
        RegistryReload();
    }

    // Start-up and setup as the dialog runs them.
    bool StartHost(int32_t requested = -1)
    {
        if (!ASIOHostInit(&driverCombo, requested)) return false;
        return ASIOSelectDriver(&dialog, &outputCombo);
    }

    std::string Log()
    {
        DbgLogClose();
        std::ifstream in(dir / "Dbg.Log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The excerpt appears in the log as consecutive whole lines.
    ::testing::AssertionResult LogHas(const std::string& log, const std::string& excerpt)
    {
        if (("\n" + log).find("\n" + excerpt) != std::string::npos)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "log lacks:\n" << excerpt << "\n--- log:\n" << log;
    }

    std::string ConfigFile()
    {
        std::ifstream in(dir / "ASIOConfig.txt");
        std::string text;
        std::getline(in, text);
        return text;
    }

    static constexpr const char* kTestClsid = "{379E0702-5E41-4909-A9CD-3CD2C5626A87}";
    static constexpr const char* kBrokenClsid = "{0BAD0BAD-0BAD-4BAD-8BAD-0BAD0BAD0BAD}";

    ScratchFolder scratch{"tonewright-host"};
    const std::filesystem::path& dir = scratch.Path();
    TestDriverScript* script = nullptr;
    FakeWindow driverCombo;
    FakeWindow outputCombo;
    FakeWindow dialog;
};
