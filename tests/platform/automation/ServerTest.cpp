// The runtime end to end against a test server library registered in a temporary registry:
// creation, dispatch, conversion, aggregation, unloading and registration.

#include "platform/automation/Creation.h"
#include "platform/automation/DispatchDriver.h"
#include "platform/automation/Registration.h"
#include "platform/automation/ServerExports.h"
#include "tests/platform/TestEnvironment.h"
#include "tests/platform/automation/fixtures/Calculator.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace orv::test {
namespace {

using namespace orv::com;

const std::string kServerPath = std::filesystem::path(ORV_FIXTURE_CALCULATOR).lexically_normal().string();
const std::string kClassKey = "CLSID\\" + GuidToString(kCalculatorClsid);

bool IsMapped(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

// A counter of the loaded server; -1 when the server is not loaded.
long ServerCounter(const char* name)
{
    void* handle = dlopen(kServerPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return -1;
    }
    const auto counter = reinterpret_cast<CounterFunction>(dlsym(handle, name));
    const long value = counter != nullptr ? counter() : -1;
    dlclose(handle);
    return value;
}

long MethodCalls()
{
    return ServerCounter(kMethodCallsExport);
}

long LiveObjects()
{
    return ServerCounter(kLiveObjectsExport);
}

class Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_EQ(RegisterServerLibrary(kServerPath, &why), S_OK) << why;
    }
    void TearDown() override { CoFreeUnusedLibraries(); }

    ComPtr<IDispatch> Create()
    {
        ComPtr<IDispatch> dispatch;
        std::string why;
        EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), S_OK) << why;
        return dispatch;
    }

    TempFolder folder_;
    ScopedEnvironment registryVariable_{"ORV_REGISTRY", (folder_ / "registry.ini").string()};
    Registry registry_{folder_ / "registry.ini"};
};

TEST_F(Server, CreatesByProgIdAndCallsByDispatchAndThroughTheVtable)
{
    ComPtr<IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    EXPECT_EQ(LiveObjects(), 1);

    std::int32_t rval = -1;
    ASSERT_EQ(InvokeMethod(dispatch.Get(), 1, std::array{VARIANT::Ref(&rval), VARIANT::I2(10), VARIANT::I2(3)}), S_OK);
    EXPECT_EQ(rval, 7) << "arguments arrive in declaration order";

    ComPtr<ICalculator> calculator;
    ASSERT_EQ(dispatch.As(calculator), S_OK);
    ASSERT_EQ(calculator->Subtract(&rval, 2, 5), S_OK);
    EXPECT_EQ(rval, -3);

    // One identity whatever interface is asked.
    ComPtr<IUnknown> fromDispatch;
    ComPtr<IUnknown> fromCalculator;
    ASSERT_EQ(dispatch.As(fromDispatch), S_OK);
    ASSERT_EQ(calculator.As(fromCalculator), S_OK);
    EXPECT_EQ(fromDispatch.Get(), fromCalculator.Get());

    ComPtr<IClassFactory> notOffered;
    EXPECT_EQ(dispatch.As(notOffered), E_NOINTERFACE);
    EXPECT_FALSE(notOffered);

    dispatch.Reset();
    calculator.Reset();
    fromDispatch.Reset();
    fromCalculator.Reset();
    EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(Server, CreatesByVersionIndependentProgIdAndByClsidText)
{
    for (const std::string& name : {std::string(kCalculatorIndependentProgId), GuidToString(kCalculatorClsid)}) {
        ComPtr<IDispatch> dispatch;
        std::string why;
        EXPECT_EQ(CreateDispatch(name, dispatch, &why), S_OK) << name << ": " << why;
        EXPECT_TRUE(dispatch) << name;
    }
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID("orvtest.calculator", &clsid), S_OK) << "ProgIDs match without regard to case";
    EXPECT_EQ(clsid, kCalculatorClsid);
}

