// brelinsim: its command line, and the program itself on a TCP bus with its serial side on a
// pseudo-terminal and its candump log.

#include "canbus/Bus.h"
#include "canbus/CandumpFormat.h"
#include "devsim/PseudoTerminal.h"
#include "devsim/SimCommandLine.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace devsim::test {
namespace {

using namespace std::chrono_literals;

canbus::Frame MakeFrame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes)
{
    canbus::Frame frame;
    frame.id = id;
    for (const auto byte : bytes) {
        frame.data[frame.length++] = byte;
    }
    return frame;
}

std::string FrameText(const canbus::Frame& frame) { return canbus::CandumpLine(frame, 0, "x").substr(std::string("(0.000000) x ").size()); }

bool ParseArgs(std::initializer_list<std::string_view> args, SimCommandLine& line, std::string& error)
{
    const std::vector<std::string_view> arguments(args);
    return ParseSimCommandLine(arguments, line, error);
}

TEST(BrelinsimCommandLine, TakesEveryOption)
{
    SimCommandLine line;
    std::string error;
    ASSERT_TRUE(ParseArgs({"--bus", "tcp://127.0.0.1:4000/can1", "--node", "12", "--log", "out.log", "--serial-pty",
                           "--fault", "drop=4", "--fault", "dup,second-mac=3", "--bitrate", "250000", "--no-mac-check"},
                          line, error))
        << error;
    EXPECT_EQ(line.bus, "tcp://127.0.0.1:4000/can1");
    EXPECT_EQ(line.node, 12);
    EXPECT_EQ(line.logPath, "out.log");
    EXPECT_TRUE(line.serialPty);
    EXPECT_EQ(line.bitrate, 250000u);
    EXPECT_FALSE(line.macCheck);
    EXPECT_EQ(DescribeFaults(line.faults), "drop=4,dup,second-mac=3");
}

TEST(BrelinsimCommandLine, RefusesWhatIsWrongOrMissing)
{
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"--node", "3"}, "--bus and --node are needed"},
        {{"--bus", "tcp://h/can0"}, "--bus and --node are needed"},
        {{"--bus", "tcp://h/can0", "--node", "64"}, "--node takes a MAC ID from 0 to 63, not '64'"},
        {{"--bus", "tcp://h/can0", "--node", "x"}, "--node takes a MAC ID from 0 to 63, not 'x'"},
        {{"--bus", "tcp://h/can0", "--node", "3", "--bitrate", "1000000"},
         "--bitrate takes 125000, 250000 or 500000, not '1000000'"},
        {{"--bus", "tcp://h/can0", "--node", "3", "--verbose"}, "unknown option '--verbose'"},
        {{"--bus"}, "--bus needs a value"},
    };
    for (const auto& [args, message] : cases) {
        SimCommandLine line;
        std::string error;
        EXPECT_FALSE(ParseSimCommandLine(args, line, error)) << message;
        EXPECT_EQ(error, message);
    }
    SimCommandLine line;
    std::string error;
    EXPECT_FALSE(ParseArgs({"--bus", "tcp://h/can0", "--node", "3", "--fault", "slow"}, line, error));
    EXPECT_NE(error.find("unknown fault 'slow'"), std::string::npos) << error;
    EXPECT_TRUE(ParseArgs({"--help"}, line, error));
    EXPECT_TRUE(line.help);
}

TEST(BrelinsimCommandLine, HelpShowsEveryOptionAndTheFaultSyntax)
{
    const std::string usage = SimUsage();
    for (const char* item : {"--bus", "--node", "--log", "--serial-pty", "--fault", "--bitrate", "--no-mac-check",
                             "--help", "drop=N", "dup", "delay=MS", "second-mac=M", "bad-fragments=K"}) {
        EXPECT_NE(usage.find(item), std::string::npos) << item;
    }
}

