// The built libOrvDeviceNetDriver.so as a client meets it: created through a temporary class
// registry, described by its type information, called by DISPID.

#include "tests/automation_com/ServerEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace orv::comtest {
namespace {

using platform::automation::VARIANT;
using automation::kOrvDeviceNetComClsid;
using automation::kOrvDeviceNetComIndependentProgId;
using automation::kOrvDeviceNetComProgId;

std::string TypeName(platform::automation::VARTYPE type)
{
    std::string name;
    switch (type & platform::automation::VT_TYPEMASK) {
    case platform::automation::VT_I2: name = "short"; break;
    case platform::automation::VT_I4: name = "long"; break;
    case platform::automation::VT_INT: name = "int"; break;
    case platform::automation::VT_UI4: name = "unsigned long"; break;
    case platform::automation::VT_UI1: name = "bytes"; break;
    default: name = "?"; break;
    }
    return (type & platform::automation::VT_BYREF) != 0 ? name + "*" : name;
}

// "name(p1: type, p2: type*)" for one described method.
std::string Signature(const platform::automation::MethodInfo& method)
{
    std::string text = std::string(method.name) + "(";
    for (std::size_t i = 0; i < method.params.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::string(method.params[i].name) + ": " + TypeName(method.params[i].type);
    }
    return text + ")";
}

class ServerLibrary : public ServerTest {};

TEST_F(ServerLibrary, CreatesTheClassByProgIdAndByVersionIndependentProgId)
{
    for (const std::string_view name : {kOrvDeviceNetComProgId, kOrvDeviceNetComIndependentProgId}) {
        platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create(name);
        ASSERT_TRUE(dispatch) << name;
        const Outcome outcome = Call(dispatch.Get(), 15);
        EXPECT_EQ(outcome.status, platform::automation::S_OK) << name;
        EXPECT_EQ(outcome.rval, -1) << name << ": no driver is open";
    }
    platform::automation::CLSID clsid{};
    ASSERT_EQ(platform::automation::CLSIDFromProgID(kOrvDeviceNetComIndependentProgId, &clsid), platform::automation::S_OK);
    EXPECT_EQ(clsid, kOrvDeviceNetComClsid);
}

TEST_F(ServerLibrary, AnswersIUnknownIDispatchAndItsInterfaceOnly)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    platform::automation::ComPtr<automation::IOrvDeviceNetCom> own;
    ASSERT_EQ(dispatch.As(own), platform::automation::S_OK);
    platform::automation::ComPtr<platform::automation::IUnknown> identity;
    ASSERT_EQ(own.As(identity), platform::automation::S_OK);
    platform::automation::ComPtr<platform::automation::IUnknown> identityAgain;
    ASSERT_EQ(dispatch.As(identityAgain), platform::automation::S_OK);
    EXPECT_EQ(identity.Get(), identityAgain.Get());

