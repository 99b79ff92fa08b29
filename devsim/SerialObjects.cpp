// The serial objects: Serial Stream (class 64, instance 1), Serial Receive (65) and Serial
// Transmit (66), instances 1 to 8, over the serial gateway. A change that would make the poll data
// larger than the gateway carries is refused.

#include "devsim/ObjectHelpers.h"

#include <string>
#include <type_traits>

namespace devsim {

namespace {

using namespace tables;
using namespace devicenet::error;

StreamSettings& Stream(Model& m) { return m.gateway.stream; }
const StreamSettings& Stream(const Model& m) { return m.gateway.stream; }
ReceiveChannel& Rx(Model& m, std::uint8_t i) { return m.gateway.receive[i - 1u]; }
const ReceiveChannel& Rx(const Model& m, std::uint8_t i) { return m.gateway.receive[i - 1u]; }
TransmitChannel& Tx(Model& m, std::uint8_t i) { return m.gateway.transmit[i - 1u]; }
const TransmitChannel& Tx(const Model& m, std::uint8_t i) { return m.gateway.transmit[i - 1u]; }

// Getters and range-checked setters of one field, for the stream and for either channel kind.
template <auto Member>
Value GetStream(const Model& m, std::uint8_t)
{
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(Stream(m).*Member)>, std::string>) {
        return Text(Stream(m).*Member);
    } else {
        return Number(Stream(m).*Member);
    }
}

template <auto Member, std::uint32_t Low, std::uint32_t High>
Outcome SetStream(Model& m, std::uint8_t, const Value& v)
{
    return v.number < Low || v.number > High ? Invalid() : Store(m, Stream(m).*Member, v.number);
}

template <auto Member>
Outcome SetStreamText(Model& m, std::uint8_t, const Value& v)
{
    return Store(m, Stream(m).*Member, AsText(v));
}

template <auto Member>
Value GetRx(const Model& m, std::uint8_t i)
{
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(Rx(m, i).*Member)>, std::string>) {
        return Text(Rx(m, i).*Member);
    } else {
        return Number(Rx(m, i).*Member);
    }
}

template <auto Member, std::uint32_t Low, std::uint32_t High>
Outcome SetRx(Model& m, std::uint8_t i, const Value& v)
{
    return v.number < Low || v.number > High ? Invalid() : Store(m, Rx(m, i).*Member, v.number);
}

template <auto Member>
Outcome SetRxText(Model& m, std::uint8_t i, const Value& v)
{
    return Store(m, Rx(m, i).*Member, AsText(v));
}

template <auto Member>
Value GetTx(const Model& m, std::uint8_t i)
{
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(Tx(m, i).*Member)>, std::string>) {
        return Text(Tx(m, i).*Member);
    } else {
        return Number(Tx(m, i).*Member);
    }
}

template <auto Member, std::uint32_t Low, std::uint32_t High>
Outcome SetTx(Model& m, std::uint8_t i, const Value& v)
{
    return v.number < Low || v.number > High ? Invalid() : Store(m, Tx(m, i).*Member, v.number);
}

template <auto Member>
Outcome SetTxText(Model& m, std::uint8_t i, const Value& v)
{
    return Store(m, Tx(m, i).*Member, AsText(v));
}

// Applies a change of the poll layout, or undoes it when the poll data would not fit.
template <class Change>
Outcome ChangeLayout(Model& m, Change change)
{
    const auto receive = m.gateway.receive;
    const auto transmit = m.gateway.transmit;
    change();
    if (!m.gateway.LayoutFits()) {
        m.gateway.receive = receive;
        m.gateway.transmit = transmit;
        return Invalid();
    }
    m.configured = true;
    return Done();
}

// Data type and size of a channel: a number has the size of its type; a short string 1 to 32.
template <class Channel>
Outcome SetDataType(Model& m, Channel& channel, std::uint32_t code)
{
    if (code > 0xFF || !IsDataType(static_cast<std::uint8_t>(code))) {
        return Invalid();
    }
    return ChangeLayout(m, [&] {
        channel.dataType = static_cast<std::uint8_t>(code);
        if (const std::uint8_t size = DataTypeSize(channel.dataType); size != 0) {
            SerialGateway::Resize(channel.data, size);
        }
    });
}

template <class Channel>
Outcome SetDataSize(Model& m, Channel& channel, std::uint32_t size)
{
    const std::uint8_t typeSize = DataTypeSize(channel.dataType);
    if (typeSize != 0) {
        return size == typeSize ? Done() : Outcome::Error(kObjectStateConflict);
    }
    if (size < 1 || size > kMaxChannelData) {
        return Invalid();
    }
    return ChangeLayout(m, [&] { SerialGateway::Resize(channel.data, static_cast<std::uint8_t>(size)); });
}

