// Reset and power-up: a new MAC ID or data rate comes into use, the out-of-box configuration, the
// factory password, the rotary switches, bus-off.

#include "DeviceFixture.h"

#include "devsim/SimBusDevice.h"

namespace devsim::test {
namespace {

class Reset : public DeviceTest {};

TEST_F(Reset, AnswersThenReleasesEverything)
{
    OpenPoll();
    EXPECT_EQ(Send("5FC: 00 05 01 01 00"), Frames{"5FB: 00 85"});
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "no connection any more";
    EXPECT_TRUE(Send("5FD:").empty());
    Allocate(0x01);
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00}));
}

TEST_F(Reset, ANewMacIdComesIntoUseAtReset)
{
    Allocate(0x03);
    ASSERT_EQ(Set(3, 1, 1, {10}), Bytes{0x90});
    EXPECT_EQ(Value(3, 1, 1), Bytes{10}) << "stored";
    EXPECT_EQ(Value(3, 1, 1), Bytes{10}) << "still answering at 63";
    EXPECT_EQ(device->MacId(), 63);
    EXPECT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85}) << "answered from the old MAC ID";
    EXPECT_EQ(device->MacId(), 10);
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
    EXPECT_EQ(Send("456: 00 4B 03 01 03 00"), Frames{"453: 00 CB 00"});
    EXPECT_EQ(Send("454: 00 0E 05 02 04"), Frames{"453: 00 8E CA 03"}) << "poll responses on 0x3CA";
    EXPECT_EQ(Send("454: 00 10 05 02 09 00 00"), Frames{"453: 00 90 00 00"});
    EXPECT_EQ(Send("455:").front(), "3CA: 00 00 00 00 00 00 00 00");
}

TEST_F(Reset, ANewDataRateComesIntoUseAtReset)
{
    Options options;
    options.busBaudRate = 0;
    Make(options);
    Allocate(0x01);
    ASSERT_EQ(Set(3, 1, 2, {1}), Bytes{0x90});
    EXPECT_EQ(Value(3, 1, 2), Bytes{1});
    EXPECT_TRUE(device->Online());
    EXPECT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85});
    EXPECT_FALSE(device->Online()) << "250K on a 125K bus";
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
}

TEST_F(Reset, OutOfBoxConfigurationKeepsTheIdentity)
{
    Allocate(0x01);
    ASSERT_EQ(Set(1, 1, 0, {0xD2, 0x04}), Bytes{0x90});
    ASSERT_EQ(Set(1, 1, 6, {0x01, 0x02, 0x03, 0x04}), Bytes{0x90});
    ASSERT_EQ(Set(64, 1, 3, {0x00, 0x4B, 0x00, 0x00}), Bytes{0x90});
    ASSERT_EQ(Set(3, 1, 1, {10}), Bytes{0x90});
    ASSERT_EQ(Set(3, 1, 3, {1}), Bytes{0x90});
    ASSERT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85});
    ASSERT_EQ(device->MacId(), 10);
    EXPECT_EQ(Send("456: 00 4B 03 01 01 00"), Frames{"453: 00 CB 00"});
    EXPECT_EQ(Send("454: 00 05 01 01 01"), Frames{"453: 00 85"}) << "type 1: out of box";
    EXPECT_EQ(device->MacId(), 63);
    Allocate(0x01);
    EXPECT_EQ(Value(64, 1, 3), (Bytes{0x80, 0x25, 0x00, 0x00}));
    EXPECT_EQ(Value(3, 1, 3), Bytes{0});
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x31, 0x00})) << "not configured";
    EXPECT_EQ(Value(1, 1, 6), (Bytes{0x01, 0x02, 0x03, 0x04})) << "the identity stays";
}

