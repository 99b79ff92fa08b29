#pragma once
// Other programs run by the benchmarks (brelinsim, a Python master): started with their standard
// output on a pipe, read until they announce themselves, stopped when they go.

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

extern char** environ;

namespace orv::bench {

// A program started with its standard output on a pipe; killed when it goes.
class Child {
public:
    explicit Child(std::vector<std::string> argv)
    {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    // Its output until it contains `text` (true) or ends, or 5 s pass.
    bool Await(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (output_.find(text) == std::string::npos) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd readable{out_, POLLIN, 0};
            char chunk[512];
            ssize_t got = 0;
            if (pid_ <= 0 || left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0 ||
                (got = read(out_, chunk, sizeof chunk)) <= 0) {
                return false;
            }
            output_.append(chunk, static_cast<std::size_t>(got));
        }
        return true;
    }
    const std::string& Output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline std::uint16_t FreePort()
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

} // namespace orv::bench
