// What the host tests share: a scratch working folder that is also their
// registry (the log and the configuration file land there too), drivers
// that are the scriptable test driver, fake combo boxes and dialog, and the
// debug log read back.
#pragma once

#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/Registry.h"
#include "tests/ScratchFolder.h"
#include "tests/TestDriverModule.h"
#include "tests/fixtures/FakeWindow.h"
#include "tests/fixtures/LoggedLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using Lines = std::vector<std::string>;

class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(script = OpenTestDriverScript(), nullptr) << dlerror();
        script->Reset();
        setenv("TONEWRIGHT_REGISTRY", dir.c_str(), 1);
        DbgLogOpen();
    }
    void TearDown() override
    {
        ASIOHostShutdown(true);
        DbgLogClose();
        unsetenv("TONEWRIGHT_REGISTRY");
        RegistryReload();
    }

    void Registry(const std::string& text)
    {
        std::ofstream(dir / "drivers.reg") << text;
        RegistryReload();
    }
    static std::string Server(const std::string& clsid, const std::string& path)
    {
        return "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\InprocServer32]\n@=\"" + path + "\"\n";
    }
    static std::string Driver(const std::string& key, const std::string& clsid,
                              const std::string& description = "")
    {
        return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + key + "]\n" +
               (clsid.empty() ? "" : "\"CLSID\"=\"" + clsid + "\"\n") +
               (description.empty() ? "" : "\"Description\"=\"" + description + "\"\n");
    }
    // One test driver per name; a name starting with '!' is registered to a
    // file that is no module, so that driver is listed but never opens.
    void Install(const Lines& names, const std::string& more = "")
    {
        std::ofstream(dir / "broken.so") << "not a module";
        std::string text = Server(kTestClsid, TONEWRIGHT_TEST_DRIVER_MODULE) +
                           Server(kBrokenClsid, (dir / "broken.so").string()) + more;
        for (const std::string& name : names)
            text += Driver(name.substr(name[0] == '!'), name[0] == '!' ? kBrokenClsid : kTestClsid);
        Registry(text);
    }

    // Start-up and setup as the dialog runs them. A driver told not to start
    // spares the half-second playback check.
    bool StartHost(bool start = true, int32_t requested = -1)
    {
        if (!start) script->startResult = ASE_HWMalfunction;
        const bool up =
            ASIOHostInit(&driverCombo, requested) && ASIOSelectDriver(&dialog, &outputCombo);
        script->startResult = ASE_OK;
        return up;
    }

    std::string Read(const char* name)
    {
        std::stringstream text;
        text << std::ifstream(dir / name).rdbuf();
        return text.str();
    }
    // The log since it was last read, whole or as its lines without header
    // and trailer; logging goes on in a fresh file.
    std::string Log()
    {
        DbgLogClose();
        const std::string text = Read("Dbg.Log");
        DbgLogOpen();
        return text;
    }
    Lines LoggedSince()
    {
        DbgLogClose();
        const Lines lines = LoggedLines();
        DbgLogOpen();
        return lines;
    }
    // The excerpt appears in the log as consecutive whole lines.
    static ::testing::AssertionResult LogHas(const std::string& log, const std::string& excerpt)
    {
        if (("\n" + log).find("\n" + excerpt) != std::string::npos)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "log lacks:\n" << excerpt << "\n--- log:\n" << log;
    }

    static constexpr const char* kTestClsid = "{379E0702-5E41-4909-A9CD-3CD2C5626A87}";
    static constexpr const char* kBrokenClsid = "{0BAD0BAD-0BAD-4BAD-8BAD-0BAD0BAD0BAD}";
    ScratchFolder scratch{"tonewright-host"};
    const std::filesystem::path& dir = scratch.Path();
    TestDriverScript* script = nullptr;
    FakeWindow driverCombo, outputCombo, dialog;
};
