#include "viewer/model/AttributeItem.h"

#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueConversions.h"

#include <algorithm>
#include <cstring>

namespace orv::viewer {
namespace {

using devicenet::ReplyBuffer;

constexpr std::uint8_t kGetAttributeSingleReply = devicenet::kServiceGetAttributeSingle | devicenet::kServiceReplyBit;
constexpr std::size_t kReplyLengthOffset = ReplyBuffer::kLengthOffset;
constexpr std::size_t kReplyServiceOffset = ReplyBuffer::kServiceOffset;
constexpr std::size_t kReplyDataOffset = ReplyBuffer::kDataOffset;

} // namespace

bool AttributeItem::Setup(Module* module, int classId, int instance, int attribute, int valueType, int size,
                          const std::string& name, int tag)
{
    owner_ = module;
    class_ = classId;
    instance_ = instance;
    attribute_ = attribute;
    valueType_ = valueType;
    size_ = size;
    tag_ = tag;
    firstBytes_ = false;
    name_ = name.empty() ? "Attr " + std::to_string(classId) + "," + std::to_string(instance) + "," +
                               std::to_string(attribute)
                         : name;
    return true;
}

bool AttributeItem::Read()
{
    DriverClient* driver = owner_ != nullptr ? owner_->Ask() : nullptr;
    if (driver == nullptr) {
        return false;
    }
    std::array<std::uint8_t, DriverClient::kReplyBufferSize> reply{};
    const std::int32_t status = driver->DNGetAttribute(
        static_cast<std::int16_t>(owner_->Address()), static_cast<std::int16_t>(class_),
        static_cast<std::int16_t>(instance_), static_cast<std::int16_t>(attribute_), reply.data());
    owner_->Answered(status == 0);
    if (status != 0 || reply[kReplyServiceOffset] != kGetAttributeSingleReply) {
        return false;
    }
    // The reply length counts the header and service bytes before the value.
    const std::size_t replyLength = reply[kReplyLengthOffset] | (reply[kReplyLengthOffset + 1] << 8);
    const std::size_t arrived =
        std::min(replyLength >= 2 ? replyLength - 2 : 0, reply.size() - kReplyDataOffset);
    if (size_ < kVariableSize) {
        return false;
    }
    const std::size_t length =
        size_ == kVariableSize ? std::size_t{reply[kReplyDataOffset]} + 1 : static_cast<std::size_t>(size_);
    // An answer longer than the value is not this attribute's, unless only its first bytes are
    // wanted.
    if (length > value_.size() || length > arrived || (length < arrived && !firstBytes_)) {
        return false;
    }
    const platform::Lock hold(lock_);
    std::memcpy(value_.data(), reply.data() + kReplyDataOffset, length);
    stored_ = length;
    return true;
}

bool AttributeItem::Write(const void* value, int kind, int size)
{
    if (owner_ == nullptr || !owner_->IsOpen() || size != size_) {
        return false;
    }
    int length = size;
    if (!Encode(value_, value, kind, length)) {
        return false;
    }
    stored_ = static_cast<std::size_t>(length);
    DriverClient* driver = owner_->Ask();
    if (driver == nullptr) {
        return false;
    }
    std::array<std::uint8_t, DriverClient::kReplyBufferSize> request{};
    std::memcpy(request.data(), value_.data(), stored_);
    const std::int32_t status = driver->DNSetAttribute(
        static_cast<std::int16_t>(owner_->Address()), static_cast<std::int16_t>(class_),
        static_cast<std::int16_t>(instance_), static_cast<std::int16_t>(attribute_),
        static_cast<std::int16_t>(length), request.data());
    owner_->Answered(status == 0);
    return status == 0 && request[kReplyServiceOffset] != devicenet::kServiceErrorResponse;
}

bool AttributeItem::Format(std::string& text, int type)
{
    if (type == -1) {
        type = valueType_;
    }
    switch (type) {
    case ValueType::kByte: text = std::to_string(GetByte()); break;
    case ValueType::kInt16: text = std::to_string(GetInt16()); break;
    case ValueType::kFloat: text = FloatText(GetFloat(), 6); break;
    case ValueType::kShortString: {
        const std::size_t count = stored_ == 0 ? 0 : std::min<std::size_t>(value_[0], stored_ - 1);
        text.assign(reinterpret_cast<const char*>(value_.data()) + 1, count);
        break;
    }
    case ValueType::kInt32: text = std::to_string(static_cast<std::int32_t>(GetUInt32())); break;
    case ValueType::kUInt16: text = std::to_string(static_cast<std::uint16_t>(GetInt16())); break;
    default: {
        const std::size_t wanted =
            size_ == kVariableSize ? std::size_t{value_[0]} + 1 : static_cast<std::size_t>(std::max(size_, 0));
        text = HexText(value_.data(), std::min(wanted, stored_));
        break;
    }
    }
    return true;
}

float AttributeItem::GetFloat() const
{
    return ReadFloat(value_.data());
}

std::int16_t AttributeItem::GetInt16() const
{
    return ReadInt16(value_.data());
}

std::uint32_t AttributeItem::GetUInt32() const
{
    return ReadInt32(value_.data());
}

std::uint8_t AttributeItem::GetByte() const
{
    return value_[0];
}

void AttributeItem::GetBytes(std::uint8_t* destination, std::size_t count) const
{
    std::memcpy(destination, value_.data(), std::min(count, value_.size()));
}

} // namespace orv::viewer