TEST(PseudoTerminalTest, CarriesBytesBothWays)
{
    std::string error;
    const auto terminal = PseudoTerminal::Open(error);
    if (!terminal) {
        GTEST_SKIP() << error;
    }
    const int user = open(terminal->Name().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(user, 0);
    ASSERT_EQ(write(user, "ab\r", 3), 3);
    std::uint8_t buffer[16];
    std::size_t got = 0;
    for (int i = 0; i < 500 && got < 3; ++i) {
        got += terminal->Read(std::span(buffer + got, sizeof buffer - got));
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(std::string(buffer, buffer + got), "ab\r") << "raw: no echo, no translation";
    const std::string out = "OK\r\n";
    ASSERT_TRUE(terminal->Write(std::span(reinterpret_cast<const std::uint8_t*>(out.data()), out.size())));
    char back[16] = {};
    ssize_t n = 0;
    for (int i = 0; i < 500 && n <= 0; ++i) {
        n = read(user, back, sizeof back);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(std::string(back, n > 0 ? static_cast<std::size_t>(n) : 0), "OK\r\n");
    close(user);
}

std::filesystem::path TempFile(const std::string& name)
{
    return std::filesystem::temp_directory_path() / (name + "." + std::to_string(getpid()));
}

std::uint16_t FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// brelinsim as a child process with its standard output on a pipe, its standard error in
// `errorFile`.
class Program {
public:
    explicit Program(const std::vector<std::string>& args, const std::string& errorFile = "/dev/null")
    {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv;
        std::vector<std::string> storage{BRELINSIM_PATH};
        storage.insert(storage.end(), args.begin(), args.end());
        for (auto& arg : storage) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, BRELINSIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }

    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            close(out_);
        }
    }

    bool Started() const { return pid_ > 0; }

    // The next line of its output that starts with `prefix`, within 5 s.
    std::string LineStartingWith(const std::string& prefix)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (line.rfind(prefix, 0) == 0) {
                    return line;
                }
                continue;
            }
            pollfd wait{out_, POLLIN, 0};
            if (poll(&wait, 1, 100) > 0) {
                char chunk[256];
                const ssize_t n = read(out_, chunk, sizeof chunk);
                if (n <= 0) {
                    break;
                }
                buffer_.append(chunk, static_cast<std::size_t>(n));
            }
        }
        return {};
    }

    // Asks it to stop; its exit status.
    int Stop()
    {
        kill(pid_, SIGTERM);
        return Wait();
    }

    // Waits until it ends; its exit status.
    int Wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// The frames that arrive within `within`, until `count` are in.
std::vector<std::string> Receive(canbus::Bus& bus, std::size_t count, std::chrono::milliseconds within = 2000ms)
{
    std::vector<std::string> frames;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (frames.size() < count && std::chrono::steady_clock::now() < deadline) {
        canbus::Frame frame;
        if (bus.TryReceive(frame)) {
            frames.push_back(FrameText(frame));
        } else {
            std::this_thread::sleep_for(200us);
        }
    }
    return frames;
}

std::vector<std::string> Exchange(canbus::Bus& bus, const canbus::Frame& request, std::size_t answers,
                                  std::chrono::milliseconds within = 2000ms)
{
    EXPECT_TRUE(bus.Send(request));
    return Receive(bus, answers, within);
}

// Sends duplicate MAC ID check requests until the device answers one: a device on line answers
// each, so the first answer tells that the hub relays our frames. The answers, at most one.
std::vector<std::string> CheckUntilAnswered(canbus::Bus& master, int attempts, std::chrono::milliseconds each)
{
    std::vector<std::string> check;
    for (int attempt = 0; attempt < attempts && check.empty(); ++attempt) {
        check = Exchange(master, MakeFrame(0x457, {0x00, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22}), 1, each);
    }
    return check;
}