TEST_F(Reset, TheDeviceRestartsForAWhile)
{
    Options options;
    options.restartMs = 500;
    Make(options);
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty()) << "starting";
    Wait(500);
    Allocate(0x01);
    ASSERT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85});
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
    Wait(490);
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
    Wait(10);
    EXPECT_EQ(Send("5FE: 00 4B 03 01 01 00"), Frames{"5FB: 00 CB 00"});
}

TEST_F(Reset, ThePasswordOpensTheIdentityUntilReset)
{
    Allocate(0x01);
    EXPECT_EQ(Set(1, 1, 1, {0x34, 0x12}), Error(0x0E));
    EXPECT_EQ(Set(1, 1, 0, {0xD3, 0x04}), Error(0x0F));
    ASSERT_EQ(Set(1, 1, 0, {0xD2, 0x04}), Bytes{0x90});
    EXPECT_EQ(Set(1, 1, 1, {0x34, 0x12}), Bytes{0x90});
    EXPECT_EQ(Set(1, 1, 4, {0x01, 0x0A}), Bytes{0x90});
    EXPECT_EQ(Set(1, 1, 4, {0x00, 0x0A}), Error(0x09)) << "major revision 0";
    EXPECT_EQ(Set(1, 1, 4, {0x80, 0x0A}), Error(0x09)) << "major revision 128";
    EXPECT_EQ(Set(1, 1, 7, Text("")), Error(0x09));
    const std::string longName = "Brelin DeviceNet to RS-232 gateway"; // 34 characters
    EXPECT_EQ(Set(1, 1, 7, Text(longName)), Error(0x09));
    EXPECT_EQ(Set(1, 1, 7, Text("Brelin DeviceNet RS-232 gateway")), Bytes{0x90}) << "31 characters";
    EXPECT_EQ(Value(1, 1, 7), Text("Brelin DeviceNet RS-232 gateway")) << "a fragmented request and answer";
    ASSERT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85});
    Allocate(0x01);
    EXPECT_EQ(Value(1, 1, 1), (Bytes{0x34, 0x12})) << "kept";
    EXPECT_EQ(Value(1, 1, 4), (Bytes{0x01, 0x0A}));
    EXPECT_EQ(Set(1, 1, 1, {0xB7, 0x04}), Error(0x0E)) << "locked again";
}

TEST_F(Reset, SwitchesOverrideTheStoredValues)
{
    Options options;
    options.macSwitch = 5;
    options.baudSwitch = 1;
    Make(options);
    EXPECT_EQ(device->MacId(), 5);
    EXPECT_EQ(Send("42E: 00 4B 03 01 01 00"), Frames{"42B: 00 CB 00"});
    EXPECT_EQ(Send("42C: 00 10 03 01 01 0A"), Frames{"42B: 00 94 0E FF"}) << "set by the switch";
    EXPECT_EQ(Send("42C: 00 10 03 01 02 00"), Frames{"42B: 00 94 0E FF"});
    EXPECT_EQ(Send("42C: 00 0E 03 01 02"), Frames{"42B: 00 8E 01"});
    device->SetSwitches(7, 1);
    EXPECT_EQ(Send("42C: 00 0E 03 01 06"), Frames{"42B: 00 8E 01"}) << "changed since power-up";
    EXPECT_EQ(Send("42C: 00 0E 03 01 07"), Frames{"42B: 00 8E 00"});
    EXPECT_EQ(Send("42C: 00 0E 03 01 08"), Frames{"42B: 00 8E 07"});
    EXPECT_EQ(Send("42C: 00 05 01 01"), Frames{"42B: 00 85"}) << "Reset without a type";
    EXPECT_EQ(Send("43E: 00 4B 03 01 01 00"), Frames{"43B: 00 CB 00"});
    EXPECT_EQ(Send("43C: 00 0E 03 01 06"), Frames{"43B: 00 8E 00"});
    EXPECT_EQ(Send("43C: 00 0E 03 01 01"), Frames{"43B: 00 8E 07"});
}

