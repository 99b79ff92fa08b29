#include "devsim/FaultInjection.h"

#include "devsim/DeviceNet.h"
#include "devsim/Timers.h"

#include <charconv>

namespace devsim {

namespace {

bool ParseNumber(std::string_view text, std::uint32_t& value)
{
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end && !text.empty();
}

bool Unknown(std::string_view item, std::string& error)
{
    error = "unknown fault '" + std::string(item) +
            "': expected drop=N (N>0), dup, delay=MS (up to 60000), second-mac=M (0..63), "
            "bad-fragments=skip-count|missing-first|truncate, switches=M/B (0..255 each) or none";
    return false;
}

bool ParseOne(std::string_view item, Faults& faults, std::string& error)
{
    const std::size_t eq = item.find('=');
    const std::string_view name = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
    const bool hasValue = eq != std::string_view::npos;
    std::uint32_t number = 0;
    if (name == "none" && !hasValue) {
        faults = Faults{};
    } else if (name == "dup" && !hasValue) {
        faults.duplicate = true;
    } else if (name == "drop" && ParseNumber(value, number) && number > 0) {
        faults.dropEvery = number;
    } else if (name == "delay" && ParseNumber(value, number) && number <= 60000) {
        faults.delayMs = number;
    } else if (name == "second-mac" && ParseNumber(value, number) && number <= devicenet::kMacMask) {
        faults.secondMacId = static_cast<int>(number);
    } else if (name == "bad-fragments" && value == "skip-count") {
        faults.fragments = FragmentFault::SkipCount;
    } else if (name == "bad-fragments" && value == "missing-first") {
        faults.fragments = FragmentFault::MissingFirst;
    } else if (name == "bad-fragments" && value == "truncate") {
        faults.fragments = FragmentFault::Truncate;
    } else if (const std::size_t slash = value.find('/');
               name == "switches" && slash != std::string_view::npos && ParseNumber(value.substr(0, slash), number) &&
               number <= 255) {
        std::uint32_t baud = 0;
        if (!ParseNumber(value.substr(slash + 1), baud) || baud > 255) {
            return Unknown(item, error);
        }
        faults.macSwitch = static_cast<int>(number);
        faults.baudSwitch = static_cast<int>(baud);
    } else {
        return Unknown(item, error);
    }
    return true;
}

} // namespace

bool ParseFaults(std::string_view text, Faults& faults, std::string& error)
{
    Faults parsed = faults;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        if (!ParseOne(item, parsed, error)) {
            return false;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    faults = parsed;
    return true;
}

std::string DescribeFaults(const Faults& faults)
{
    std::string text;
    const auto add = [&text](const std::string& item) { text += (text.empty() ? "" : ",") + item; };
    if (faults.dropEvery != 0) {
        add("drop=" + std::to_string(faults.dropEvery));
    }
    if (faults.duplicate) {
        add("dup");
    }
    if (faults.delayMs != 0) {
        add("delay=" + std::to_string(faults.delayMs));
    }
    if (faults.secondMacId >= 0) {
        add("second-mac=" + std::to_string(faults.secondMacId));
    }
    switch (faults.fragments) {
    case FragmentFault::SkipCount: add("bad-fragments=skip-count"); break;
    case FragmentFault::MissingFirst: add("bad-fragments=missing-first"); break;
    case FragmentFault::Truncate: add("bad-fragments=truncate"); break;
    case FragmentFault::None: break;
    }
    if (faults.macSwitch >= 0) {
        add("switches=" + std::to_string(faults.macSwitch) + "/" + std::to_string(faults.baudSwitch));
    }
    return text.empty() ? "none" : text;
}

void OutputStage::Send(const canbus::Frame& frame, bool answer, std::uint32_t nowMs, const Sink& sink)
{
    ++offered_;
    if (faults_.dropEvery != 0 && offered_ % faults_.dropEvery == 0) {
        return;
    }
    if (answer && faults_.secondMacId >= 0) {
        canbus::Frame stray = frame;
        const auto mac = static_cast<std::uint32_t>(faults_.secondMacId);
        stray.id = devicenet::IsGroup2(frame.id) ? (frame.id & ~0x1F8u) | (mac << 3) : (frame.id & ~0x3Fu) | mac;
        Out(stray, nowMs, sink);
    }
    Out(frame, nowMs, sink);
    if (faults_.duplicate) {
        Out(frame, nowMs, sink);
    }
}

void OutputStage::Out(const canbus::Frame& frame, std::uint32_t nowMs, const Sink& sink)
{
    if (faults_.delayMs != 0 || !held_.empty()) {
        Release(nowMs, sink);
        if (held_.size() >= kMaxHeldFrames) {
            ++heldOverflow_;
            return;
        }
        held_.push_back(Held{frame, nowMs + faults_.delayMs});
        Release(nowMs, sink);
    } else if (sink) {
        sink(frame);
    }
}

std::optional<std::uint32_t> OutputStage::NextRelease(std::uint32_t nowMs) const
{
    // Frames leave in order, so the first one held decides.
    return held_.empty() ? std::nullopt : std::optional(MillisecondsUntil(nowMs, held_.front().dueMs));
}

void OutputStage::Release(std::uint32_t nowMs, const Sink& sink)
{
    while (!held_.empty() && static_cast<std::int32_t>(nowMs - held_.front().dueMs) >= 0) {
        const canbus::Frame frame = held_.front().frame;
        held_.pop_front();
        if (sink) {
            sink(frame);
        }
    }
}

} // namespace devsim
