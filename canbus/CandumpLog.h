#pragma once
// A log file of frames in `candump -L` format (see CandumpFormat.h). Each line goes to the file
// with one write as it is logged, so the log is complete whenever the program ends. A line that
// cannot be written is counted as lost and the first failure kept, so that the program can say
// what is missing and end with a failure instead of success.

#include "canbus/Frame.h"

#include <cstdint>
#include <string>

namespace canbus {

class CandumpLog {
public:
    CandumpLog() = default;
    ~CandumpLog();
    CandumpLog(const CandumpLog&) = delete;
    CandumpLog& operator=(const CandumpLog&) = delete;

    // Creates (or empties) the file. False with `error` (the system's reason) when it cannot.
    bool Open(const std::string& path, std::string interface, std::string& error);
    bool IsOpen() const { return descriptor_ >= 0; }

    // Logs a frame at the wall-clock time now, or at `microseconds`. False when the line was lost.
    bool Write(const Frame& frame);
    bool Write(const Frame& frame, std::uint64_t microseconds);

    // Closes the file. False when closing failed or any line was lost.
    bool Close();

    std::uint64_t Lines() const { return lines_; } // logged or lost
    std::uint64_t Lost() const { return lost_; }
    bool Failed() const { return lost_ > 0 || closeFailed_; }
    // The system's reason for the first failure; empty while nothing failed.
    const std::string& Reason() const { return reason_; }
    // "5 of 12 frames were not written (No space left on device)"; empty when nothing failed.
    std::string LossText() const;

private:
    void Fail(int error);

    int descriptor_ = -1;
    std::string interface_;
    std::uint64_t lines_ = 0;
    std::uint64_t lost_ = 0;
    bool closeFailed_ = false;
    std::string reason_; // the first failure
};

} // namespace canbus
