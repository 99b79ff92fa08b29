#include "devsim/BrelinDevice.h"

// Placeholder until the device lands: a node that answers nothing.
namespace devsim {

struct BrelinDevice::Impl {
    Options options;
    Sink sink;
};

BrelinDevice::BrelinDevice(Options options) : impl_(std::make_unique<Impl>()) { impl_->options = options; }
BrelinDevice::~BrelinDevice() = default;
void BrelinDevice::SetSink(Sink sink) { impl_->sink = std::move(sink); }
void BrelinDevice::OnFrame(const canbus::Frame&, std::uint32_t) {}
void BrelinDevice::Poll(std::uint32_t) {}
std::uint8_t BrelinDevice::MacId() const { return impl_->options.macId; }

} // namespace devsim

namespace canbus {
std::unique_ptr<SimNode> MakeSimulatedDevice(std::uint8_t macId)
{
    return std::make_unique<devsim::BrelinDevice>(devsim::BrelinDevice::Options{macId});
}
} // namespace canbus
