// The candump -L format both ways, the interface name a bus's log carries, and the log file with
// its write errors; the log read back by can-utils' log2asc and python-can.

#include "Frames.h"
#include "canbus/CandumpFormat.h"
#include "canbus/CandumpLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace canbus {
namespace {

using testing::MakeFrame;
using testing::SameFrame;

struct LineRow {
    Frame frame;
    std::uint64_t microseconds;
    std::string_view interface;
    std::string_view line;
};

const LineRow kLines[] = {
    {MakeFrame(0x5FC, {0x00, 0x0E, 0x01, 0x01, 0x07}), 1700000000123456ull, "can0",
     "(1700000000.123456) can0 5FC#000E010107"},
    {MakeFrame(0x454, {0x00, 0x0E, 0x01, 0x01, 0x07}), 1700000000000123ull, "can0",
     "(1700000000.000123) can0 454#000E010107"},
    {MakeFrame(0x3F, {0xAB}), 5, "vcan1", "(0.000005) vcan1 03F#AB"},
    {MakeFrame(0x005, {0xAB}), 1999999, "vcan1", "(1.999999) vcan1 005#AB"},
    {MakeFrame(0x5FD, {}), 0, "can0", "(0.000000) can0 5FD#"},
    {MakeFrame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8}), 42000000, "can3", "(42.000000) can3 7FF#0102030405060708"},
    {MakeFrame(0x1ABCDE, {0xFF}, true), 0, "can0", "(0.000000) can0 001ABCDE#FF"},
    {MakeFrame(0x123, {}, false, true), 0, "can0", "(0.000000) can0 123#R"},
};

TEST(CandumpFormat, WritesEachFrameAsOneLine)
{
    for (const LineRow& row : kLines) {
        EXPECT_EQ(CandumpLine(row.frame, row.microseconds, row.interface), row.line);
    }
    Frame remote = MakeFrame(0x123, {}, false, true);
    remote.length = 2;
    EXPECT_EQ(CandumpLine(remote, 0, "can0"), "(0.000000) can0 123#R2");
    EXPECT_EQ(CandumpTime(1700000000000001ull), "1700000000.000001");
}

TEST(CandumpFormat, ReadsBackWhatItWrites)
{
    for (const LineRow& row : kLines) {
        const auto entry = ParseCandumpLine(std::string(row.line) + "\n");
        ASSERT_TRUE(entry) << row.line;
        EXPECT_EQ(entry->microseconds, row.microseconds) << row.line;
        EXPECT_EQ(entry->interface, row.interface);
        EXPECT_TRUE(SameFrame(entry->frame, row.frame)) << row.line;
    }
    const auto remote = ParseCandumpLine("(1.5) can0 123#R2\r\n");
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->microseconds, 1500000u) << "a shorter fraction is tenths, hundredths ...";
    EXPECT_TRUE(remote->frame.remote);
    EXPECT_EQ(remote->frame.length, 2);
    const auto lower = ParseCandumpLine("(1.000000) can0 5fc#0a0b");
    ASSERT_TRUE(lower);
    EXPECT_TRUE(SameFrame(lower->frame, MakeFrame(0x5FC, {0x0A, 0x0B})));
}

TEST(CandumpFormat, RefusesWhatIsNoLineOfTheFormat)
{
    for (const std::string_view line : {
             "",
             "(1.000000) can0",                           // no frame
             "1.000000 can0 123#00",                      // no parentheses
             "(1,000000) can0 123#00",                    // no dot
             "(1.0000001) can0 123#00",                   // seven digits of fraction
             "(99999999999999.000000) can0 123#00",       // seconds beyond the microsecond count
             "(1.000000)  can0 123#00",                   // no interface between the blanks
             "(1.000000) can0 123#00 extra",              // more fields
             "(1.000000) can0 12#00",                     // two digits of identifier
             "(1.000000) can0 0123#00",                   // four
             "(1.000000) can0 800#00",                    // beyond 11 bits
             "(1.000000) can0 20000000#00",               // beyond 29 bits (an error frame)
             "(1.000000) can0 123",                       // no '#'
             "(1.000000) can0 123#0",                     // half a byte
             "(1.000000) can0 123#000102030405060708",    // nine bytes
             "(1.000000) can0 123##100",                  // CAN FD
             "(1.000000) can0 123#R9",                    // remote length beyond 8
             "(1.000000) can0 123#R22",
             "(1.000000) can0 12G#00",
         }) {
        EXPECT_FALSE(ParseCandumpLine(line)) << line;
    }
}

TEST(CandumpFormat, InterfaceNameFollowsTheBus)
{
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"tcp://127.0.0.1:35468/can3", "can3"},
        {"socketcan:vcan0", "vcan0"},
        {"sim", "can0"},
        {"sim:node=5,timing=wire", "can0"},
        {"nowhere", "can0"},
    };
    for (const auto& [bus, name] : rows) {
        EXPECT_EQ(CandumpInterface(bus), name) << bus;
    }
}