TEST_F(Server, FollowsCurVerWhenAProgIdNamesNoClsidOfItsOwn)
{
    ASSERT_TRUE(registry_.RemoveKeyTree(std::string(kCalculatorIndependentProgId) + "\\CLSID"));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kCalculatorIndependentProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, kCalculatorClsid);

    ASSERT_TRUE(registry_.WriteKey("Loop.A\\CurVer", "Loop.B"));
    ASSERT_TRUE(registry_.WriteKey("Loop.B\\CurVer", "Loop.A"));
    std::string why;
    EXPECT_EQ(CLSIDFromProgID("Loop.A", &clsid, &why), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_EQ(why, "Invalid class string: ProgID \"Loop.A\" names no valid CLSID");
}

TEST_F(Server, AnUnknownOrMalformedClassNameFailsCleanly)
{
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"OrvTest.Nothing", "Invalid class string: ProgID \"OrvTest.Nothing\" is not registered"},
        {"", "Invalid class string: \"\" is not a ProgID"},
        {"OrvTest.Calculator.1\\CLSID", "Invalid class string: \"OrvTest.Calculator.1\\CLSID\" is not a ProgID"},
        {"{0C3D9E71-58A2-4B6F-8D14}", "Invalid class string: \"{0C3D9E71-58A2-4B6F-8D14}\" is not a CLSID"},
    };
    for (const Case& c : cases) {
        ComPtr<IDispatch> dispatch;
        std::string why;
        EXPECT_EQ(CreateDispatch(c.name, dispatch, &why), CO_E_CLASSSTRING) << c.name;
        EXPECT_FALSE(dispatch);
        EXPECT_EQ(why, c.message);
    }
    EXPECT_FALSE(IsMapped(kServerPath)) << "nothing was loaded";
}

TEST_F(Server, AnUnregisteredClassFailsCleanly)
{
    std::string why;
    ASSERT_EQ(UnregisterServerLibrary(kServerPath, &why), S_OK) << why;
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), CO_E_CLASSSTRING);
    EXPECT_EQ(why, "Invalid class string: ProgID \"OrvTest.Calculator.1\" is not registered");

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(kCalculatorClsid, nullptr, IID_IUnknown, unknown.Receive(), &why), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(unknown);
    EXPECT_EQ(why, "Class not registered: no server library is registered for class " + GuidToString(kCalculatorClsid));
}

TEST_F(Server, ARegistryThatCannotBeReadIsReportedAsSuch)
{
    const std::string file = registry_.FilePath().string();
    test::WriteText(registry_.FilePath(), test::ReadText(registry_.FilePath()) + "stray line\n");
    ComPtr<IDispatch> dispatch;
    std::string why;
    EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), REGDB_E_READREGDB);
    EXPECT_EQ(why.rfind("Could not read the class registry: " + file + " cannot be parsed (line ", 0), 0u) << why;
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(kCalculatorClsid, nullptr, IID_IUnknown, unknown.Receive(), &why), REGDB_E_READREGDB);
    EXPECT_EQ(why.rfind("Could not read the class registry: " + file + " cannot be parsed (line ", 0), 0u) << why;

    std::filesystem::remove(registry_.FilePath());
    std::filesystem::create_directory(registry_.FilePath());
    EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), REGDB_E_READREGDB);
    EXPECT_EQ(why, "Could not read the class registry: " + file + " cannot be read: is a folder");
    EXPECT_FALSE(dispatch);
}

TEST_F(Server, AMissingLibraryFileIsReportedWithItsPath)
{
    const std::string gone = (folder_ / "gone.so").string();
    ASSERT_TRUE(registry_.WriteKey(kClassKey + "\\InprocServer32", gone));
    ComPtr<IDispatch> dispatch;
    std::string why;
    EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), HRESULT_MOD_NOT_FOUND);
    EXPECT_FALSE(dispatch);
    EXPECT_EQ(why.rfind("The specified module could not be found: cannot load " + gone + " for class " +
                            GuidToString(kCalculatorClsid) + " (",
                        0),
              0u)
        << why;
    EXPECT_NE(why.find("No such file"), std::string::npos) << "the loader's reason is kept: " << why;
}