template <class Channel>
Outcome SetInPoll(Model& m, Channel& channel, std::uint32_t value)
{
    return value > 1 ? Invalid() : ChangeLayout(m, [&] { channel.inPoll = value != 0; });
}

Value DataSizeOf(const Bytes& data) { return Number(static_cast<std::uint32_t>(data.size())); }

bool IsChannel(const Model&, std::uint8_t instance) { return instance >= 1 && instance <= kChannelCount; }

Value HighestChannel(const Model&, std::uint8_t) { return Number(kChannelCount); }

// Serial Stream.
const AttributeEntry kStreamClassAttributes[] = {
    {1, Kind::Uint, 0, Revision1, nullptr},
    {2, Kind::Uint, 0, [](const Model&, std::uint8_t) { return Number(1); }, nullptr},
};

const AttributeEntry kStreamAttributes[] = {
    {3, Kind::Udint, 0, GetStream<&StreamSettings::baudRate>,
     [](Model& m, std::uint8_t, const Value& v) {
         return OneOf(v.number, {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600})
                    ? Store(m, Stream(m).baudRate, v.number)
                    : Invalid();
     }},
    {4, Kind::Usint, 0, GetStream<&StreamSettings::dataBits>, SetStream<&StreamSettings::dataBits, 7, 8>},
    {5, Kind::Usint, 0, GetStream<&StreamSettings::parity>, SetStream<&StreamSettings::parity, 0, 4>},
    {6, Kind::Usint, 0, GetStream<&StreamSettings::stopBits>, SetStream<&StreamSettings::stopBits, 1, 2>},
    {7, Kind::Usint, 0, GetStream<&StreamSettings::flowControl>, SetStream<&StreamSettings::flowControl, 0, 2>},
    {10, Kind::Usint, 0, GetStream<&StreamSettings::delimiterMode>, SetStream<&StreamSettings::delimiterMode, 0, 7>},
    {11, Kind::ShortString, kMaxDelimiter, GetStream<&StreamSettings::preDelimiter>,
     SetStreamText<&StreamSettings::preDelimiter>},
    {12, Kind::ShortString, kMaxDelimiter, GetStream<&StreamSettings::postDelimiter>,
     SetStreamText<&StreamSettings::postDelimiter>},
    {13, Kind::Usint, 0, GetStream<&StreamSettings::timeout>, SetStream<&StreamSettings::timeout, 1, 255>},
    {14, Kind::Usint, 0, GetStream<&StreamSettings::length>, SetStream<&StreamSettings::length, 1, kMaxMessage>},
    {15, Kind::Usint, 0, [](const Model& m, std::uint8_t) { return Number(m.gateway.status); },
     [](Model& m, std::uint8_t, const Value& v) {
         // Only a reset of the status bits.
         if (v.number != 0) {
             return Invalid();
         }
         m.gateway.status = 0;
         return Done();
     }},
    {20, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.gateway.CurrentLayout().Produced()); },
     nullptr},
    {21, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.gateway.CurrentLayout().Consumed()); },
     nullptr},
};

const ObjectClass kStream{64, kStreamClassAttributes, kStreamAttributes,
                        [](const Model&, std::uint8_t instance) { return instance == 1; }, nullptr};

// Serial Receive.
const AttributeEntry kChannelClassAttributes[] = {
    {1, Kind::Uint, 0, Revision1, nullptr},
    {2, Kind::Uint, 0, HighestChannel, nullptr},
};