    platform::automation::ComPtr<platform::automation::IClassFactory> factory;
    EXPECT_EQ(dispatch.As(factory), platform::automation::E_NOINTERFACE);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(dispatch->QueryInterface(platform::automation::MakeGuid("{00020401-0000-0000-C000-000000000046}"), &other),
              platform::automation::E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    // The vtable binding reaches the same method as the dispatch call.
    std::int32_t rval = 5;
    ASSERT_EQ(own->NetworkWho(&rval, kNode, nullptr), platform::automation::S_OK);
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(own->IsInitialized(nullptr), platform::automation::E_POINTER) << "no rval to report in";
}

TEST_F(ServerLibrary, DescribesItsEighteenMethods)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    std::uint32_t count = 0;
    ASSERT_EQ(dispatch->GetTypeInfoCount(&count), platform::automation::S_OK);
    EXPECT_EQ(count, 1u);
    const platform::automation::InterfaceInfo* info = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, &info), platform::automation::S_OK);
    EXPECT_STREQ(info->name, "IOrvDeviceNetCom");
    EXPECT_STREQ(info->helpString, "IOrvDeviceNetCom Interface");
    EXPECT_EQ(info->iid, platform::automation::MakeGuid("{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}"));
    EXPECT_TRUE(platform::automation::CheckVtableSlots(*info)) << "a vtable slot differs from where the compiler put the member";

    struct Expected {
        platform::automation::DISPID dispId;
        std::uint32_t slot;
        const char* signature;
    };
    const Expected expected[] = {
        {1, 7, "LoadVXD(rval: long*, portAddress: short, irq: short, Config: short*)"},
        {2, 8, "UnloadVXD(rval: long*)"},
        {3, 9, "DNAllocate(rval: long*, nodeAddress: short, connectionType: short, buffer: short*)"},
        {4, 10, "DNFree(rval: long*, nodeAddress: short, connectionType: short, buffer: short*)"},
        {5, 11, "DNGetAttribute(rval: long*, nodeAddress: short, clss: short, instance: short, attr: short, "
                "buffer: short*)"},
        {6, 12, "DNSetAttribute(rval: long*, nodeAddress: short, clss: short, instance: short, attr: short, "
                "rlen: short, buffer: short*)"},
        {7, 13, "CANRcv(rval: long*, radd: short*, rlen: short*, buf: short*)"},
        {8, 14, "CANXmit(rval: long*, addr: short, xlen: short, bptr: short*)"},
        {9, 15, "DNPoll(rval: long*, txid: short, ntxbytes: short, rxid: short*, nrxbytes: short*, buffer: short*)"},
        {10, 16, "NetworkWho(rval: long*, nodeAddress: short, buf: short*)"},
        {11, 17, "Init(rval: long*, dwParam: bytes*)"},
        {12, 18, "Close(rval: long*)"},
        {13, 19, "OpenModule(rval: long*, Address: int, dwParam: bytes*)"},
        {14, 20, "CloseModule(rval: long*, Address: int)"},
        {15, 21, "IsInitialized(rval: long*)"},
        {17, 22, "SetTimeout(rval: long*, iTimeout: unsigned long)"},
        {18, 23, "GetCANMessage(rval: long*, str: short*)"},
        {19, 24, "DNService(rval: long*, nodeAddress: short, cls: short, inst: short, srv: short, len: short, "
                 "buffer: short*)"},
    };
    ASSERT_EQ(info->methods.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const platform::automation::MethodInfo& method = info->methods[i];
        EXPECT_EQ(Signature(method), expected[i].signature);
        EXPECT_EQ(method.dispId, expected[i].dispId) << method.name;
        EXPECT_EQ(method.vtableSlot, expected[i].slot) << method.name;
        EXPECT_EQ(std::string(method.helpString), "method " + std::string(method.name));
    }

    const char* names[] = {"dngetattribute", "BUFFER", "attr"};
    platform::automation::DISPID ids[3] = {};
    ASSERT_EQ(dispatch->GetIDsOfNames(names, 3, ids), platform::automation::S_OK);
    EXPECT_EQ(ids[0], 5);
    EXPECT_EQ(ids[1], 5) << "buffer is the sixth parameter";
    EXPECT_EQ(ids[2], 4);
}

TEST_F(ServerLibrary, AnUnknownOrUnregisteredProgIdFailsCleanly)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch;
    std::string why;
    EXPECT_EQ(platform::automation::CreateDispatch("OrvDeviceNetDriver.Nothing", dispatch, &why), platform::automation::CO_E_CLASSSTRING);
    EXPECT_EQ(why, "Invalid class string: ProgID \"OrvDeviceNetDriver.Nothing\" is not registered");
    EXPECT_FALSE(dispatch);

    ASSERT_EQ(platform::automation::UnregisterServerLibrary(kLibraryPath, &why), platform::automation::S_OK) << why;
    for (const std::string_view name : {kOrvDeviceNetComProgId, kOrvDeviceNetComIndependentProgId}) {
        EXPECT_EQ(platform::automation::CreateDispatch(name, dispatch, &why), platform::automation::CO_E_CLASSSTRING) << name;
        EXPECT_EQ(why, "Invalid class string: ProgID \"" + std::string(name) + "\" is not registered");
        EXPECT_FALSE(dispatch);
    }
    EXPECT_EQ(platform::automation::CreateDispatch(platform::automation::GuidToString(kOrvDeviceNetComClsid), dispatch, &why), platform::automation::REGDB_E_CLASSNOTREG);
}