TEST_F(Server, ALibraryWithoutTheFactoryExportIsRefused)
{
    ASSERT_TRUE(registry_.WriteKey(kClassKey + "\\InprocServer32", ORV_FIXTURE_NO_FACTORY));
    ComPtr<IDispatch> dispatch;
    std::string why;
    EXPECT_EQ(CreateDispatch(kCalculatorProgId, dispatch, &why), CO_E_ERRORINDLL);
    EXPECT_EQ(why, std::string("Error in the server library: ") + ORV_FIXTURE_NO_FACTORY +
                       " does not export DllGetClassObject");
    EXPECT_FALSE(IsMapped(ORV_FIXTURE_NO_FACTORY)) << "a refused library is not kept";
}

TEST_F(Server, AClassTheLibraryDoesNotServeIsNotAvailable)
{
    const CLSID other = MakeGuid("{7E1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}");
    ASSERT_TRUE(registry_.WriteKey("OrvTest.Other\\CLSID", GuidToString(other)));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\" + GuidToString(other) + "\\InprocServer32", kServerPath));
    ComPtr<IDispatch> dispatch;
    std::string why;
    EXPECT_EQ(CreateDispatch("OrvTest.Other", dispatch, &why), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(why, "Class factory cannot supply the requested class: " + kServerPath + " does not serve class " +
                       GuidToString(other));
}

TEST_F(Server, AnInterfaceTheClassLacksLeavesNoObjectBehind)
{
    ComPtr<IDispatch> keepLoaded = Create();
    ASSERT_EQ(LiveObjects(), 1);
    void* object = reinterpret_cast<void*>(1);
    std::string why;
    EXPECT_EQ(CoCreateInstance(kCalculatorClsid, nullptr, IID_IClassFactory, &object, &why), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(LiveObjects(), 1);
    EXPECT_EQ(why.rfind("No such interface supported: creating an object of class ", 0), 0u) << why;
}

TEST_F(Server, ResolvesNamesToDispatchIdentifiers)
{
    DispatchDriver driver;
    ASSERT_EQ(driver.CreateDispatch(kCalculatorProgId), S_OK);
    DISPID id = 0;
    EXPECT_EQ(driver.GetIDOfName("LOCATE", &id), S_OK);
    EXPECT_EQ(id, 5);
    EXPECT_EQ(driver.GetIDOfName("Locat", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    const char* names[] = {"negate", "VALUE"};
    DISPID ids[2] = {};
    EXPECT_EQ(driver.Dispatch()->GetIDsOfNames(names, 2, ids), S_OK);
    EXPECT_EQ(ids[0], 6);
    EXPECT_EQ(ids[1], 1);

    std::uint32_t count = 0;
    const InterfaceInfo* info = nullptr;
    EXPECT_EQ(driver.Dispatch()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(driver.Dispatch()->GetTypeInfo(0, &info), S_OK);
    EXPECT_STREQ(info->name, "ICalculator");
    EXPECT_STREQ(info->helpString, "ICalculator Interface");
    EXPECT_EQ(info->iid, ICalculator::kIid);
}

TEST_F(Server, RefusesCallsItCannotMakeBeforeTheMethodRuns)
{
    ComPtr<IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    const long before = MethodCalls();
    ASSERT_GE(before, 0);
    std::int32_t rval = -1;
    std::int16_t value = 0;
    std::uint32_t argErr = 99;

    // Unknown DISPIDs, the unused one among them.
    for (const DISPID id : {0, 4, 9, 16, -1, 1000}) {
        EXPECT_EQ(InvokeMethod(dispatch.Get(), id, std::array{VARIANT::Ref(&rval)}), DISP_E_MEMBERNOTFOUND) << id;
    }
    // Wrong argument counts.
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 1, std::array{VARIANT::Ref(&rval), VARIANT::I2(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 1,
                           std::array{VARIANT::Ref(&rval), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1)}),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 8, std::span<const VARIANT>()), DISP_E_BADPARAMCOUNT);
    // A property access of a method; named arguments; no parameters at all.
    std::array args{VARIANT::I2(3), VARIANT::I2(4), VARIANT::Ref(&rval)}; // reversed already
    DISPPARAMS params{args.data(), nullptr, 3, 0};
    EXPECT_EQ(dispatch->Invoke(1, DISPATCH_PROPERTYGET, &params, nullptr, &argErr), DISP_E_MEMBERNOTFOUND);
    DISPID named[] = {1};
    DISPPARAMS withNames{args.data(), named, 3, 1};
    EXPECT_EQ(dispatch->Invoke(1, DISPATCH_METHOD, &withNames, nullptr, &argErr), DISP_E_NONAMEDARGS);
    EXPECT_EQ(dispatch->Invoke(1, DISPATCH_METHOD, nullptr, nullptr, &argErr), E_INVALIDARG);
    // A missing argument, a value for a reference, a reference to a value of another size, a
    // value out of range, a null reference.
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 1, std::array{VARIANT::Ref(&rval), VARIANT::Missing(), VARIANT::I2(1)},
                           &argErr),
              DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 6, std::array{VARIANT::Ref(&rval), VARIANT::I2(5)}, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 6, std::array{VARIANT::Ref(&value), VARIANT::Ref(&value)}, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 1, std::array{VARIANT::Ref(&rval), VARIANT::I2(1), VARIANT::I4(40000)},
                           &argErr),
              DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 2u);
    EXPECT_EQ(InvokeMethod(dispatch.Get(), 6, std::array{VARIANT::Ref(&rval), VARIANT::Ref(static_cast<std::int16_t*>(nullptr))},
                           &argErr),
              E_POINTER);
    EXPECT_EQ(argErr, 1u);

    EXPECT_EQ(MethodCalls(), before) << "a method body ran for a refused call";
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(value, 0);

    ASSERT_EQ(dispatch->Invoke(1, DISPATCH_METHOD, &params, nullptr, &argErr), S_OK);
    EXPECT_EQ(rval, 4 - 3) << "rgvarg holds the arguments last first";
    EXPECT_EQ(MethodCalls(), before + 1);
}

