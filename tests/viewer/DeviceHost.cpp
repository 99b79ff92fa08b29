#include "tests/viewer/DeviceHost.h"

#include "platform/Tick.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace orv::viewer::test {
namespace {

// A loopback port nobody listens on right now.
std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

DeviceHost::DeviceHost(std::uint8_t macId)
{
    busString_ = "tcp://127.0.0.1:" + std::to_string(FreePort()) + "/can0";
    bus_ = canbus::OpenBus(busString_, 125000, error_);
    if (!bus_) {
        return;
    }
    devsim::BrelinDevice::Options options;
    options.macId = macId;
    device_ = std::make_unique<devsim::BrelinDevice>(options);
    device_->SetSink([this](const canbus::Frame& frame) { bus_->Send(frame); });
    device_->SetSerialSink([this](std::span<const std::uint8_t> bytes) {
        serialOutput_.insert(serialOutput_.end(), bytes.begin(), bytes.end());
    });
    thread_ = std::thread([this] { Run(); });
}

DeviceHost::~DeviceHost()
{
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (bus_) {
        bus_->Close();
    }
}

void DeviceHost::Run()
{
    while (!stop_) {
        bool idle = true;
        {
            const std::lock_guard lock(mutex_);
            const std::uint32_t now = platform::GetTickCount();
            canbus::Frame frame;
            while (bus_->TryReceive(frame)) {
                idle = false;
                device_->OnFrame(frame, now);
            }
            device_->Poll(now);
        }
        if (idle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void DeviceHost::WithDevice(const std::function<void(devsim::BrelinDevice&)>& action)
{
    const std::lock_guard lock(mutex_);
    action(*device_);
}

void DeviceHost::SerialInput(const std::vector<std::uint8_t>& bytes)
{
    const std::lock_guard lock(mutex_);
    device_->SerialInput(bytes, platform::GetTickCount());
}

std::vector<std::uint8_t> DeviceHost::SerialOutput()
{
    const std::lock_guard lock(mutex_);
    return serialOutput_;
}

} // namespace orv::viewer::test
