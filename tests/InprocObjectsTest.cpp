#include "platform/InprocObjects.h"
#include "platform/Guid.h"
#include "platform/Registry.h"
#include "tests/fixtures/TestObjectModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <future>
#include <string>
#include <thread>

namespace {

constexpr CLSID ClassNumbered(uint8_t last)
{
    return {0x6a1e0c3b, 0x2f47, 0x4d8a, {0x9b, 0x10, 0x0c, 0x5e, 0x7f, 0x3a, 0x2b, last}};
}

// Stands for "whatever the callee left there"; every failure must overwrite it.
void* const kStale = reinterpret_cast<void*>(uintptr_t{0x1});

// Whether the dynamic loader holds the module, asked without loading it.
bool IsLoaded(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

// Reads one of the test module's counters; -1 when it is not loaded.
int32_t ModuleCounter(const char* exportName)
{
    void* handle = dlopen(TONEWRIGHT_TEST_OBJECT_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return -1;
    auto counter = reinterpret_cast<TestCounterFunc>(dlsym(handle, exportName));
    const int32_t value = counter != nullptr ? counter() : -1;
    dlclose(handle);
    return value;
}

class InprocObjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TONEWRIGHT_REGISTRY", TONEWRIGHT_TEST_INPROC_REGISTRY, 1);
        RegistryReload();
        ASSERT_FALSE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
    }
    void TearDown() override { unsetenv("TONEWRIGHT_REGISTRY"); }
};

TEST_F(InprocObjectsTest,
       CreatesAnObjectFromItsModuleAndUnloadsItAtTheLastUninitializeUnlessOneLives)
{
    void* object = kStale;
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);

    ASSERT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestObject, &object),
        S_OK);
    auto* first = static_cast<ITestObject*>(object);
    EXPECT_EQ(first->Answer(), kTestAnswer);
    EXPECT_TRUE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
    EXPECT_EQ(ModuleCounter(kTestFactoryReferencesExport), 0) << "the factory was not released";

    first->Release();
    EXPECT_EQ(ModuleCounter(kTestObjectsAliveExport), 0);

    CoUninitialize();
    EXPECT_TRUE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE)) << "unloaded before the last uninitialize";
    CoUninitialize();
    EXPECT_FALSE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
    // Extra calls are ignored rather than counted below zero.
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();

    // An object still alive at the last uninitialize keeps its module loaded.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestObject, &object),
        S_OK);
    testing::internal::CaptureStderr();
    CoUninitialize();
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find("stays loaded"), std::string::npos) << warning;
    ASSERT_TRUE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));

    // Still callable: its code was not pulled away.
    EXPECT_EQ(static_cast<ITestObject*>(object)->Answer(), kTestAnswer);
    static_cast<ITestObject*>(object)->Release();

    // The next last uninitialize closes what was kept.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_FALSE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
}

TEST_F(InprocObjectsTest, EachFailureGivesItsOwnCodeAndLeavesNothingBehind)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    struct Case {
        const char* words; // of the failure's text, naming the case
        CLSID clsid;
        IID iid;
        DWORD context;
        bool outer;
        HRESULT expected;
    };
    const Case cases[] = {
        {"class {6A1E0C3B-2F47-4D8A-9B10-0C5E7F3A2B99} has no module", ClassNumbered(0x99),
         IID_ITestObject, CLSCTX_INPROC_SERVER, false, REGDB_E_CLASSNOTREG},
        {"2B07} has no module", ClassNumbered(0x07), IID_ITestObject, CLSCTX_INPROC_SERVER, false,
         REGDB_E_CLASSNOTREG},
        {"2B08} has no module", ClassNumbered(0x08), IID_ITestObject, CLSCTX_INPROC_SERVER, false,
         REGDB_E_CLASSNOTREG},
        {"module /nonexistent/tonewright/no-such-module.so does not load: ", ClassNumbered(0x04),
         IID_ITestObject, CLSCTX_INPROC_SERVER, false, CO_E_DLLNOTFOUND},
        {"inproc-objects.reg.in does not load: ", ClassNumbered(0x06), IID_ITestObject,
         CLSCTX_INPROC_SERVER, false, CO_E_DLLNOTFOUND},
        {"no_export_module.so has no DllGetClassObject", ClassNumbered(0x05), IID_ITestObject,
         CLSCTX_INPROC_SERVER, false, CO_E_ERRORINDLL},
        {"refused to create the object (code 0x8004A001)", CLSID_RefusingObject, IID_ITestObject,
         CLSCTX_INPROC_SERVER, false, kTestRefusal},
        {"2B03} (code 0x80040111, the module does not serve this class)", CLSID_UnservedObject,
         IID_ITestObject, CLSCTX_INPROC_SERVER, false, CLASS_E_CLASSNOTAVAILABLE},
        {"interface asked for is not offered", CLSID_TestObject, IID_IClassFactory,
         CLSCTX_INPROC_SERVER, false, E_NOINTERFACE},
        {"aggregation", CLSID_TestObject, IID_ITestObject, CLSCTX_INPROC_SERVER, true,
         CLASS_E_NOAGGREGATION},
        {"only in-process", CLSID_TestObject, IID_ITestObject, CLSCTX_LOCAL_SERVER, false,
         REGDB_E_CLASSNOTREG},
    };
    // Any object's address will do as the outer object: it must not be touched.
    void* someObject = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               &someObject),
              S_OK);
    auto* outer = static_cast<IUnknown*>(someObject);

    for (const Case& c : cases) {
        void* object = kStale;
        EXPECT_EQ(CoCreateInstance(c.clsid, c.outer ? outer : nullptr, c.context, c.iid, &object),
                  c.expected)
            << c.words;
        EXPECT_EQ(object, nullptr) << c.words;
        EXPECT_NE(std::string(CoCreateInstanceFailure()).find(c.words), std::string::npos)
            << CoCreateInstanceFailure();
    }

    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestObject, nullptr),
        E_POINTER);
    EXPECT_FALSE(IsLoaded(TONEWRIGHT_TEST_NO_EXPORT_MODULE))
        << "a module without the export is closed at once";
    outer->Release();
    EXPECT_EQ(ModuleCounter(kTestObjectsAliveExport), 0);
    EXPECT_EQ(ModuleCounter(kTestFactoryReferencesExport), 0);
    CoUninitialize();
    EXPECT_FALSE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
}