TEST_F(Server, ReportsTheRefusedArgumentByItsPositionInDispParams)
{
    ComPtr<IDispatch> dispatch = Create();
    std::int32_t rval = -1;
    std::array args{VARIANT::I4(-1), VARIANT::Ref(&rval)}; // Store(rval, value), reversed
    DISPPARAMS params{args.data(), nullptr, 2, 0};
    std::uint32_t argErr = 99;
    EXPECT_EQ(dispatch->Invoke(2, DISPATCH_METHOD, &params, nullptr, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
}

TEST_F(Server, ConvertsArgumentsToTheirDeclaredTypes)
{
    DispatchDriver driver;
    ASSERT_EQ(driver.CreateDispatch(kCalculatorProgId), S_OK);
    std::int32_t rval = -1;

    // long (VT_I4) values to short parameters.
    ASSERT_EQ(driver.InvokeMethod(1, {VARIANT::Ref(&rval), VARIANT::I4(-20), VARIANT::I4(12)}), S_OK);
    EXPECT_EQ(rval, -32);
    // unsigned short and int to short.
    ASSERT_EQ(driver.InvokeMethod(1, {VARIANT::Ref(&rval), VARIANT::UI2(300), VARIANT::Int(-2)}), S_OK);
    EXPECT_EQ(rval, 302);
    // A signed value to an unsigned parameter: accepted when not negative.
    ASSERT_EQ(driver.InvokeMethod(2, {VARIANT::Ref(&rval), VARIANT::I4(123456)}), S_OK);
    EXPECT_EQ(rval, 123456);
    std::uint32_t argErr = 0;
    EXPECT_EQ(driver.InvokeMethod(2, {VARIANT::Ref(&rval), VARIANT::I4(-1)}, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 1u);
    // long to int, as a client passes an address parameter declared int.
    ASSERT_EQ(driver.InvokeMethod(5, {VARIANT::Ref(&rval), VARIANT::I4(-7)}), S_OK);
    EXPECT_EQ(rval, -7);
    EXPECT_EQ(driver.InvokeMethod(5, {VARIANT::Ref(&rval), VARIANT::UI4(0x80000000)}, &argErr), DISP_E_OVERFLOW);
    // A value behind a reference for a value parameter.
    std::int16_t a = 50;
    ASSERT_EQ(driver.InvokeMethod(1, {VARIANT::Ref(&rval), VARIANT::Ref(&a), VARIANT::I2(8)}), S_OK);
    EXPECT_EQ(rval, 42);
    // The result itself through an int reference.
    std::int32_t asInt = -1;
    ASSERT_EQ(driver.InvokeMethod(5, {VARIANT::RefInt(&asInt), VARIANT::I4(9)}), S_OK);
    EXPECT_EQ(asInt, 9);
}

TEST_F(Server, WritesThroughByReferenceArguments)
{
    DispatchDriver driver;
    ASSERT_EQ(driver.CreateDispatch(kCalculatorProgId), S_OK);
    std::int32_t rval = -1;

    std::array<std::uint8_t, 8> buffer{};
    buffer.fill(0x11);
    ASSERT_EQ(driver.InvokeMethod(3, {VARIANT::Ref(&rval), VARIANT::I2(5), VARIANT::Bytes(buffer.data() + 1)}), S_OK);
    EXPECT_EQ(rval, 5);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 8>{0x11, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0x11, 0x11}));

    // The same buffer passed as a short by reference, the way the declared type says.
    std::int16_t shorts[2] = {};
    ASSERT_EQ(driver.InvokeMethod(3, {VARIANT::Ref(&rval), VARIANT::I2(3), VARIANT::Ref(shorts)}), S_OK);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(shorts);
    EXPECT_EQ(bytes[0], 0xA0);
    EXPECT_EQ(bytes[2], 0xA2);
    EXPECT_EQ(bytes[3], 0x00);

    std::int16_t value = 1234;
    ASSERT_EQ(driver.InvokeMethod(6, {VARIANT::Ref(&rval), VARIANT::Ref(&value)}), S_OK);
    EXPECT_EQ(rval, 1234);
    EXPECT_EQ(value, -1234);

    std::uint8_t record[6] = {1, 2, 3, 4, 0, 9};
    ASSERT_EQ(driver.InvokeMethod(7, {VARIANT::Ref(&rval), VARIANT::Bytes(record)}), S_OK);
    EXPECT_EQ(rval, 10);
    EXPECT_EQ(record[4], 0x5A);
    EXPECT_EQ(record[5], 9);
}

TEST_F(Server, AnExceptionInAMethodEndsAsAFailureResult)
{
    DispatchDriver driver;
    ASSERT_EQ(driver.CreateDispatch(kCalculatorProgId), S_OK);
    std::int32_t rval = -1;
    EXPECT_EQ(driver.InvokeMethod(8, {VARIANT::Ref(&rval)}), E_FAIL);
    EXPECT_EQ(rval, 0) << "the method ran up to its throw";
}

// An object that aggregates a calculator: it answers IOuterThing itself and hands everything else
// to the calculator's own IUnknown.
class IOuterThing : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{3F8C1D27-9A4E-4B05-B6D2-E17C0A9F5B34}");
    virtual int Answer() = 0;

protected:
    ~IOuterThing() = default;
};

