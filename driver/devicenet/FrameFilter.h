#pragma once
// Which received frames a wait takes. The frames a filter does not take are traced but are
// neither data nor the end of the wait.

#include "driver/devicenet/CanFrame.h"

#include <cstdint>

namespace orv::devicenet {

class FrameFilter {
public:
    virtual bool Takes(const CanFrame& frame) const = 0;

protected:
    ~FrameFilter() = default;
};

// Every frame.
class AnyFrame final : public FrameFilter {
public:
    bool Takes(const CanFrame&) const override { return true; }
};

// The frames on one identifier.
class FromIdentifier final : public FrameFilter {
public:
    explicit FromIdentifier(std::uint16_t identifier) : identifier_(identifier) {}
    bool Takes(const CanFrame& frame) const override { return frame.identifier == identifier_; }

private:
    std::uint16_t identifier_;
};

} // namespace orv::devicenet
