// The viewer's device model against a driver that answers whatever the input says: results,
// reply lengths, service codes, value bytes, poll sizes and answers, received frames. The module is
// opened (its poll sizes are what the input answers), then an attribute item of any path, type and
// size is read, formatted and written, the poll item sends a command from a buffer of the largest
// output and exchanges it, and a service request waits on a clock that moves on every look.

#include "tests/fuzz/FuzzInput.h"
#include "tests/viewer/ScriptedDriver.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/model/PollItem.h"
#include "viewer/model/ServiceItem.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using orv::fuzz::FuzzInput;
using namespace orv::viewer;

// A clock that moves a little on every look, so that every wait of the model ends.
class MovingTicks final : public TickSource {
public:
    std::uint32_t Now() override { return now_ += 7; }
    void Pause(std::uint32_t milliseconds) override { now_ += milliseconds; }

private:
    std::uint32_t now_ = 0xFFFFF000u;
};

// 0 (success) or a failure, as the input says.
std::int32_t Status(FuzzInput& input)
{
    return (input.Byte() & 0x0F) == 0x0F ? -1 : 0;
}

// A ReplyBuffer of the interface's size, filled as the input says: the length field and the
// service code are the input's, whatever the bytes that follow.
std::int32_t Reply(FuzzInput& input, std::uint8_t* buffer)
{
    const std::int32_t status = Status(input);
    const std::uint16_t length = input.Le16();
    buffer[4] = static_cast<std::uint8_t>(length);
    buffer[5] = static_cast<std::uint8_t>(length >> 8);
    buffer[6] = input.Byte();
    buffer[7] = input.Byte();
    const auto data = input.Bytes(std::min<std::size_t>(input.Byte(), DriverClient::kReplyBufferSize - 8));
    std::copy(data.begin(), data.end(), buffer + 8);
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::uint8_t choices = input.Byte();

    test::ScriptedDriver driver;
    driver.get = [&input](int, int, int, int, std::uint8_t* buffer) { return Reply(input, buffer); };
    driver.set = [&input](int, int, int, int, int, std::uint8_t* buffer) { return Reply(input, buffer); };
    driver.allocate = [&input](int, int) { return Status(input); };
    driver.openModule = [&input](int, const std::uint8_t*) { return Status(input); };
    driver.poll = [&input](int, int, std::int16_t*, std::int16_t* rxLength, std::uint8_t* buffer) {
        // The driver writes as many bytes as it expects, never more than a connection carries.
        const auto expected = std::min<std::size_t>(static_cast<std::uint16_t>(*rxLength), PollItem::kMaxSize);
        const auto bytes = input.Bytes(expected);
        std::copy(bytes.begin(), bytes.end(), buffer);
        *rxLength = static_cast<std::int16_t>(input.Le16());
        return Status(input);
    };
    driver.transmit = [&input](int, int, const std::uint8_t*) { return Status(input); };
    driver.receive = [&input](std::int16_t* identifier, std::int16_t* length, std::uint8_t* buffer) {
        if ((input.Byte() & 0x03) == 0) {
            return 0xFFFC; // nothing yet
        }
        *identifier = static_cast<std::int16_t>(input.Le16());
        *length = static_cast<std::int16_t>(input.Le16());
        const auto bytes = input.Bytes(8);
        std::copy(bytes.begin(), bytes.end(), buffer + 6);
        return Status(input);
    };

    MovingTicks ticks;
    DriverClient client;
    client.Attach(&driver);
    Module module(ticks);
    module.SetAddress(input.Byte() & 0x3F);
    module.SetDriver(&client);
    module.SetFrameDataOffset((choices & 0x40) != 0 ? Module::kVoraFrameDataOffset : Module::kFrameDataOffset);
    module.Open((choices & 0x03) | Allocation::kExplicit);

    // One attribute of any path, type and size: read, shown every way, written back as text.
    AttributeItem item;
    const int type = input.Byte() % 8;
    const int itemSize = static_cast<int>(input.Byte() % 80) - 1;
    item.Setup(&module, input.Byte(), input.Byte(), input.Byte(), type, itemSize, {}, 0);
    item.TakeFirstBytes((choices & 0x20) != 0);
    item.Read();
    std::string text;
    for (int format = -1; format <= 7; ++format) {
        item.Format(text, format);
    }
    item.Write(text.c_str(), ValueKind::kText, itemSize);
    // Any kind of value into a buffer of the item's size; a text value ends with its NUL.
    const auto raw = input.Bytes(std::min<std::size_t>(input.Byte(), kValueBufferSize));
    std::array<std::uint8_t, kValueBufferSize + 1> value{};
    std::copy(raw.begin(), raw.end(), value.begin());
    std::array<std::uint8_t, kValueBufferSize> encodedBytes{};
    int encoded = static_cast<int>(raw.size());
    item.Encode(encodedBytes, value.data(), input.Byte() % 8, encoded);

    // Send as the I/O messaging page does, from a buffer of the largest output, then one exchange.
    std::array<std::uint8_t, PollItem::kMaxSize> command{};
    const auto commandBytes = input.Bytes(input.Le16() % (command.size() + 1));
    std::copy(commandBytes.begin(), commandBytes.end(), command.begin());
    module.Poll().Write(command.data(), ValueKind::kRaw, 0);
    module.Poll().Read();
    module.Poll().Format(text, 0);

    // A raw explicit request and its wait for the answer.
    ServiceItem service(ticks);
    service.Setup(&module, input.Byte(), input.Byte(), input.Byte(), input.Byte(), input.Byte() % 8, 1);
    const std::string request(reinterpret_cast<const char*>(value.data()), std::min<std::size_t>(raw.size(), 8));
    service.Execute(request.c_str(), ValueKind::kText, input.Byte() % 6);
    module.Close();
    return 0;
}