class Outer final : public IOuterThing {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IOuterThing::kIid) {
            *object = static_cast<IOuterThing*>(this);
            AddRef();
            return S_OK;
        }
        if (inner) {
            return inner->QueryInterface(iid, object);
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override
    {
        const std::uint32_t remaining = --references;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }
    int Answer() override { return 42; }

    ComPtr<IUnknown> inner;
    std::uint32_t references = 1;
};

TEST_F(Server, AnAggregatedObjectSpeaksForItsOuterObject)
{
    auto* outer = new Outer;
    std::string why;
    ASSERT_EQ(CoCreateInstance(kCalculatorClsid, outer, IID_IUnknown, outer->inner.Receive(), &why), S_OK) << why;
    EXPECT_EQ(outer->references, 1u) << "the inner object holds no reference to its outer one";

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(outer->QueryInterface(IID_IDispatch, dispatch.Receive()), S_OK);
    EXPECT_EQ(outer->references, 2u) << "a reference to an inner interface counts on the outer object";

    ComPtr<IUnknown> identity;
    ASSERT_EQ(dispatch.As(identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(outer));
    ComPtr<IOuterThing> thing;
    ASSERT_EQ(dispatch.As(thing), S_OK);
    EXPECT_EQ(thing->Answer(), 42);
    EXPECT_EQ(outer->references, 4u);

    std::int32_t rval = -1;
    ASSERT_EQ(InvokeMethod(dispatch.Get(), 1, std::array{VARIANT::Ref(&rval), VARIANT::I2(9), VARIANT::I2(4)}), S_OK);
    EXPECT_EQ(rval, 5);

    ComPtr<IUnknown> refused;
    EXPECT_EQ(CoCreateInstance(kCalculatorClsid, outer, IID_IDispatch, refused.Receive()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(refused);
    EXPECT_EQ(LiveObjects(), 1);

    thing.Reset();
    identity.Reset();
    dispatch.Reset();
    EXPECT_EQ(outer->references, 1u);
    outer->Release();
    EXPECT_EQ(LiveObjects(), 0) << "releasing the outer object releases the inner one";
}

TEST_F(Server, CanUnloadOnlyWithoutLiveObjectsOrLocks)
{
    void* handle = dlopen(kServerPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    const auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(&kCalculatorClsid, &IID_IClassFactory, factory.Receive()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a client holds the factory";
    ASSERT_EQ(factory->LockServer(true), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, dispatch.Receive()), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "an object and a lock are alive";
    dispatch.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the lock is held";
    ASSERT_EQ(getClassObject(&kCalculatorClsid, &IID_IClassFactory, factory.Receive()), S_OK);
    ASSERT_EQ(factory->LockServer(false), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    const CLSID other = MakeGuid("{7E1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(&other, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClassObject(&kCalculatorClsid, &IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(canUnloadNow(), S_OK);
    dlclose(handle);
}

TEST_F(Server, FreeingUnusedLibrariesKeepsALibraryWhileItsObjectsLive)
{
    ComPtr<IDispatch> first = Create();
    ComPtr<IDispatch> second = Create();
    ASSERT_TRUE(IsMapped(kServerPath));
    EXPECT_EQ(CoFreeUnusedLibraries(), 0u);
    first.Reset();
    EXPECT_EQ(CoFreeUnusedLibraries(), 0u);
    EXPECT_TRUE(IsMapped(kServerPath));
    std::int32_t rval = -1;
    ASSERT_EQ(InvokeMethod(second.Get(), 5, std::array{VARIANT::Ref(&rval), VARIANT::Int(17)}), S_OK);
    EXPECT_EQ(rval, 17);

    second.Reset();
    EXPECT_EQ(CoFreeUnusedLibraries(), 1u);
    EXPECT_FALSE(IsMapped(kServerPath));
    EXPECT_EQ(CoFreeUnusedLibraries(), 0u);

    ComPtr<IDispatch> again = Create();
    EXPECT_TRUE(again) << "a released library loads again";
}

using KeyDump = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

KeyDump Dump(const RegistryDocument& document)
{
    KeyDump dump;
    for (const std::string& key : document.Keys()) {
        dump[key] = document.Values(key);
    }
    return dump;
}

TEST_F(Server, RegistrationWritesExactlyTheClassAndTypeLibraryKeys)
{
    const std::string clsid = GuidToString(kCalculatorClsid);
    const std::string libId = GuidToString(kCalculatorLibId);
    const std::string iid = GuidToString(ICalculator::kIid);
    const std::string folder = std::filesystem::path(kServerPath).parent_path().string();
    const KeyDump expected = {
        {"OrvTest.Calculator.1", {{"", "Calculator Class"}}},
        {"OrvTest.Calculator.1\\CLSID", {{"", clsid}}},
        {"OrvTest.Calculator", {{"", "Calculator Class"}}},
        {"OrvTest.Calculator\\CLSID", {{"", clsid}}},
        {"OrvTest.Calculator\\CurVer", {{"", "OrvTest.Calculator.1"}}},
        {"CLSID", {}},
        {"CLSID\\" + clsid, {{"", "Calculator Class"}}},
        {"CLSID\\" + clsid + "\\ProgID", {{"", "OrvTest.Calculator.1"}}},
        {"CLSID\\" + clsid + "\\VersionIndependentProgID", {{"", "OrvTest.Calculator"}}},
        {"CLSID\\" + clsid + "\\Programmable", {}},
        {"CLSID\\" + clsid + "\\InprocServer32", {{"", kServerPath}, {"ThreadingModel", "Apartment"}}},
        {"CLSID\\" + clsid + "\\TypeLib", {{"", libId}}},
        {"TypeLib", {}},
        {"TypeLib\\" + libId, {}},
        {"TypeLib\\" + libId + "\\1.0", {{"", "OrvTest 1.0 Type Library"}}},
        {"TypeLib\\" + libId + "\\1.0\\409", {}},
        {"TypeLib\\" + libId + "\\1.0\\409\\linux64", {{"", kServerPath}}},
        {"TypeLib\\" + libId + "\\1.0\\FLAGS", {{"", "0"}}},
        {"TypeLib\\" + libId + "\\1.0\\HELPDIR", {{"", folder}}},
        {"Interface", {}},
        {"Interface\\" + iid, {{"", "ICalculator"}}},
        {"Interface\\" + iid + "\\TypeLib", {{"", libId}, {"Version", "1.0"}}},
    };
    EXPECT_EQ(Dump(registry_.Read()), expected);
    EXPECT_FALSE(IsMapped(kServerPath)) << "registering released the library again";

    // Registering again gives the same registry.
    const std::string text = ReadText(registry_.FilePath());
    ASSERT_EQ(RegisterServerLibrary(kServerPath), S_OK);
    EXPECT_EQ(ReadText(registry_.FilePath()), text);
}

TEST_F(Server, RegistrationRewritesTheClassKeyButKeepsOtherValues)
{
    ASSERT_TRUE(registry_.WriteKey(kClassKey + "\\LocalServer32", "/stale"));
    ASSERT_TRUE(registry_.WriteKey(kCalculatorProgId, std::nullopt, {{"Note", "kept"}}));
    ASSERT_EQ(RegisterServerLibrary(kServerPath), S_OK);
    EXPECT_FALSE(registry_.KeyExists(kClassKey + "\\LocalServer32"));
    EXPECT_TRUE(registry_.KeyExists(kClassKey + "\\Programmable"));
    EXPECT_EQ(registry_.GetValue(kCalculatorProgId, "Note"), "kept");
}

TEST_F(Server, UnregistrationRemovesWhatRegistrationWroteButNotTheSharedRoots)
{
    const RegistryDocument registered = registry_.Read();
    std::string why;
    ASSERT_EQ(UnregisterServerLibrary(kServerPath, &why), S_OK) << why;
    EXPECT_EQ(registry_.Read().Keys(), (std::vector<std::string>{"CLSID", "TypeLib", "Interface"}));

    // With other classes and another version of the type library around.
    const std::string otherClass = "CLSID\\{7E1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}\\InprocServer32";
    const std::string otherVersion = "TypeLib\\" + GuidToString(kCalculatorLibId) + "\\2.0";
    const std::string otherInterface = "Interface\\{9B0E4C2A-7D15-4E63-A8F2-1C5B3D7E9A60}";
    ASSERT_TRUE(registry_.WriteKey(otherClass, "/other.so"));
    ASSERT_TRUE(registry_.WriteKey(otherVersion, "newer"));
    ASSERT_TRUE(registry_.WriteKey(otherInterface, "IOther"));
    ASSERT_EQ(RegisterServerLibrary(kServerPath), S_OK);
    ASSERT_EQ(UnregisterServerLibrary(kServerPath), S_OK);
    const RegistryDocument left = registry_.Read();
    EXPECT_EQ(left.GetValue(otherClass), "/other.so");
    EXPECT_EQ(left.GetValue(otherVersion), "newer");
    EXPECT_EQ(left.GetValue(otherInterface), "IOther");
    for (const std::string& key : registered.Keys()) {
        const bool shared = key == "CLSID" || key == "TypeLib" || key == "Interface" ||
                            key == "TypeLib\\" + GuidToString(kCalculatorLibId);
        EXPECT_EQ(left.HasKey(key), shared) << key;
    }

    // Unregistering what is not there succeeds.
    EXPECT_EQ(UnregisterServerLibrary(kServerPath), S_OK);
}

TEST_F(Server, RegisteringALibraryThatCannotBeLoadedOrLacksTheExportFails)
{
    std::string why;
    const std::string gone = (folder_ / "gone.so").string();
    EXPECT_EQ(RegisterServerLibrary(gone, &why), HRESULT_MOD_NOT_FOUND);
    EXPECT_EQ(why.rfind("Cannot load " + gone + ": ", 0), 0u) << why;
    EXPECT_EQ(RegisterServerLibrary(ORV_FIXTURE_NO_FACTORY, &why), CO_E_ERRORINDLL);
    EXPECT_EQ(why, std::string(ORV_FIXTURE_NO_FACTORY) + " does not export DllRegisterServer");
    EXPECT_EQ(UnregisterServerLibrary(ORV_FIXTURE_NO_FACTORY, &why), CO_E_ERRORINDLL);
}

TEST_F(Server, RegistrationRefusesARelativePathOrAProgIdWithABackslash)
{
    const Registry registry(folder_ / "other.ini");
    EXPECT_EQ(RegisterServer(kCalculatorRegistration, "relative/lib.so", registry), SELFREG_E_CLASS);
    ServerRegistration bad = kCalculatorRegistration;
    bad.progId = "Bad\\ProgId";
    EXPECT_EQ(RegisterServer(bad, "/abs/lib.so", registry), SELFREG_E_CLASS);
    bad = kCalculatorRegistration;
    bad.classDescription = "two\nlines";
    EXPECT_EQ(RegisterServer(bad, "/abs/lib.so", registry), SELFREG_E_CLASS);
    EXPECT_TRUE(registry.Read().Keys().empty()) << "a refused registration writes nothing";

    bad = kCalculatorRegistration;
    bad.libId = GUID_NULL;
    bad.versionIndependentProgId = {};
    bad.threadingModel = {};
    ASSERT_EQ(RegisterServer(bad, "/abs/lib.so", registry), S_OK);
    EXPECT_EQ(registry.Read().Keys(),
              (std::vector<std::string>{"OrvTest.Calculator.1", "OrvTest.Calculator.1\\CLSID", "CLSID", kClassKey,
                                        kClassKey + "\\ProgID", kClassKey + "\\Programmable",
                                        kClassKey + "\\InprocServer32"}));
    EXPECT_EQ(registry.Read().Values(kClassKey + "\\InprocServer32"),
              (std::vector<std::pair<std::string, std::string>>{{"", "/abs/lib.so"}}));
}

TEST(DispatchDriver, StaysEmptyWhenCreationFailsAndReleasesOnlyWhatItOwns)
{
    TempFolder folder;
    ScopedEnvironment registry("ORV_REGISTRY", (folder / "registry.ini").string());
    DispatchDriver driver;
    std::string why;
    EXPECT_EQ(driver.CreateDispatch("OrvTest.Calculator.1", &why), CO_E_CLASSSTRING);
    EXPECT_FALSE(driver);
    std::int32_t rval = -1;
    EXPECT_EQ(driver.InvokeMethod(1, {VARIANT::Ref(&rval)}), E_POINTER);
    DISPID id = 0;
    EXPECT_EQ(driver.GetIDOfName("Subtract", &id), E_POINTER);

    std::array<VARIANT, kMaxInvokeArgs + 1> tooMany{};
    EXPECT_EQ(InvokeMethod(nullptr, 1, tooMany), E_POINTER);
}

} // namespace
} // namespace orv::test
