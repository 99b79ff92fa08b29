#include "canbus/CandumpLog.h"

#include "canbus/CandumpFormat.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace canbus {

CandumpLog::~CandumpLog()
{
    Close();
}

bool CandumpLog::Open(const std::string& path, std::string interface, std::string& error)
{
    Close();
    descriptor_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    interface_ = std::move(interface);
    lines_ = 0;
    lost_ = 0;
    closeFailed_ = false;
    reason_.clear();
    return true;
}

bool CandumpLog::Write(const Frame& frame)
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return Write(frame, static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
}

bool CandumpLog::Write(const Frame& frame, std::uint64_t microseconds)
{
    if (!IsOpen()) {
        return false;
    }
    ++lines_;
    const std::string line = CandumpLine(frame, microseconds, interface_) + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(descriptor_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A part of the line may be in the file: the line counts as lost all the same.
            Fail(n < 0 ? errno : ENOSPC);
            ++lost_;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CandumpLog::Close()
{
    if (IsOpen()) {
        if (::close(descriptor_) != 0) {
            Fail(errno);
            closeFailed_ = true;
        }
        descriptor_ = -1;
    }
    return !Failed();
}

void CandumpLog::Fail(int error)
{
    if (reason_.empty()) {
        reason_ = std::strerror(error);
    }
}

std::string CandumpLog::LossText() const
{
    if (!Failed()) {
        return {};
    }
    std::string text = lost_ > 0 ? std::to_string(lost_) + " of " + std::to_string(lines_) + " frames were not written"
                                 : "closing it failed, so frames may be missing";
    return text + " (" + reason_ + ")";
}

} // namespace canbus