TEST_F(ServerLibrary, RefusesUnknownMembersAndWrongCountsBeforeTheDriverSeesThem)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
    ASSERT_EQ(Call(dispatch.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0) << "the SST card opens on sim";
    std::array<char, 1032> trace{};
    ASSERT_EQ(Call(dispatch.Get(), 18, {VARIANT::Bytes(trace.data())}).rval, 0) << "the trace is fetched and emptied";

    std::array<std::uint8_t, 152> buffer{};
    std::int16_t value = 0;
    struct Refused {
        platform::automation::DISPID dispId;
        std::vector<VARIANT> rest;
        platform::automation::HRESULT expected;
    };
    const Refused refused[] = {
        {16, {}, platform::automation::DISP_E_MEMBERNOTFOUND},
        {16, {VARIANT::I2(kNode), VARIANT::Bytes(buffer.data())}, platform::automation::DISP_E_MEMBERNOTFOUND},
        {0, {}, platform::automation::DISP_E_MEMBERNOTFOUND},
        {20, {}, platform::automation::DISP_E_MEMBERNOTFOUND},
        {-1, {}, platform::automation::DISP_E_MEMBERNOTFOUND},
        {1000, {}, platform::automation::DISP_E_MEMBERNOTFOUND},
        // Close with an argument too many: had it run, the driver would be gone.
        {12, {VARIANT::I2(0)}, platform::automation::DISP_E_BADPARAMCOUNT},
        // A Get_Attribute_Single without its buffer: had it run, a request frame would be traced.
        {5, {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1)}, platform::automation::DISP_E_BADPARAMCOUNT},
        {5,
         {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1), VARIANT::Bytes(buffer.data()),
          VARIANT::I2(0)},
         platform::automation::DISP_E_BADPARAMCOUNT},
        {8, {VARIANT::I2(kExplicitRequestId), VARIANT::I2(0)}, platform::automation::DISP_E_BADPARAMCOUNT},
        {11, {}, platform::automation::DISP_E_BADPARAMCOUNT},
        {7, {VARIANT::Ref(&value), VARIANT::Ref(&value)}, platform::automation::DISP_E_BADPARAMCOUNT},
    };
    for (const Refused& call : refused) {
        std::int32_t rval = kUntouched;
        std::vector<VARIANT> args{VARIANT::Ref(&rval)};
        args.insert(args.end(), call.rest.begin(), call.rest.end());
        EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), call.dispId, args), call.expected)
            << "DISPID " << call.dispId << " with " << args.size() << " arguments";
        EXPECT_EQ(rval, kUntouched) << "DISPID " << call.dispId;
    }
    // No rval at all.
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 15, std::span<const VARIANT>()), platform::automation::DISP_E_BADPARAMCOUNT);

    EXPECT_EQ(Call(dispatch.Get(), 15).rval, 0) << "the driver is still open";
    trace.fill('#');
    ASSERT_EQ(Call(dispatch.Get(), 18, {VARIANT::Bytes(trace.data())}).rval, 0);
    EXPECT_STREQ(trace.data(), "") << "no frame went out";

    // The same request accepted: its frame shows in the trace (answered or not).
    ASSERT_EQ(Call(dispatch.Get(), 17, {VARIANT::UI4(100)}).rval, 0);
    const Outcome get = Call(dispatch.Get(), 5,
                             {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1),
                              VARIANT::Bytes(buffer.data())});
    EXPECT_EQ(get.status, platform::automation::S_OK);
    ASSERT_EQ(Call(dispatch.Get(), 18, {VARIANT::Bytes(trace.data())}).rval, 0);
    EXPECT_NE(std::string(trace.data()).find("[5FC] "), std::string::npos) << trace.data();
}