const AttributeEntry kReceiveAttributes[] = {
    {3, Kind::Octets, 0, [](const Model& m, std::uint8_t i) { return Raw(Rx(m, i).data); }, nullptr},
    {4, Kind::Usint, 0, GetRx<&ReceiveChannel::toggle>, nullptr},
    {5, Kind::Usint, 0, GetRx<&ReceiveChannel::acknowledge>,
     [](Model& m, std::uint8_t i, const Value& v) {
         if (v.number > 1) {
             return Invalid();
         }
         Rx(m, i).acknowledge = static_cast<std::uint8_t>(v.number);
         return Done();
     }},
    {6, Kind::Usint, 0, GetRx<&ReceiveChannel::mode>, SetRx<&ReceiveChannel::mode, 0, 7>},
    {7, Kind::ShortString, kMaxDelimiter, GetRx<&ReceiveChannel::preString>, SetRxText<&ReceiveChannel::preString>},
    {8, Kind::ShortString, kMaxDelimiter, GetRx<&ReceiveChannel::postString>, SetRxText<&ReceiveChannel::postString>},
    {9, Kind::Usint, 0, GetRx<&ReceiveChannel::dataType>,
     [](Model& m, std::uint8_t i, const Value& v) { return SetDataType(m, Rx(m, i), v.number); }},
    {10, Kind::Usint, 0, [](const Model& m, std::uint8_t i) { return DataSizeOf(Rx(m, i).data); },
     [](Model& m, std::uint8_t i, const Value& v) { return SetDataSize(m, Rx(m, i), v.number); }},
    {11, Kind::Usint, 0, GetRx<&ReceiveChannel::width>, SetRx<&ReceiveChannel::width, 0, kMaxChannelData>},
    {13, Kind::Usint, 0, GetRx<&ReceiveChannel::conversion>,
     [](Model& m, std::uint8_t i, const Value& v) {
         return OneOf(v.number, {'D', 'X', 'd', 'x'}) ? Store(m, Rx(m, i).conversion, v.number) : Invalid();
     }},
    {14, Kind::Usint, 0, GetRx<&ReceiveChannel::padding>, SetRx<&ReceiveChannel::padding, 0, 255>},
    {15, Kind::Usint, 0, GetRx<&ReceiveChannel::inPoll>,
     [](Model& m, std::uint8_t i, const Value& v) { return SetInPoll(m, Rx(m, i), v.number); }},
    {16, Kind::Usint, 0, GetRx<&ReceiveChannel::enabled>, SetRx<&ReceiveChannel::enabled, 0, 1>},
    {17, Kind::Usint, 0, GetRx<&ReceiveChannel::sync>, SetRx<&ReceiveChannel::sync, 0, 1>},
};

const ObjectClass kReceive{65, kChannelClassAttributes, kReceiveAttributes, IsChannel, nullptr};

// Serial Transmit.
const AttributeEntry kTransmitAttributes[] = {
    {3, Kind::Octets, 0, [](const Model& m, std::uint8_t i) { return Raw(Tx(m, i).data); },
     [](Model& m, std::uint8_t i, const Value& v) {
         const std::size_t size = Tx(m, i).data.size();
         if (v.bytes.size() != size) {
             return Outcome::Error(v.bytes.size() < size ? kNotEnoughData : kTooMuchData);
         }
         Tx(m, i).data = v.bytes;
         return Done();
     }},
    {4, Kind::Usint, 0, GetTx<&TransmitChannel::toggle>,
     [](Model& m, std::uint8_t i, const Value& v) {
         if (v.number > 1) {
             return Invalid();
         }
         // A flipped toggle sends the channel's message.
         if (v.number != Tx(m, i).toggle) {
             Tx(m, i).toggle = static_cast<std::uint8_t>(v.number);
             m.gateway.Transmit(i - 1u);
         }
         return Done();
     }},
    {5, Kind::Usint, 0, GetTx<&TransmitChannel::acknowledge>, nullptr},
    {6, Kind::Usint, 0, GetTx<&TransmitChannel::mode>, SetTx<&TransmitChannel::mode, 0, 31>},
    {7, Kind::ShortString, kMaxDelimiter, GetTx<&TransmitChannel::string1>, SetTxText<&TransmitChannel::string1>},
    {8, Kind::ShortString, kMaxDelimiter, GetTx<&TransmitChannel::string2>, SetTxText<&TransmitChannel::string2>},
    {9, Kind::Usint, 0, GetTx<&TransmitChannel::dataType>,
     [](Model& m, std::uint8_t i, const Value& v) { return SetDataType(m, Tx(m, i), v.number); }},
    {10, Kind::Usint, 0, [](const Model& m, std::uint8_t i) { return DataSizeOf(Tx(m, i).data); },
     [](Model& m, std::uint8_t i, const Value& v) { return SetDataSize(m, Tx(m, i), v.number); }},
    {11, Kind::Usint, 0, GetTx<&TransmitChannel::width>, SetTx<&TransmitChannel::width, 0, kMaxChannelData>},
    {12, Kind::Usint, 0, GetTx<&TransmitChannel::precision>, SetTx<&TransmitChannel::precision, 0, 10>},
    {13, Kind::Usint, 0, GetTx<&TransmitChannel::format>,
     [](Model& m, std::uint8_t i, const Value& v) {
         // Bit 0 hexadecimal, bit 7 leading zeros; no others.
         return (v.number & ~0x81u) != 0 ? Invalid() : Store(m, Tx(m, i).format, v.number);
     }},
    {15, Kind::Usint, 0, GetTx<&TransmitChannel::inPoll>,
     [](Model& m, std::uint8_t i, const Value& v) { return SetInPoll(m, Tx(m, i), v.number); }},
};

const ObjectClass kTransmit{66, kChannelClassAttributes, kTransmitAttributes, IsChannel, nullptr};

} // namespace

const ObjectClass& SerialStreamClass() { return kStream; }
const ObjectClass& SerialReceiveClass() { return kReceive; }
const ObjectClass& SerialTransmitClass() { return kTransmit; }

} // namespace devsim
