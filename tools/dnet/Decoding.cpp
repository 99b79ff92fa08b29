#include "tools/dnet/Decoding.h"

#include "tools/dnet/Json.h"

#include "platform/LittleEndian.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace orv::dnet {
namespace {

struct ErrorName {
    std::uint8_t code;
    std::string_view name;
};

// The general status codes of DeviceNet (CIP) error responses.
constexpr ErrorName kGeneralErrors[] = {
    {0x01, "connection failure"},
    {0x02, "resource unavailable"},
    {0x03, "invalid parameter value"},
    {0x04, "path segment error"},
    {0x05, "path destination unknown"},
    {0x06, "partial transfer"},
    {0x07, "connection lost"},
    {0x08, "service not supported"},
    {0x09, "invalid attribute value"},
    {0x0A, "attribute list error"},
    {0x0B, "already in requested mode/state"},
    {0x0C, "object state conflict"},
    {0x0D, "object already exists"},
    {0x0E, "attribute not settable"},
    {0x0F, "privilege violation"},
    {0x10, "device state conflict"},
    {0x11, "reply data too large"},
    {0x12, "fragmentation of a primitive value"},
    {0x13, "not enough data"},
    {0x14, "attribute not supported"},
    {0x15, "too much data"},
    {0x16, "object does not exist"},
    {0x17, "service fragmentation sequence not in progress"},
    {0x18, "no stored attribute data"},
    {0x19, "store operation failure"},
    {0x1A, "routing failure, request packet too large"},
    {0x1B, "routing failure, response packet too large"},
    {0x1C, "missing attribute list entry data"},
    {0x1D, "invalid attribute value list"},
    {0x1E, "embedded service error"},
    {0x1F, "vendor specific error"},
    {0x20, "invalid parameter"},
    {0x21, "write-once value or medium already written"},
    {0x22, "invalid reply received"},
    {0x25, "key failure in path"},
    {0x26, "path size invalid"},
    {0x27, "unexpected attribute in list"},
    {0x28, "invalid member id"},
    {0x29, "member not settable"},
    {0x2A, "group 2 only server general failure"},
};

struct ServiceCode {
    std::uint8_t code;
    std::string_view name;
};

// The common services of DeviceNet, and the two of the predefined master/slave connection set.
constexpr ServiceCode kServices[] = {
    {0x01, "Get_Attributes_All"},
    {0x02, "Set_Attributes_All"},
    {0x03, "Get_Attribute_List"},
    {0x04, "Set_Attribute_List"},
    {0x05, "Reset"},
    {0x06, "Start"},
    {0x07, "Stop"},
    {0x08, "Create"},
    {0x09, "Delete"},
    {0x0A, "Multiple_Service_Packet"},
    {0x0D, "Apply_Attributes"},
    {0x0E, "Get_Attribute_Single"},
    {0x10, "Set_Attribute_Single"},
    {0x11, "Find_Next_Object_Instance"},
    {0x14, "Error_Response"},
    {0x15, "Restore"},
    {0x16, "Save"},
    {0x17, "No_Operation"},
    {0x18, "Get_Member"},
    {0x19, "Set_Member"},
    {0x1A, "Insert_Member"},
    {0x1B, "Remove_Member"},
    {0x4B, "Allocate_Master/Slave_Connection_Set"},
    {0x4C, "Release_Master/Slave_Connection_Set"},
};

struct ClassCode {
    int code;
    std::string_view name;
};

constexpr ClassCode kClasses[] = {
    {1, "Identity"},       {2, "Message Router"},  {3, "DeviceNet"},        {4, "Assembly"},
    {5, "Connection"},     {64, "Serial Stream"},  {65, "Serial Receive"},  {66, "Serial Transmit"},
};

enum class Type { UInt8, UInt16, UInt32, Revision, ShortString, Word, Hex16, Allocation };

using Names = std::span<const std::string_view>;

struct AttributeMeaning {
    int classId;    // -1: any class
    bool classLevel; // instance 0 (class attributes) or an instance
    int attribute;
    std::string_view name;
    Type type;
    Names names = {}; // names of the values 0, 1, ... of a UInt8
    std::string_view unit = {};
};

constexpr std::string_view kIdentityStates[] = {"nonexistent", "device self testing", "standby", "operational",
                                                 "major recoverable fault", "major unrecoverable fault"};
constexpr std::string_view kBaudRates[] = {"125K", "250K", "500K"};
constexpr std::string_view kBusOffInterrupt[] = {"disable", "enable"};
constexpr std::string_view kConnectionStates[] = {"non-existent", "configuring", "waiting for connection id",
                                                   "established", "timed out", "deferred delete"};
constexpr std::string_view kInstanceTypes[] = {"explicit message", "I/O message"};
constexpr std::string_view kWatchdogActions[] = {"transition to timed out", "auto delete", "auto reset",
                                                  "deferred delete"};

constexpr AttributeMeaning kMeanings[] = {
    // Class attributes every object shares.
    {-1, true, 1, "class revision", Type::UInt16},
    {-1, true, 2, "max instance", Type::UInt16},
    {-1, true, 3, "number of instances", Type::UInt16},
    {-1, true, 6, "max class attribute", Type::UInt16},
    {-1, true, 7, "max instance attribute", Type::UInt16},
    // Identity.
    {1, false, 1, "vendor id", Type::UInt16},
    {1, false, 2, "device type", Type::UInt16},
    {1, false, 3, "product code", Type::UInt16},
    {1, false, 4, "revision", Type::Revision},
    {1, false, 5, "status", Type::Word},
    {1, false, 6, "serial number", Type::UInt32},
    {1, false, 7, "product name", Type::ShortString},
    {1, false, 8, "state", Type::UInt8, kIdentityStates},
    // DeviceNet.
    {3, false, 1, "MAC ID", Type::UInt8},
    {3, false, 2, "baud rate", Type::UInt8, kBaudRates},
    {3, false, 3, "bus-off interrupt", Type::UInt8, kBusOffInterrupt},
    {3, false, 4, "bus-off counter", Type::UInt8},
    {3, false, 5, "allocation information", Type::Allocation},
    // Connection.
    {5, false, 1, "state", Type::UInt8, kConnectionStates},
    {5, false, 2, "instance type", Type::UInt8, kInstanceTypes},
    {5, false, 4, "produced connection id", Type::Hex16},
    {5, false, 5, "consumed connection id", Type::Hex16},
    {5, false, 7, "produced connection size", Type::UInt16, {}, "bytes"},
    {5, false, 8, "consumed connection size", Type::UInt16, {}, "bytes"},
    {5, false, 9, "expected packet rate", Type::UInt16, {}, "ms"},
    {5, false, 12, "watchdog timeout action", Type::UInt8, kWatchdogActions},
    {5, false, 13, "produced connection path length", Type::UInt16, {}, "bytes"},
    {5, false, 15, "consumed connection path length", Type::UInt16, {}, "bytes"},
    {5, false, 17, "production inhibit time", Type::UInt16, {}, "ms"},
};

std::size_t TypeSize(Type type)
{
    switch (type) {
    case Type::UInt8: return 1;
    case Type::UInt16:
    case Type::Revision:
    case Type::Word:
    case Type::Hex16:
    case Type::Allocation: return 2;
    case Type::UInt32: return 4;
    case Type::ShortString: return 0;
    }
    return 0;
}

std::string Format(const char* format, unsigned long a, unsigned long b = 0)
{
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

using BitName = std::pair<unsigned, std::string_view>;

// The names of the bits of `value` that `bits` names, joined by commas.
std::string NamesOfBits(std::span<const BitName> bits, unsigned value)
{
    std::string text;
    for (const auto& [mask, name] : bits) {
        if ((value & mask) != 0) {
            text += text.empty() ? "" : ", ";
            text += name;
        }
    }
    return text;
}

// Status word bits of the Identity object.
std::string StatusBits(unsigned word)
{
    static constexpr BitName kBits[] = {
        {0x0001, "owned"},
        {0x0004, "configured"},
        {0x0100, "minor recoverable fault"},
        {0x0200, "minor unrecoverable fault"},
        {0x0400, "major recoverable fault"},
        {0x0800, "major unrecoverable fault"},
    };
    return NamesOfBits(kBits, word);
}

const AttributeMeaning* FindMeaning(int classId, int instance, int attribute)
{
    for (const AttributeMeaning& m : kMeanings) {
        if ((m.classId == -1 || m.classId == classId) && m.classLevel == (instance == 0) && m.attribute == attribute) {
            return &m;
        }
    }
    return nullptr;
}

} // namespace

std::string AllocationChoiceNames(unsigned choice)
{
    // The allocation choice bits of the DeviceNet object, as Allocate, Release and attribute 5 carry them.
    static constexpr BitName kBits[] = {
        {0x01, "explicit"},        {0x02, "poll"},   {0x04, "bit-strobe"},           {0x08, "multicast poll"},
        {0x10, "change of state"}, {0x20, "cyclic"}, {0x40, "acknowledge suppression"},
    };
    return NamesOfBits(kBits, choice);
}

std::string GeneralErrorText(std::uint8_t code)
{
    for (const ErrorName& error : kGeneralErrors) {
        if (error.code == code) {
            return std::string(error.name) + Format(" (0x%02lX)", code);
        }
    }
    return Format("error 0x%02lX", code);
}

std::string ServiceName(std::uint8_t code)
{
    code &= 0x7F;
    for (const ServiceCode& service : kServices) {
        if (service.code == code) {
            return std::string(service.name);
        }
    }
    return Format("service 0x%02lX", code);
}

std::string_view ClassName(int classId)
{
    for (const ClassCode& known : kClasses) {
        if (known.code == classId) {
            return known.name;
        }
    }
    return {};
}

std::optional<std::string> ShortString(std::span<const std::uint8_t> value)
{
    if (value.empty() || value[0] > value.size() - 1) {
        return std::nullopt;
    }
    return std::string(value.begin() + 1, value.begin() + 1 + value[0]);
}

std::string_view AttributeName(int classId, int instance, int attribute)
{
    const AttributeMeaning* meaning = FindMeaning(classId, instance, attribute);
    return meaning != nullptr ? meaning->name : std::string_view{};
}

std::optional<DecodedValue> DecodeAttribute(int classId, int instance, int attribute,
                                            std::span<const std::uint8_t> value)
{
    const AttributeMeaning* meaning = FindMeaning(classId, instance, attribute);
    if (meaning == nullptr) {
        return std::nullopt;
    }
    if (meaning->type != Type::ShortString && value.size() != TypeSize(meaning->type)) {
        return std::nullopt;
    }

    DecodedValue decoded;
    decoded.name = meaning->name;
    const unsigned long u16 = value.size() >= 2 ? platform::GetLe16(value.data()) : 0;
    switch (meaning->type) {
    case Type::UInt8:
        decoded.text = Format("%lu", value[0]);
        decoded.jsonValue = decoded.text;
        if (value[0] < meaning->names.size()) {
            decoded.meaning = meaning->names[value[0]];
            decoded.text += " (" + decoded.meaning + ")";
        }
        break;
    case Type::UInt16:
        decoded.text = Format("%lu", u16);
        decoded.jsonValue = decoded.text;
        if (!meaning->unit.empty()) {
            decoded.text += " " + std::string(meaning->unit);
        }
        break;
    case Type::UInt32: {
        const unsigned long u32 = platform::GetLe32(value.data());
        decoded.text = Format("%lu (0x%08lX)", u32, u32);
        decoded.jsonValue = Format("%lu", u32);
        break;
    }
    case Type::Revision:
        decoded.text = Format("%lu.%lu", value[0], value[1]);
        decoded.jsonValue = Format("{\"major\":%lu,\"minor\":%lu}", value[0], value[1]);
        break;
    case Type::Word: {
        const std::string bits = StatusBits(static_cast<unsigned>(u16));
        decoded.meaning = bits;
        decoded.text = Format("0x%04lX", u16) + (bits.empty() ? "" : " (" + bits + ")");
        decoded.jsonValue = Format("%lu", u16);
        break;
    }
    case Type::Allocation: {
        decoded.meaning = AllocationChoiceNames(value[0]);
        decoded.text = Format("choice 0x%02lX", value[0]) + (decoded.meaning.empty() ? "" : " (" + decoded.meaning + ")") +
                       (value[1] <= 63 ? Format(", master %lu", value[1]) : ", no master");
        decoded.jsonValue = Format("{\"choice\":%lu,\"master\":%lu}", value[0], value[1]);
        break;
    }
    case Type::Hex16:
        decoded.text = Format("0x%04lX", u16);
        decoded.jsonValue = Format("%lu", u16);
        break;
    case Type::ShortString: {
        const auto text = ShortString(value);
        if (!text) {
            return std::nullopt;
        }
        decoded.jsonValue = JsonString(*text);
        decoded.text = "\"";
        for (const char c : *text) {
            const auto byte = static_cast<unsigned char>(c);
            decoded.text += byte >= 0x20 && byte < 0x7F ? c : '.';
        }
        decoded.text += "\"";
        break;
    }
    }
    return decoded;
}

std::string_view DeviceTypeName(std::uint16_t deviceType)
{
    // The device profiles of the CIP networks library that DeviceNet devices commonly carry.
    static constexpr std::pair<std::uint16_t, std::string_view> kProfiles[] = {
        {0x00, "generic device"},
        {0x02, "AC drive"},
        {0x03, "motor overload"},
        {0x04, "limit switch"},
        {0x05, "inductive proximity switch"},
        {0x06, "photoelectric sensor"},
        {0x07, "general purpose discrete I/O"},
        {0x09, "resolver"},
        {0x0C, "communications adapter"},
        {0x0E, "programmable logic controller"},
        {0x10, "position controller"},
        {0x13, "DC drive"},
        {0x15, "contactor"},
        {0x16, "motor starter"},
        {0x17, "soft start"},
        {0x18, "human-machine interface"},
        {0x1A, "mass flow controller"},
        {0x1B, "pneumatic valve"},
        {0x1C, "vacuum pressure gauge"},
        {0x1D, "process control value"},
        {0x1E, "residual gas analyzer"},
        {0x1F, "DC power generator"},
        {0x20, "RF power generator"},
        {0x21, "turbomolecular vacuum pump"},
        {0x22, "encoder"},
        {0x23, "safety discrete I/O device"},
        {0x24, "fluid flow controller"},
        {0x25, "CIP motion drive"},
        {0x27, "mass flow controller, enhanced"},
        {0x2A, "safety analog I/O device"},
        {0x2B, "generic device (keyable)"},
    };
    for (const auto& [type, name] : kProfiles) {
        if (type == deviceType) {
            return name;
        }
    }
    return {};
}

} // namespace orv::dnet