std::vector<std::string> FileLines(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(BrelinsimProgram, ServesAMasterOnATcpBusWithItsSerialSideOnATerminal)
{
    const std::uint16_t port = FreePort();
    const std::string bus = "tcp://127.0.0.1:" + std::to_string(port) + "/can0";
    const auto logPath = TempFile("brelinsim-program.log");
    Program program({"--bus", bus, "--node", "10", "--log", logPath.string(), "--serial-pty", "--no-mac-check"});
    ASSERT_TRUE(program.Started());
    ASSERT_NE(program.LineStartingWith("brelinsim: MAC ID 10 on " + bus), "");
    const std::string serialLine = program.LineStartingWith("serial: ");
    ASSERT_NE(serialLine, "") << "the terminal's name";
    const std::string terminalName = serialLine.substr(8);

    std::string error;
    const auto master = canbus::OpenBus(bus, 125000, error);
    ASSERT_TRUE(master) << error;

    ASSERT_EQ(CheckUntilAnswered(*master, 50, 100ms), std::vector<std::string>{"457#80B704C5E1B700"});

    EXPECT_EQ(Exchange(*master, MakeFrame(0x456, {0x00, 0x4B, 0x03, 0x01, 0x03, 0x00}), 1),
              std::vector<std::string>{"453#00CB00"});
    EXPECT_EQ(Exchange(*master, MakeFrame(0x454, {0x00, 0x0E, 0x01, 0x01, 0x07}), 1),
              std::vector<std::string>{"453#80008E094272656C"});
    EXPECT_EQ(Exchange(*master, MakeFrame(0x454, {0x80, 0xC0, 0x00}), 1), std::vector<std::string>{"453#8081696E204757"});
    ASSERT_TRUE(master->Send(MakeFrame(0x454, {0x80, 0xC1, 0x00})));
    EXPECT_EQ(Exchange(*master, MakeFrame(0x454, {0x00, 0x10, 0x05, 0x02, 0x09, 0x00, 0x00}), 1),
              std::vector<std::string>{"453#00900000"});

    // A line typed on the terminal arrives in the poll response; the poll command goes out there.
    const int user = open(terminalName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(user, 0) << terminalName;
    ASSERT_EQ(write(user, "hi\r", 3), 3);
    std::vector<std::string> poll;
    for (int attempt = 0; attempt < 50; ++attempt) {
        poll = Exchange(*master, MakeFrame(0x455, {0x4F, 0x4B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), 3);
        if (poll.size() == 3 && poll[0] == "3CA#0001686920202020") {
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(poll, (std::vector<std::string>{"3CA#0001686920202020", "3CA#4120202020202020", "3CA#82202020"}));
    std::string typedBack;
    for (int i = 0; i < 500 && typedBack.size() < 4; ++i) {
        char chunk[16];
        const ssize_t n = read(user, chunk, sizeof chunk);
        if (n > 0) {
            typedBack.append(chunk, static_cast<std::size_t>(n));
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(typedBack, "OK\r\n");
    close(user);

    EXPECT_EQ(program.Stop(), 0);
    master->Close();

    const std::vector<std::string> lines = FileLines(logPath);
    std::filesystem::remove(logPath);
    const auto has = [&lines](const std::string& tail) {
        return std::any_of(lines.begin(), lines.end(), [&tail](const std::string& l) {
            return l.size() > tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0 && l[0] == '(';
        });
    };
    EXPECT_TRUE(has(" can0 456#004B03010300")) << "a frame it saw";
    EXPECT_TRUE(has(" can0 453#00CB00")) << "a frame it sent";
    EXPECT_TRUE(has(" can0 3CA#82202020"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" can0 453#00CB00") != std::string::npos; }),
              1)
        << "each frame once";
}

TEST(BrelinsimProgram, RunsItsTimersWhileNoFrameComes)
{
    // Every answer is held 30 ms: it goes out at the device's next timer, with no frame to wake it.
    const std::string bus = "tcp://127.0.0.1:" + std::to_string(FreePort()) + "/can0";
    Program program({"--bus", bus, "--node", "10", "--no-mac-check", "--fault", "delay=30"});
    ASSERT_TRUE(program.Started());
    ASSERT_NE(program.LineStartingWith("brelinsim: MAC ID 10 on " + bus), "");
    std::string error;
    const auto master = canbus::OpenBus(bus, 125000, error);
    ASSERT_TRUE(master) << error;

    ASSERT_EQ(CheckUntilAnswered(*master, 20, 300ms), std::vector<std::string>{"457#80B704C5E1B700"});
    Receive(*master, 10, 100ms); // answers to earlier attempts

    EXPECT_EQ(Exchange(*master, MakeFrame(0x456, {0x00, 0x4B, 0x03, 0x01, 0x01, 0x00}), 1),
              std::vector<std::string>{"453#00CB00"});
    EXPECT_EQ(program.Stop(), 0);
}

TEST(BrelinsimProgram, ALogItCannotWriteFailsTheRun)
{
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::uint16_t port = FreePort();
    const std::string bus = "tcp://127.0.0.1:" + std::to_string(port) + "/can0";
    const auto errors = TempFile("brelinsim-full.err");
    Program program({"--bus", bus, "--node", "10", "--log", "/dev/full", "--no-mac-check"}, errors.string());
    ASSERT_TRUE(program.Started());
    ASSERT_NE(program.LineStartingWith("brelinsim: MAC ID 10 on " + bus), "");
    std::string error;
    const auto master = canbus::OpenBus(bus, 125000, error);
    ASSERT_TRUE(master) << error;
    ASSERT_EQ(CheckUntilAnswered(*master, 50, 100ms), std::vector<std::string>{"457#80B704C5E1B700"})
        << "it goes on serving";
    EXPECT_EQ(program.Stop(), 1);
    master->Close();

    const std::vector<std::string> lines = FileLines(errors);
    std::filesystem::remove(errors);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "brelinsim: writing the log /dev/full failed (No space left on device); frames may be missing "
                        "from it");
    EXPECT_TRUE(lines[1].starts_with("brelinsim: the log /dev/full is incomplete: ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with(" frames were not written (No space left on device)")) << lines[1];
}

TEST(BrelinsimProgram, RefusesTheInProcessBusAndBadArguments)
{
    Program sim({"--bus", "sim", "--node", "3"});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Wait(), 2);
    Program noNode({"--bus", "tcp://127.0.0.1:1/can0"});
    ASSERT_TRUE(noNode.Started());
    EXPECT_EQ(noNode.Wait(), 2);
    Program help({"--help"});
    ASSERT_TRUE(help.Started());
    EXPECT_NE(help.LineStartingWith("Usage: brelinsim --bus BUSSTRING --node N"), "");
    EXPECT_EQ(help.Wait(), 0);
}

} // namespace
} // namespace devsim::test
