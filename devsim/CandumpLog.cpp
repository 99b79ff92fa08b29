#include "devsim/CandumpLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace devsim {

std::string CandumpLine(const canbus::Frame& frame, std::uint64_t microseconds, std::string_view interface)
{
    char head[64];
    std::snprintf(head, sizeof head, "(%llu.%06llu) ", static_cast<unsigned long long>(microseconds / 1000000),
                  static_cast<unsigned long long>(microseconds % 1000000));
    std::string line = head;
    line.append(interface);
    char id[16];
    std::snprintf(id, sizeof id, frame.extended ? " %08X#" : " %03X#", static_cast<unsigned>(frame.id));
    line += id;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (frame.remote) {
        line += 'R';
        if (frame.length > 0 && frame.length <= canbus::kMaxDataLength) {
            line += kDigits[frame.length];
        }
        return line;
    }
    for (std::size_t i = 0; i < frame.length && i < frame.data.size(); ++i) {
        line += kDigits[frame.data[i] >> 4];
        line += kDigits[frame.data[i] & 0x0F];
    }
    return line;
}

CandumpLog::~CandumpLog()
{
    if (file_) {
        std::fclose(file_);
    }
}

bool CandumpLog::Open(const std::string& path, std::string interface, std::string& error)
{
    if (file_) {
        std::fclose(file_);
    }
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    interface_ = std::move(interface);
    return true;
}

void CandumpLog::Write(const canbus::Frame& frame)
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    Write(frame, static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
}

void CandumpLog::Write(const canbus::Frame& frame, std::uint64_t microseconds)
{
    if (!file_) {
        return;
    }
    const std::string line = CandumpLine(frame, microseconds, interface_) + "\n";
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
}

} // namespace devsim