TEST_F(ServerLibrary, ConvertsArgumentsOfOtherTypesToTheDeclaredOnes)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    alignas(2) std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
    std::uint32_t argErr = 99;

    // An address can only travel as one: a 32-bit value for a record is refused.
    std::int32_t rval = kUntouched;
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 11, std::array{VARIANT::Ref(&rval), VARIANT::I4(0x1000)}, &argErr),
              platform::automation::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(rval, kUntouched);
    // The record as a short by reference, the type the other buffers are declared with.
    EXPECT_EQ(Call(dispatch.Get(), 11, {VARIANT::Ref(reinterpret_cast<std::int16_t*>(settings.data()))}).rval, 0);
    ASSERT_EQ(Call(dispatch.Get(), 17, {VARIANT::I4(100)}).rval, 0) << "a long to unsigned long";

    // Address as long (and as unsigned short) to the parameter declared int.
    EXPECT_EQ(Call(dispatch.Get(), 14, {VARIANT::I4(kNode)}).rval, 0);
    EXPECT_EQ(Call(dispatch.Get(), 14, {VARIANT::UI2(kNode)}).rval, 0);
    rval = kUntouched;
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 14, std::array{VARIANT::Ref(&rval), VARIANT::UI4(0x80000000u)},
                                &argErr),
              platform::automation::DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 1u);

    // long values to short parameters, within range and out of it.
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 17, std::array{VARIANT::Ref(&rval), VARIANT::I4(-1)}, &argErr),
              platform::automation::DISP_E_OVERFLOW)
        << "a negative time-out is no huge one";
    rval = kUntouched;
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 5,
                                std::array{VARIANT::Ref(&rval), VARIANT::I4(kNode), VARIANT::I4(1), VARIANT::I4(40000),
                                           VARIANT::I4(1), VARIANT::Bytes(buffer.data())},
                                &argErr),
              platform::automation::DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 3u);
    EXPECT_EQ(rval, kUntouched);
    // A 32-bit integer by reference is no buffer of the declared 16-bit kind.
    std::int32_t wide = 0;
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 10,
                                std::array{VARIANT::Ref(&rval), VARIANT::I2(kNode), VARIANT::Ref(&wide)}, &argErr),
              platform::automation::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    // rval through an int reference.
    std::int32_t asInt = kUntouched;
    EXPECT_EQ(platform::automation::InvokeMethod(dispatch.Get(), 15, std::array{VARIANT::RefInt(&asInt)}), platform::automation::S_OK);
    EXPECT_EQ(asInt, 0);
}

