#pragma once
// One explicit request that the viewer builds itself and sends as a raw CAN frame on the node's
// explicit request identifier, then waits up to a second for the node's explicit response.

#include "viewer/model/ItemBase.h"
#include "viewer/model/TickSource.h"
#include "viewer/model/ValueType.h"

#include <array>
#include <cstdint>

namespace orv::viewer {

class Module;

class ServiceItem final : public ItemBase {
public:
    static constexpr std::uint32_t kReplyTimeoutMs = 1000;

    explicit ServiceItem(TickSource& ticks = SystemTicks()) : ticks_(ticks) {}

    // The request: header byte from `sourceMacId`, service code, 8-bit class and instance; value
    // type and size for the request data. True.
    bool Setup(Module* module, int sourceMacId, int classId, int instance, int serviceCode, int valueType, int size);

    // Sends the request with `value` encoded after the 4 header bytes when `length` is above 0 (a
    // value that does not encode, or does not fit the frame, sends nothing), then waits for a frame
    // on the node's explicit response identifier; other frames are passed over. True when the
    // reply came within kReplyTimeoutMs and is not an error response.
    bool Execute(const void* value, int kind, int length);

    // The data of the last reply, as far as it went.
    const std::array<std::uint8_t, kValueBufferSize>& Frame() const { return frame_; }
    std::size_t FrameLength() const { return frameLength_; }

protected:
    int TextType() const override { return valueType_; }

private:
    TickSource& ticks_;
    Module* owner_ = nullptr;
    int sourceMacId_ = 0;
    int class_ = 0;
    int instance_ = 0;
    int service_ = 0;
    int valueType_ = 0;
    int size_ = 0;
    std::array<std::uint8_t, kValueBufferSize> frame_{};
    std::size_t frameLength_ = 0;
};

} // namespace orv::viewer
