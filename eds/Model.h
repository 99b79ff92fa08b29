#pragma once
// What an EDS says that a DeviceNet master uses: the file's own description, the device's
// identity, its I/O connections, its parameters with their enumerations and groups. Whatever else
// the file holds is kept as written and listed, never lost and never an error.

#include "eds/Path.h"
#include "eds/Syntax.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orv::eds {

// A parameter value: none (an empty field), a number of a signed or an unsigned integer type, a
// real number, or the characters of a string (for a type of raw bytes, the bytes).
using Value = std::variant<std::monostate, std::int64_t, std::uint64_t, double, std::string>;

// What identifies a device model in the EDS library and on the bus.
struct DeviceKey {
    std::uint16_t vendorId = 0;
    std::uint16_t deviceType = 0;
    std::uint16_t productCode = 0;
    std::uint8_t majorRevision = 0;

    bool operator==(const DeviceKey&) const = default;
};

struct FileInfo {
    std::string description; // DescText
    std::string createDate;  // as written, e.g. 04-15-2026
    std::string createTime;
    std::string modDate;
    std::string modTime;
    std::string revision; // of the file, e.g. 1.0
    std::string homeUrl;
};

struct Device {
    std::uint16_t vendorId = 0;
    std::string vendorName;
    std::uint16_t productType = 0;
    std::string productTypeName;
    std::uint16_t productCode = 0;
    std::uint8_t majorRevision = 0;
    std::uint8_t minorRevision = 0;
    std::string productName;
    std::string catalog;

    DeviceKey Key() const { return {vendorId, productType, productCode, majorRevision}; }
};

// Bits of the I/O connection masks (Default, the Info entries, an Input's or Output's connections).
namespace connection {
inline constexpr std::uint16_t kPoll = 0x0001;
inline constexpr std::uint16_t kStrobe = 0x0002;
inline constexpr std::uint16_t kChangeOfState = 0x0004;
inline constexpr std::uint16_t kCyclic = 0x0008;
} // namespace connection

// PollInfo, StrobeInfo, COSInfo, CyclicInfo.
struct ConnectionInfo {
    std::uint16_t compatible = 0; // the connection types this one can run beside
    std::uint16_t defaultInput = 0;  // InputN of the connection, 0 none
    std::uint16_t defaultOutput = 0; // OutputN
};

// InputN and OutputN.
struct IoEntry {
    std::uint16_t number = 0;
    std::uint16_t size = 0;            // bytes
    std::uint16_t significantBits = 0; // 0: all of them
    std::uint16_t connections = 0;     // connection types that use it
    std::string name;
    LinkPath path;
    std::string help;
    Position where;
};

struct IoInfo {
    std::optional<std::uint16_t> defaultConnections;
    std::optional<ConnectionInfo> poll;
    std::optional<ConnectionInfo> strobe;
    std::optional<ConnectionInfo> changeOfState;
    std::optional<ConnectionInfo> cyclic;
    std::vector<IoEntry> inputs; // by number
    std::vector<IoEntry> outputs;
};

// Bits of a parameter's descriptor.
namespace descriptor {
inline constexpr std::uint16_t kSettablePath = 0x0001;
inline constexpr std::uint16_t kEnumerated = 0x0002;
inline constexpr std::uint16_t kScaling = 0x0004;
inline constexpr std::uint16_t kScalingLinks = 0x0008;
inline constexpr std::uint16_t kReadOnly = 0x0010;
inline constexpr std::uint16_t kMonitor = 0x0020;
inline constexpr std::uint16_t kExtendedPrecision = 0x0040;
} // namespace descriptor

// A value as people read it: ((value + offset) x multiplier x base) / (divisor x 10^decimal places).
struct Scaling {
    std::uint16_t multiplier = 1;
    std::uint16_t divisor = 1;
    std::uint16_t base = 1;
    std::int32_t offset = 0;
};

struct EnumEntry {
    Value value; // an integer of the parameter's type; for a bit string the bit number
    std::string name;
};

struct Param {
    std::uint16_t number = 0;
    LinkPath path;
    std::uint16_t descriptor = 0;
    std::uint8_t dataType = 0;
    std::uint8_t dataSize = 0; // bytes; for a string the most characters
    std::string name;
    std::string units;
    std::string help;
    Value minimum;
    Value maximum;
    Value defaultValue;
    Scaling scaling; // applies when the descriptor says it does
    std::array<std::uint16_t, 4> scalingLinks{}; // parameters that would supply the four scaling values
    std::uint8_t decimalPlaces = 0;
    std::vector<EnumEntry> enumeration; // EnumN of the same number
    Position where;

    bool ReadOnly() const { return (descriptor & descriptor::kReadOnly) != 0; }
    bool Scaled() const { return (descriptor & descriptor::kScaling) != 0; }
};

struct ParamClass {
    std::optional<std::uint16_t> maxInstances;
    std::optional<std::uint16_t> descriptor;
    std::optional<std::uint16_t> configAssembly;
};

struct Group {
    std::uint16_t number = 0;
    std::string name;
    std::vector<std::uint16_t> members; // parameter numbers
    Position where;
};

// A keyword the reader does not use, in a section it reads.
struct OtherEntry {
    std::string section;
    Entry entry;
};

// Something odd that did not stop the reading ("Enum7 belongs to no parameter").
struct Note {
    Position where;
    std::string text;
};

struct Eds {
    FileInfo file;
    Device device;
    std::vector<std::string> classification; // [Device Classification] ClassN, in order
    IoInfo io;
    ParamClass paramClass;
    std::vector<Param> params; // by number
    std::vector<Group> groups; // by number
    std::vector<Section> otherSections;
    std::vector<OtherEntry> otherEntries;
    std::vector<Note> notes;

    // The parameter of `number`, or null.
    const Param* FindParam(std::uint16_t number) const;
    Param* FindParam(std::uint16_t number);
};

} // namespace orv::eds