TEST_F(ServerLibrary, InstancesShareTheOneDriverObject)
{
    platform::automation::ComPtr<platform::automation::IDispatch> first = Create();
    platform::automation::ComPtr<platform::automation::IDispatch> second = Create();
    ASSERT_TRUE(first && second);
    std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
    ASSERT_EQ(Call(first.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);

    EXPECT_EQ(Call(second.Get(), 15).rval, 0) << "the other instance sees the open driver";
    EXPECT_EQ(Call(second.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, -1) << "a second Init is refused";
    EXPECT_EQ(Call(first.Get(), 15).rval, 0) << "and leaves the driver as it was";

    first.Reset();
    platform::automation::CoFreeUnusedLibraries();
    platform::automation::ComPtr<platform::automation::IDispatch> fresh = Create();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(Call(fresh.Get(), 15).rval, 0) << "the driver outlives the instance that opened it";

    EXPECT_EQ(Call(second.Get(), 12).rval, -1) << "Close reports -1 also when it closed";
    EXPECT_EQ(Call(fresh.Get(), 15).rval, -1);
    EXPECT_EQ(Call(fresh.Get(), 12).rval, -1);
    EXPECT_EQ(Call(fresh.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0) << "the card can open again";
}

TEST_F(ServerLibrary, NetworkWhoAndCloseAlwaysYieldMinusOne)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    std::array<std::uint8_t, 152> buffer{};
    buffer.fill(0xA5);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "without a driver" : "with an open driver");
        const Outcome who = Call(dispatch.Get(), 10, {VARIANT::I2(kNode), VARIANT::Bytes(buffer.data())});
        EXPECT_EQ(who.status, platform::automation::S_OK);
        EXPECT_EQ(who.rval, -1);
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xA5), 152) << "the buffer is not touched";
        if (round == 0) {
            const Outcome close = Call(dispatch.Get(), 12);
            EXPECT_EQ(close.status, platform::automation::S_OK);
            EXPECT_EQ(close.rval, -1);
            std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
            ASSERT_EQ(Call(dispatch.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);
        }
    }
    const Outcome close = Call(dispatch.Get(), 12);
    EXPECT_EQ(close.status, platform::automation::S_OK);
    EXPECT_EQ(close.rval, -1);
    EXPECT_EQ(Call(dispatch.Get(), 15).rval, -1) << "yet the driver is closed";
}

TEST_F(ServerLibrary, AFailedInitLeavesNoDriver)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    std::array<std::uint8_t, 88> settings = SettingsRecord(7);
    const Outcome init = Call(dispatch.Get(), 11, {VARIANT::Bytes(settings.data())});
    EXPECT_EQ(init.status, platform::automation::S_OK);
    EXPECT_EQ(init.rval, -1);
    EXPECT_EQ(Call(dispatch.Get(), 15).rval, -1);
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(Call(dispatch.Get(), 5,
                   {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1), VARIANT::Bytes(buffer.data())})
                  .rval,
              -1)
        << "no card to ask";
}

TEST_F(ServerLibrary, CanUnloadOnlyWithoutObjectsLocksOrAnOpenDriver)
{
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch = Create();
    ASSERT_TRUE(dispatch);
    void* handle = dlopen(kLibraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const auto canUnloadNow = reinterpret_cast<platform::automation::DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    const auto getClassObject = reinterpret_cast<platform::automation::DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    ASSERT_NE(canUnloadNow, nullptr);
    ASSERT_NE(getClassObject, nullptr);

    EXPECT_EQ(canUnloadNow(), platform::automation::S_FALSE) << "an object is alive";
    dispatch.Reset();
    EXPECT_EQ(canUnloadNow(), platform::automation::S_OK);

    platform::automation::ComPtr<platform::automation::IClassFactory> factory;
    ASSERT_EQ(getClassObject(&kOrvDeviceNetComClsid, &platform::automation::IID_IClassFactory, factory.Receive()), platform::automation::S_OK);
    EXPECT_EQ(canUnloadNow(), platform::automation::S_FALSE) << "the factory is held";
    ASSERT_EQ(factory->LockServer(true), platform::automation::S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), platform::automation::S_FALSE) << "a server lock is held";
    ASSERT_EQ(getClassObject(&kOrvDeviceNetComClsid, &platform::automation::IID_IClassFactory, factory.Receive()), platform::automation::S_OK);
    ASSERT_EQ(factory->LockServer(false), platform::automation::S_OK);
    const platform::automation::CLSID other = platform::automation::MakeGuid("{7E1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}");
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(&other, &platform::automation::IID_IClassFactory, &none), platform::automation::CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);

    // An open driver keeps the library, though no object is left.
    platform::automation::ComPtr<platform::automation::IDispatch> opener;
    ASSERT_EQ(factory->CreateInstance(nullptr, platform::automation::IID_IDispatch, opener.Receive()), platform::automation::S_OK);
    factory.Reset();
    std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
    ASSERT_EQ(Call(opener.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);
    opener.Reset();
    EXPECT_EQ(canUnloadNow(), platform::automation::S_FALSE) << "the driver object is open";
    dlclose(handle); // from here only the runtime holds the library
    platform::automation::CoFreeUnusedLibraries();
    ASSERT_TRUE(LibraryLoaded()) << "the library went with its driver object open";

    platform::automation::ComPtr<platform::automation::IDispatch> closer = Create();
    ASSERT_TRUE(closer);
    EXPECT_EQ(Call(closer.Get(), 15).rval, 0) << "a new instance finds the open driver";
    Call(closer.Get(), 12);
    closer.Reset();
    EXPECT_EQ(platform::automation::CoFreeUnusedLibraries(), 1u);
    EXPECT_FALSE(LibraryLoaded()) << "the library is released once nothing holds it";
}