std::filesystem::path TempFile(const std::string& name)
{
    return std::filesystem::temp_directory_path() / (name + "." + std::to_string(getpid()));
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(CandumpLog, WritesEveryLineAtOnce)
{
    const auto path = TempFile("candump-log");
    CandumpLog log;
    std::string error;
    ASSERT_TRUE(log.Open(path.string(), "can1", error)) << error;
    EXPECT_TRUE(log.Write(MakeFrame(0x5FE, {0x00, 0x4B}), 1000001));
    // On disk before the log is closed.
    EXPECT_EQ(ReadFile(path), "(1.000001) can1 5FE#004B\n");
    EXPECT_TRUE(log.Write(MakeFrame(0x5FB, {}), 2000000));
    EXPECT_TRUE(log.Close());
    EXPECT_EQ(ReadFile(path), "(1.000001) can1 5FE#004B\n(2.000000) can1 5FB#\n");
    EXPECT_EQ(log.Lines(), 2u);
    EXPECT_EQ(log.LossText(), "");
    std::filesystem::remove(path);

    EXPECT_FALSE(log.Open((path / "no-such-folder" / "x.log").string(), "can0", error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(CandumpLog, CountsWhatAFullDeviceLost)
{
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    CandumpLog log;
    std::string error;
    ASSERT_TRUE(log.Open("/dev/full", "can0", error)) << error;
    EXPECT_FALSE(log.Write(MakeFrame(0x5FE, {0x00}), 1));
    EXPECT_FALSE(log.Write(MakeFrame(0x5FE, {0x00}), 2));
    EXPECT_TRUE(log.Failed());
    EXPECT_EQ(log.Lost(), 2u);
    EXPECT_FALSE(log.Close());
    EXPECT_EQ(log.LossText(), "2 of 2 frames were not written (No space left on device)");
}

// Runs a command; its standard output, or nullopt when it could not run or failed.
std::optional<std::string> RunCommand(const std::string& command)
{
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::string out;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        out.append(buffer, n);
    }
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

class CandumpReadBack : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = TempFile("candump-readback.log");
        CandumpLog log;
        std::string error;
        ASSERT_TRUE(log.Open(path.string(), "can0", error)) << error;
        log.Write(MakeFrame(0x5FE, {0x00, 0x4B, 0x03, 0x01, 0x01, 0x00}), 1700000000000000ull);
        log.Write(MakeFrame(0x5FB, {0x00, 0xCB, 0x00}), 1700000000001500ull);
        log.Write(MakeFrame(0x3FF, {0x82, 0x20, 0x20, 0x20}), 1700000000002000ull);
        log.Write(MakeFrame(0x5FD, {}), 1700000000003000ull);
    }
    void TearDown() override { std::filesystem::remove(path); }

    std::filesystem::path path;
};

TEST_F(CandumpReadBack, Log2ascReadsIt)
{
    if (!std::filesystem::exists("/usr/bin/log2asc")) {
        GTEST_SKIP() << "can-utils' log2asc is not installed";
    }
    const auto asc = RunCommand("/usr/bin/log2asc -I " + path.string() + " can0");
    ASSERT_TRUE(asc);
    EXPECT_NE(asc->find("0.000000 1  5FE             Rx   d 6 00 4B 03 01 01 00"), std::string::npos) << *asc;
    EXPECT_NE(asc->find("0.001500 1  5FB             Rx   d 3 00 CB 00"), std::string::npos) << *asc;
    EXPECT_NE(asc->find("0.002000 1  3FF             Rx   d 4 82 20 20 20"), std::string::npos) << *asc;
    EXPECT_NE(asc->find("0.003000 1  5FD             Rx   d 0"), std::string::npos) << *asc;
}

TEST_F(CandumpReadBack, PythonCanReadsIt)
{
    if (!RunCommand("/usr/bin/python3 -c 'import can'")) {
        GTEST_SKIP() << "python3-can is not installed";
    }
    const auto text = RunCommand("/usr/bin/python3 -c \"import can, sys\n"
                                 "for m in can.CanutilsLogReader(sys.argv[1]):\n"
                                 "    print('%.6f %s %03X %s' % (m.timestamp, m.channel, m.arbitration_id, "
                                 "m.data.hex().upper()))\" " +
                                 path.string());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "1700000000.000000 can0 5FE 004B03010100\n"
                     "1700000000.001500 can0 5FB 00CB00\n"
                     "1700000000.002000 can0 3FF 82202020\n"
                     "1700000000.003000 can0 5FD \n");
}

} // namespace
} // namespace canbus
