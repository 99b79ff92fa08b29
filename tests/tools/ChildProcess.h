#pragma once
// Programs run from tests: to completion with their output captured, or in the background until
// the test ends.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace orv::test {

struct ProgramResult {
    int status = -1; // exit status; -1 when it did not exit normally (or could not be started)
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] a path) with the test's environment and waits for it, at most `limit`
// (then it is killed and the result has status -1).
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

// A program running in the background, its output going to `logFile`; stopped (SIGTERM, then
// SIGKILL) when destroyed.
class BackgroundProgram {
public:
    BackgroundProgram(const std::vector<std::string>& argv, const std::string& logFile);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    // True while it has not exited.
    bool Running();

private:
    pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeTcpPort();

// True once something accepts connections on 127.0.0.1:`port`, polling until `limit`.
bool WaitForListener(int port, std::chrono::milliseconds limit);

// True once the file `path` holds `text` (a program's log announcing that it is ready), polling
// until `limit`.
bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit);

// The lines of `text`, without their line ends; no empty last line.
std::vector<std::string> Lines(const std::string& text);

} // namespace orv::test
