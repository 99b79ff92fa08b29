#pragma once
// A DeviceNet master wired to a scripted peer, for the frame-by-frame tests. The master has MAC ID
// 1 and talks to the slave at MAC ID 12: requests go out on 0x464, Allocate/Release on 0x466, poll
// commands on 0x465, and the slave answers on 0x463.

#include "platform/LittleEndian.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "support/FrameText.h"
#include "support/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace orv::test {

inline constexpr std::uint8_t kMasterMac = 1;
inline constexpr int kSlave = 12;
inline constexpr int kPollIdentifier = 0x465;

enum class Carrier { Sst, Systec };

inline devicenet::MasterPolicy PolicyOf(Carrier carrier)
{
    return carrier == Carrier::Sst ? devicenet::MasterPolicy::Sst() : devicenet::MasterPolicy::Systec();
}

inline void PrintTo(Carrier carrier, std::ostream* os)
{
    *os << (carrier == Carrier::Sst ? "Sst" : "Systec");
}

inline std::string CarrierName(const testing::TestParamInfo<Carrier>& info)
{
    return info.param == Carrier::Sst ? "Sst" : "Systec";
}

// The peer is declared first so that it outlives the master and checks its script last.
class MasterFixture {
protected:
    explicit MasterFixture(Carrier carrier, std::uint32_t startTick = ScriptedPeer::kDefaultStartTick)
        : peer(startTick), master(peer, peer, PolicyOf(carrier))
    {
        master.Port().Open(kMasterMac);
    }

    devicenet::CanPort& port() { return master.Port(); }

    ScriptedPeer peer;
    devicenet::DeviceNetMaster master;
};

class SstMaster : public testing::Test, protected MasterFixture {
protected:
    SstMaster() : MasterFixture(Carrier::Sst) {}
};

class SystecMaster : public testing::Test, protected MasterFixture {
protected:
    SystecMaster() : MasterFixture(Carrier::Systec) {}
};

// For behaviour both carriers share, frame for frame.
class EitherMaster : public testing::TestWithParam<Carrier>, protected MasterFixture {
protected:
    EitherMaster() : MasterFixture(GetParam()) {}
};

// A caller's buffer filled with a guard pattern, larger than any reply, so that a write past the
// part the master may use shows up.
class GuardedBuffer {
public:
    static constexpr std::uint8_t kGuard = 0xAA;

    explicit GuardedBuffer(std::size_t size = 400) : bytes_(size, kGuard) {}
    GuardedBuffer(std::size_t size, const std::vector<std::uint8_t>& content) : bytes_(size, kGuard)
    {
        std::copy(content.begin(), content.end(), bytes_.begin());
    }

    std::uint8_t* data() { return bytes_.data(); }
    std::uint8_t operator[](std::size_t i) const { return bytes_.at(i); }

    std::uint16_t ReplyLength() const { return platform::GetLe16(&bytes_.at(4)); }
    std::string Hex(std::size_t from, std::size_t count) const
    {
        return FormatBytes(&bytes_.at(from), std::min(count, bytes_.size() - from));
    }
    // Empty when every byte from `from` on still holds the guard, else a description of the first
    // byte that does not.
    std::string WrittenFrom(std::size_t from) const
    {
        for (std::size_t i = from; i < bytes_.size(); ++i) {
            if (bytes_[i] != kGuard) {
                return "byte " + std::to_string(i) + " written: " + FormatBytes(&bytes_[i], 1);
            }
        }
        return {};
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// 0xA0, 0xA1, ... as request data.
inline std::vector<std::uint8_t> Counting(std::size_t count, std::uint8_t first = 0xA0)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

} // namespace orv::test
