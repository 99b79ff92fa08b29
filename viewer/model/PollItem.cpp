#include "viewer/model/PollItem.h"

#include "driver/devicenet/Identifiers.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueConversions.h"

#include <algorithm>
#include <array>

namespace orv::viewer {
namespace {

// Group 2 message 5: the master's poll command to a node.
std::int16_t PollCommandIdentifier(int node)
{
    return static_cast<std::int16_t>(
        devicenet::Group2Identifier(static_cast<unsigned>(node), devicenet::Group2Message::PollCommand));
}

bool Exchangeable(int size)
{
    return size >= 0 && size <= PollItem::kMaxSize;
}

} // namespace

bool PollItem::SetSizes(int outputSize, int inputSize)
{
    outputSize_ = outputSize;
    inputSize_ = inputSize;
    output_.assign(outputSize > 0 ? static_cast<std::size_t>(outputSize) : 0, 0);
    input_.assign(inputSize > 0 ? static_cast<std::size_t>(inputSize) : 0, 0);
    return true;
}

bool PollItem::Read()
{
    if (owner_ == nullptr) {
        return false;
    }
    if (!Exchangeable(outputSize_) || !Exchangeable(inputSize_)) {
        return false;
    }
    DriverClient* driver = owner_->Ask();
    if (driver == nullptr) {
        return false;
    }
    // The driver writes the answer into the same buffer, as many bytes as the node sends, up to
    // what a poll connection carries.
    std::array<std::uint8_t, kMaxSize> buffer{};
    std::copy(output_.begin(), output_.end(), buffer.begin());
    std::int16_t rxIdentifier = 0;
    auto length = static_cast<std::int16_t>(inputSize_);
    const std::int32_t status = driver->DNPoll(PollCommandIdentifier(owner_->Address()),
                                               static_cast<std::int16_t>(outputSize_), &rxIdentifier, &length,
                                               buffer.data());
    owner_->Answered(status == 0);
    if (status != 0 || static_cast<std::uint16_t>(length) != inputSize_) {
        return false;
    }
    std::copy_n(buffer.begin(), inputSize_, input_.begin());
    response_ = HexText(input_.data(), input_.size(), " ");
    return true;
}

bool PollItem::Write(const void* value, int kind, int)
{
    // The output is built in a scratch area of the largest size a connection carries: a size the
    // node reports above it is never encoded.
    if (output_.empty() || outputSize_ < 1 || !Exchangeable(outputSize_) || owner_ == nullptr || !owner_->IsOpen()) {
        return false;
    }
    std::array<std::uint8_t, kMaxSize> scratch{};
    int size = outputSize_;
    if (!Encode(std::span<std::uint8_t>(scratch.data(), output_.size()), value, kind, size)) {
        return false;
    }
    // The output keeps the size the node consumes; a shorter value replaces its first bytes.
    std::copy_n(scratch.begin(), size, output_.begin());
    return true;
}

bool PollItem::Format(std::string& text, int)
{
    text = response_;
    return true;
}

} // namespace orv::viewer