// An outer object that aggregates OrvDeviceNetCom and hands every interface but its own to it.
class Outer final : public platform::automation::IUnknown {
public:
    platform::automation::HRESULT QueryInterface(const platform::automation::IID& iid, void** object) override
    {
        if (object == nullptr) {
            return platform::automation::E_POINTER;
        }
        if (iid == platform::automation::IID_IUnknown) {
            *object = this;
            AddRef();
            return platform::automation::S_OK;
        }
        if (inner) {
            return inner->QueryInterface(iid, object);
        }
        *object = nullptr;
        return platform::automation::E_NOINTERFACE;
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

    platform::automation::ComPtr<platform::automation::IUnknown> inner;
    std::uint32_t references = 1;
};

TEST_F(ServerLibrary, CanBeAggregated)
{
    auto* outer = new Outer;
    std::string why;
    ASSERT_EQ(platform::automation::CoCreateInstance(kOrvDeviceNetComClsid, outer, platform::automation::IID_IUnknown, outer->inner.Receive(), &why),
              platform::automation::S_OK)
        << why;
    platform::automation::ComPtr<platform::automation::IDispatch> dispatch;
    ASSERT_EQ(outer->QueryInterface(platform::automation::IID_IDispatch, dispatch.Receive()), platform::automation::S_OK);
    EXPECT_EQ(outer->references, 2u) << "the inner interface counts on the outer object";
    platform::automation::ComPtr<platform::automation::IUnknown> identity;
    ASSERT_EQ(dispatch.As(identity), platform::automation::S_OK);
    EXPECT_EQ(identity.Get(), static_cast<platform::automation::IUnknown*>(outer));
    EXPECT_EQ(Call(dispatch.Get(), 10, {VARIANT::I2(kNode), VARIANT::Bytes(nullptr)}).status, platform::automation::E_POINTER)
        << "a null buffer never reaches the method";
    EXPECT_EQ(Call(dispatch.Get(), 15).rval, -1);

    platform::automation::ComPtr<platform::automation::IUnknown> refused;
    EXPECT_EQ(platform::automation::CoCreateInstance(kOrvDeviceNetComClsid, outer, platform::automation::IID_IDispatch, refused.Receive()),
              platform::automation::CLASS_E_NOAGGREGATION);
    identity.Reset();
    dispatch.Reset();
    EXPECT_EQ(outer->references, 1u);
    outer->Release();
}

TEST_F(ServerLibrary, ExportsOnlyTheFourServerEntryPoints)
{
    const std::string command = "nm -D --defined-only '" + kLibraryPath + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        const std::size_t space = text.rfind(' ');
        names.insert(space == std::string::npos ? text : text.substr(space + 1));
    }
    const int status = pclose(pipe);
    if (status != 0 && names.empty()) {
        GTEST_SKIP() << "nm (binutils) is not available to list the dynamic symbols";
    }
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}));
}

} // namespace
} // namespace orv::comtest