// Without switches the device reports the MAC ID and data rate in use, and both are set over the
// network; the switches' programmable positions report themselves.
TEST_F(Reset, SwitchesInTheirProgrammablePositionsReportThemselves)
{
    const struct {
        const char* faults;
        Bytes macSwitch; // before and after a Reset that brings MAC ID 10 and 250K into use
        Bytes baudSwitch;
        Bytes macSwitchAfter;
        Bytes baudSwitchAfter;
    } rows[] = {
        {"none", {63}, {0}, {10}, {1}},
        {"switches=99/9", {99}, {9}, {99}, {9}},
    };
    for (const auto& row : rows) {
        Options options;
        std::string error;
        ASSERT_TRUE(ParseFaults(row.faults, options.faults, error)) << error;
        Make(options);
        Allocate(0x01);
        EXPECT_EQ(Value(3, 1, 8), row.macSwitch) << row.faults;
        EXPECT_EQ(Value(3, 1, 9), row.baudSwitch) << row.faults;
        ASSERT_EQ(Set(3, 1, 1, {10}), Bytes{0x90}) << row.faults;
        ASSERT_EQ(Set(3, 1, 2, {1}), Bytes{0x90}) << row.faults;
        ASSERT_EQ(Request({0x05, 0x01, 0x01}), Bytes{0x85});
        ASSERT_EQ(Send("456: 00 4B 03 01 01 00"), Frames{"453: 00 CB 00"}) << row.faults;
        EXPECT_EQ(Send("454: 00 0E 03 01 08"), Frames{"453: 00 8E " + Hex(row.macSwitchAfter)}) << row.faults;
        EXPECT_EQ(Send("454: 00 0E 03 01 09"), Frames{"453: 00 8E " + Hex(row.baudSwitchAfter)}) << row.faults;
        EXPECT_EQ(Send("454: 00 0E 03 01 06"), Frames{"453: 00 8E 00"}) << "no switch was moved";
    }
}

// Off the bus the device hears and answers nothing; plugged in again it goes on where it was.
TEST_F(Reset, OffTheBusItKeepsItsConnections)
{
    Allocate(0x01);
    device->SetOffBus(true);
    EXPECT_FALSE(device->Online());
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty());
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
    device->SetOffBus(false);
    EXPECT_TRUE(device->Online());
    EXPECT_EQ(Send("5FC: 00 0E 01 01 01"), Frames{"5FB: 00 8E B7 04"}) << "still allocated";
}

TEST_F(Reset, BusOffIsCountedAndHoldsTheDeviceUnlessTheInterruptIsEnabled)
{
    Allocate(0x01);
    ASSERT_EQ(Set(3, 1, 3, {1}), Bytes{0x90});
    device->InjectBusOff();
    EXPECT_TRUE(device->Online());
    EXPECT_EQ(Value(3, 1, 4), Bytes{1});
    ASSERT_EQ(Set(3, 1, 3, {0}), Bytes{0x90});
    device->InjectBusOff();
    EXPECT_FALSE(device->Online());
    EXPECT_TRUE(Send("5FC: 00 0E 03 01 04").empty());
    device->PowerCycle();
    Wait(10);
    EXPECT_TRUE(device->Online());
    Allocate(0x01);
    EXPECT_EQ(Value(3, 1, 4), Bytes{2});
    EXPECT_EQ(Set(3, 1, 4, {0}), Bytes{0x90});
    EXPECT_EQ(Value(3, 1, 4), Bytes{0});
}

TEST(SimulatedDevice, TheSimBusAttachesItAtTheMacIdGiven)
{
    const auto node = devsim::MakeSimulatedDevice(10);
    Frames sent;
    node->SetSink([&sent](const canbus::Frame& frame) { sent.push_back(FrameText(frame)); });
    node->Poll(5);
    node->OnFrame(ParseFrame("456: 00 4B 03 01 01 00"), 6);
    EXPECT_EQ(sent, Frames{"453: 00 CB 00"});
}

} // namespace
} // namespace devsim::test
