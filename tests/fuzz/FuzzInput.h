#pragma once
// The bytes of one fuzz input, taken from the front: choices first, then the data they apply to.
// Running out is not an error: every take then yields zeros or an empty run.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace orv::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool Empty() const { return rest_.empty(); }
    std::size_t Size() const { return rest_.size(); }

    std::uint8_t Byte()
    {
        if (rest_.empty()) {
            return 0;
        }
        const std::uint8_t byte = rest_.front();
        rest_ = rest_.subspan(1);
        return byte;
    }

    std::uint16_t Le16()
    {
        const std::uint8_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }

    // Up to `count` bytes.
    std::span<const std::uint8_t> Bytes(std::size_t count)
    {
        const std::span<const std::uint8_t> taken = rest_.first(count < rest_.size() ? count : rest_.size());
        rest_ = rest_.subspan(taken.size());
        return taken;
    }

    // All that is left, as text.
    std::string_view Text()
    {
        const std::string_view text(reinterpret_cast<const char*>(rest_.data()), rest_.size());
        rest_ = {};
        return text;
    }

private:
    std::span<const std::uint8_t> rest_;
};

} // namespace orv::fuzz
