#pragma once
// Frames in the log format of can-utils' `candump -L`, one per line:
//   (1700000000.123456) can0 5FC#000E010107
// The identifier has 3 hex digits (8 for an extended frame), the data upper-case hex; a remote
// frame shows R and its length when it has one.

#include "canbus/Frame.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace devsim {

std::string CandumpLine(const canbus::Frame& frame, std::uint64_t microseconds, std::string_view interface);

// A log file; each line is written out at once, so that the log is complete whenever the program
// ends.
class CandumpLog {
public:
    CandumpLog() = default;
    ~CandumpLog();
    CandumpLog(const CandumpLog&) = delete;
    CandumpLog& operator=(const CandumpLog&) = delete;

    // Creates (or empties) the file. False with `error` when it cannot.
    bool Open(const std::string& path, std::string interface, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }

    // Logs a frame at the wall-clock time now.
    void Write(const canbus::Frame& frame);
    void Write(const canbus::Frame& frame, std::uint64_t microseconds);

private:
    std::FILE* file_ = nullptr;
    std::string interface_;
};

} // namespace devsim
