#pragma once
// The gateway behind the serial objects: the line settings and delimiters of the serial stream,
// eight receive channels that take the messages arriving on the line, eight transmit channels that
// send messages out, and the layout of the poll data built from the channels marked "data in poll".
//
// Receiving: bytes from the line are cut into messages by the delimiter mode (pre- and
// post-delimiter list, a pause of `timeout` x 10 ms, a fixed `length`; whichever ends a message
// first). Each message goes to the first enabled receive channel (by instance) whose pre- and
// post-strings it carries, else to the first enabled channel that looks for no string; the channel
// converts it into its data bytes and flips its toggle.
// Transmitting: a transmit channel sends strings and its data (converted to text for the numeric
// types) when the master flips its toggle, or when the poll command changes its data.
// Poll data: produced = one byte of receive toggles (bit n-1 for channel n), then the data of each
// receive channel in the poll, by instance; consumed = the data of each transmit channel in the
// poll, by instance.

#include "devsim/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

inline constexpr std::size_t kChannelCount = 8;
inline constexpr std::uint8_t kMaxChannelData = 32;
inline constexpr std::size_t kMaxDelimiter = 8;
inline constexpr std::size_t kMaxMessage = 64;
inline constexpr std::size_t kMaxPollData = 128;
inline constexpr std::uint32_t kTimeoutUnitMs = 10;

// DeviceNet elementary data type codes a channel converts.
namespace datatype {
inline constexpr std::uint8_t kSint = 0xC2;
inline constexpr std::uint8_t kInt = 0xC3;
inline constexpr std::uint8_t kUsint = 0xC6;
inline constexpr std::uint8_t kUint = 0xC7;
inline constexpr std::uint8_t kReal = 0xCA;
inline constexpr std::uint8_t kShortString = 0xDA;
} // namespace datatype

bool IsDataType(std::uint8_t code);
// Bytes a numeric type takes; 0 for the short string (its size is the channel's data size).
std::uint8_t DataTypeSize(std::uint8_t code);

// Delimiter mode bits of the serial stream.
inline constexpr std::uint8_t kDelimitList = 0x01;
inline constexpr std::uint8_t kDelimitTimeout = 0x02;
inline constexpr std::uint8_t kDelimitLength = 0x04;

// Serial status bits.
inline constexpr std::uint8_t kStatusRxOverrun = 0x01;
inline constexpr std::uint8_t kStatusRxParity = 0x02;
inline constexpr std::uint8_t kStatusTxOverrun = 0x10;
inline constexpr std::uint8_t kStatusTxParity = 0x20;

struct StreamSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0; // none, odd, even, mark, space
    std::uint8_t stopBits = 1;
    std::uint8_t flowControl = 0; // none, software, hardware
    std::uint8_t delimiterMode = kDelimitList | kDelimitTimeout;
    std::string preDelimiter;
    std::string postDelimiter = "\r";
    std::uint8_t timeout = 50; // x 10 ms
    std::uint8_t length = 16;
};

struct ReceiveChannel {
    Bytes data = Bytes(8, 0);
    std::uint8_t toggle = 0;
    std::uint8_t acknowledge = 0;
    std::uint8_t mode = 0x01; // data, pre-string, post-string
    std::string preString;
    std::string postString;
    std::uint8_t dataType = datatype::kShortString;
    std::uint8_t width = 0;         // characters converted for a number; 0: the whole message
    std::uint8_t conversion = 'D';  // 'D' decimal, 'X' hexadecimal
    std::uint8_t padding = ' ';
    bool inPoll = false;
    bool enabled = false;
    bool sync = false; // a new message waits until the master acknowledged the last one
};

struct TransmitChannel {
    Bytes data = Bytes(8, 0);
    std::uint8_t toggle = 0;
    std::uint8_t acknowledge = 0;
    std::uint8_t mode = 0x01; // data, string 1 before, string 2 before, string 1 after, string 2 after
    std::string string1;
    std::string string2;
    std::uint8_t dataType = datatype::kShortString;
    std::uint8_t width = 0;     // least characters of a number
    std::uint8_t precision = 2; // digits after the point of a float
    std::uint8_t format = 0;    // bit 0 hexadecimal, bit 7 leading zeros
    bool inPoll = false;
};

// Which channels the poll data carries, and their sizes, as latched by a poll connection.
struct PollLayout {
    std::vector<std::uint8_t> receive;  // channel indexes 0..7
    std::vector<std::uint8_t> receiveSizes;
    std::vector<std::uint8_t> transmit;
    std::vector<std::uint8_t> transmitSizes;

    std::uint16_t Produced() const;
    std::uint16_t Consumed() const;
};

class SerialGateway {
public:
    SerialGateway() { RestoreDefaults(); }

    // The out-of-box configuration.
    void RestoreDefaults();
    // What a power cycle loses: received and transmit data, toggles, status, partial messages.
    void ClearVolatile();

    // Bytes arriving on the serial line at `nowMs`.
    void Input(ByteView bytes, std::uint32_t nowMs);
    // Ends a message on the pause delimiter.
    void Tick(std::uint32_t nowMs);
    // Milliseconds until Tick may end a message; nullopt while no pause is being timed.
    std::optional<std::uint32_t> NextTick(std::uint32_t nowMs) const;
    // Takes the bytes waiting to go out on the line.
    Bytes TakeOutput();

    // Formats and queues the message of transmit channel `index`; acknowledges its toggle.
    void Transmit(std::size_t index);

    PollLayout CurrentLayout() const;
    bool LayoutFits() const;
    Bytes Produce(const PollLayout& layout) const;
    // A poll command of exactly layout.Consumed() bytes: transmit channels whose data changed send.
    void Consume(const PollLayout& layout, ByteView command);

    // Sets the data size of a channel (its data is cut or padded with zeros).
    static void Resize(Bytes& data, std::uint8_t size) { data.resize(size, 0); }

    StreamSettings stream;
    std::uint8_t status = 0;
    std::array<ReceiveChannel, kChannelCount> receive;
    std::array<TransmitChannel, kChannelCount> transmit;

private:
    void Complete();
    void Deliver(const Bytes& message);
    void Take(ReceiveChannel& channel, ByteView payload);
    bool EndsMessageOnlyWhenFull() const;
    bool TimingPause() const;

    Bytes pending_;
    Bytes hunt_; // bytes searched for the pre-delimiter
    bool inMessage_ = false;
    std::uint32_t lastByteMs_ = 0;
    Bytes output_;
};

// Conversions between a channel's data bytes and text.
bool ConvertReceived(const ReceiveChannel& channel, ByteView payload, Bytes& data);
std::string FormatTransmitData(const TransmitChannel& channel);

} // namespace devsim