TEST_F(InprocObjectsTest, CountsInitializationPerThreadAndUnloadsWhenTheLastThreadEnds)
{
    std::promise<void> workerReady;
    std::promise<void> mainDone;
    std::promise<HRESULT> workerResults;
    std::thread worker([&] {
        void* object = kStale;
        // The main thread has not initialised yet, and would not count here anyway.
        HRESULT before = CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ITestObject, &object);
        const HRESULT first = CoInitialize(nullptr);
        workerReady.set_value();
        mainDone.get_future().wait();
        CoUninitialize();
        workerResults.set_value(before == CO_E_NOTINITIALIZED && object == nullptr ? first
                                                                                   : E_FAIL);
    });
    workerReady.get_future().wait();
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "another thread's count leaked into this one";
    void* object = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestObject, &object),
        S_OK);
    static_cast<ITestObject*>(object)->Release();
    CoUninitialize();
    EXPECT_TRUE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE)) << "the worker is still initialised";
    mainDone.set_value();
    EXPECT_EQ(workerResults.get_future().get(), S_OK);
    worker.join();
    EXPECT_FALSE(IsLoaded(TONEWRIGHT_TEST_OBJECT_MODULE));
}

TEST(ClsidText, ParsesOnlyTheBracedFormIntoItsFieldsInEitherCase)
{
    const GUID expected = {
        0x12345678, 0x9abc, 0xdef0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}};
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", &parsed), S_OK);
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(parsed.Data4[7], 0xf0);
    parsed = CLSID_NULL;
    ASSERT_EQ(CLSIDFromString(L"{12345678-9abc-def0-1234-56789abcdef0}", &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, expected));

    char text[kGuidStringSize];
    EXPECT_EQ(StringFromGUID2(expected, text, sizeof text), 39);
    EXPECT_STREQ(text, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");

    // Every other form is refused and clears the result.
    const char* const bad[] = {
        "12345678-9ABC-DEF0-1234-56789ABCDEF0",    // no braces
        "{12345678-9ABC-DEF0-1234-56789ABCDEF0",   // no closing brace
        "{12345678-9ABC-DEF0-1234-56789ABCDEF0}x", // text after it
        " {12345678-9ABC-DEF0-1234-56789ABCDEF0}", // text before it
        "{12345678-9ABC-DEF0-123456789ABCDEF0}",   // a hyphen missing
        "{1234567-89ABC-DEF0-1234-56789ABCDEF0}",  // a hyphen moved
        "{12345678-9ABC-DEF0-1234-56789ABCDEFG}",  // not a hex digit
        "{12345678-9ABC-DEF0-1234-56789ABCDEF}",   // a digit short
        "{0x345678-9ABC-DEF0-1234-56789ABCDEF0}",  // a prefix is not a digit
        "{12345678-9ABC-DEF0-1234-56789ABC\xb0"
        "F0}", // a byte above 0x7f
        "",
    };
    for (const char* text : bad) {
        parsed = {0xffffffff, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
        EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING) << text;
        EXPECT_EQ(parsed, CLSID_NULL) << text;
    }
    // A wide character whose low byte is a digit is still not a digit.
    EXPECT_EQ(CLSIDFromString(L"{12345678-9ABC-DEF0-1234-56789ABCDEF\x0130}", &parsed),
              CO_E_CLASSSTRING);
}

} // namespace
