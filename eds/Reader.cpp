#include "eds/Reader.h"

#include "eds/ReaderParts.h"

#include <algorithm>
#include <array>
#include <utility>

namespace orv::eds {

namespace detail {

bool Twice(const Section& section, const Entry& entry, Error& error)
{
    for (const Entry& first : section.entries) {
        if (&first != &entry && SameName(first.keyword, entry.keyword)) {
            error = {entry.where, "expected " + entry.keyword + " once in [" + section.name + "]; it is on line " +
                                      std::to_string(first.where.line) + " already"};
            return false;
        }
    }
    error = {entry.where, "expected " + entry.keyword + " once"};
    return false;
}

} // namespace detail

namespace {

using detail::Twice;

// A section whose keywords are names, each read by one function and allowed once.
template <class Target>
struct NamedKeyword {
    std::string_view keyword;
    bool (*read)(Fields& fields, Target& target);
};

template <class Target, std::size_t N>
bool ReadNamed(const Section& section, const NamedKeyword<Target> (&table)[N], Target& target,
               std::array<bool, N>& seen, Eds& eds, Error& error)
{
    for (const Entry& entry : section.entries) {
        std::size_t index = N;
        for (std::size_t i = 0; i < N; ++i) {
            if (SameName(entry.keyword, table[i].keyword)) {
                index = i;
                break;
            }
        }
        if (index == N) {
            eds.otherEntries.push_back({section.name, entry});
            continue;
        }
        if (seen[index]) {
            return Twice(section, entry, error);
        }
        seen[index] = true;
        Fields fields(entry, error);
        if (!table[index].read(fields, target)) {
            return false;
        }
    }
    return true;
}

template <std::string FileInfo::*Member>
bool FileText(Fields& fields, FileInfo& file)
{
    if (!fields.AtMost(1)) {
        return false;
    }
    file.*Member = fields.Raw(0);
    return true;
}

constexpr NamedKeyword<FileInfo> kFileKeywords[] = {
    {"DescText", FileText<&FileInfo::description>}, {"CreateDate", FileText<&FileInfo::createDate>},
    {"CreateTime", FileText<&FileInfo::createTime>}, {"ModDate", FileText<&FileInfo::modDate>},
    {"ModTime", FileText<&FileInfo::modTime>},       {"Revision", FileText<&FileInfo::revision>},
    {"HomeURL", FileText<&FileInfo::homeUrl>},
};

template <class T, T Device::*Member, std::uint64_t High>
bool DeviceNumber(Fields& fields, Device& device)
{
    return fields.AtMost(1) && fields.Number(0, "a " + fields.Of().keyword, 0, High, device.*Member);
}

template <std::string Device::*Member>
bool DeviceText(Fields& fields, Device& device)
{
    return fields.AtMost(1) && fields.Text(0, "the " + fields.Of().keyword, device.*Member);
}

// The keywords of [Device]; the first five identify the device and must be there.
constexpr NamedKeyword<Device> kDeviceKeywords[] = {
    {"VendCode", DeviceNumber<std::uint16_t, &Device::vendorId, 0xFFFF>},
    {"ProdType", DeviceNumber<std::uint16_t, &Device::productType, 0xFFFF>},
    {"ProdCode", DeviceNumber<std::uint16_t, &Device::productCode, 0xFFFF>},
    {"MajRev", DeviceNumber<std::uint8_t, &Device::majorRevision, 0xFF>},
    {"MinRev", DeviceNumber<std::uint8_t, &Device::minorRevision, 0xFF>},
    {"VendName", DeviceText<&Device::vendorName>},
    {"ProdTypeStr", DeviceText<&Device::productTypeName>},
    {"ProdName", DeviceText<&Device::productName>},
    {"Catalog", DeviceText<&Device::catalog>},
};
constexpr std::size_t kRequiredDeviceKeywords = 5;

template <std::optional<std::uint16_t> ParamClass::*Member>
bool ParamClassNumber(Fields& fields, ParamClass& paramClass)
{
    std::uint16_t value = 0;
    if (!fields.AtMost(1) || !fields.Number(0, "a " + fields.Of().keyword, 0, 0xFFFF, value)) {
        return false;
    }
    paramClass.*Member = value;
    return true;
}

constexpr NamedKeyword<ParamClass> kParamClassKeywords[] = {
    {"MaxInst", ParamClassNumber<&ParamClass::maxInstances>},
    {"Descriptor", ParamClassNumber<&ParamClass::descriptor>},
    {"CfgAssembly", ParamClassNumber<&ParamClass::configAssembly>},
};

bool ConnectionNumbers(Fields& fields, std::optional<ConnectionInfo>& out)
{
    ConnectionInfo info;
    if (!fields.AtLeast(3, "compatible connections, default input, default output") ||
        !fields.Number(0, "the compatible connections", 0, 0xFFFF, info.compatible) ||
        !fields.Number(1, "the default input", 0, 0xFFFF, info.defaultInput) ||
        !fields.Number(2, "the default output", 0, 0xFFFF, info.defaultOutput)) {
        return false;
    }
    out = info;
    return true;
}

template <std::optional<ConnectionInfo> IoInfo::*Member>
bool IoConnection(Fields& fields, IoInfo& io)
{
    return ConnectionNumbers(fields, io.*Member);
}

bool IoDefault(Fields& fields, IoInfo& io)
{
    std::uint16_t mask = 0;
    if (!fields.AtMost(1) || !fields.Number(0, "the default connections", 0, 0xFFFF, mask)) {
        return false;
    }
    io.defaultConnections = mask;
    return true;
}

constexpr NamedKeyword<IoInfo> kIoKeywords[] = {
    {"Default", IoDefault},
    {"PollInfo", IoConnection<&IoInfo::poll>},
    {"StrobeInfo", IoConnection<&IoInfo::strobe>},
    {"COSInfo", IoConnection<&IoInfo::changeOfState>},
    {"CyclicInfo", IoConnection<&IoInfo::cyclic>},
};

// InputN and OutputN: size, significant bits, connections, name, path size, path, help.
bool ReadIoEntry(std::uint16_t number, Fields& fields, std::vector<IoEntry>& out)
{
    IoEntry io;
    io.number = number;
    io.where = fields.Of().where;
    if (!fields.AtLeast(6, "size, bits, connections, name, path size, path") ||
        !fields.Number(0, "the size in bytes", 0, 0xFFFF, io.size) ||
        !fields.Number(1, "the significant bits", 0, 0xFFFF, io.significantBits, 0) ||
        !fields.Number(2, "the connections", 0, 0xFFFF, io.connections) || !fields.Text(3, "the name", io.name) ||
        !fields.Path(4, 5, io.path) || !fields.Text(6, "the help text", io.help)) {
        return false;
    }
    out.push_back(std::move(io));
    return true;
}

bool ReadIo(const Section& section, Eds& eds, Error& error)
{
    Section named{section.name, {}, section.where};
    Section inputs{section.name, {}, section.where};
    Section outputs{section.name, {}, section.where};
    for (const Entry& entry : section.entries) {
        (KeywordNumber(entry.keyword, "Input") ? inputs : KeywordNumber(entry.keyword, "Output") ? outputs : named)
            .entries.push_back(entry);
    }
    std::array<bool, std::size(kIoKeywords)> seen{};
    if (!ReadNamed(named, kIoKeywords, eds.io, seen, eds, error) ||
        !detail::ReadNumbered(inputs, "Input", "an input", eds, error,
                              [&](std::uint16_t n, Fields& f) { return ReadIoEntry(n, f, eds.io.inputs); }) ||
        !detail::ReadNumbered(outputs, "Output", "an output", eds, error,
                              [&](std::uint16_t n, Fields& f) { return ReadIoEntry(n, f, eds.io.outputs); })) {
        return false;
    }
    detail::SortByNumber(eds.io.inputs);
    detail::SortByNumber(eds.io.outputs);
    return true;
}

bool ReadClassification(const Section& section, Eds& eds, Error& error)
{
    return detail::ReadNumbered(section, "Class", "a class", eds, error, [&](std::uint16_t, Fields& fields) {
        eds.classification.push_back(fields.Raw(0));
        return true;
    });
}

// GroupN = "name", count, member, ...;
bool ReadGroups(const Section& section, Eds& eds, Error& error)
{
    if (!detail::ReadNumbered(section, "Group", "a group", eds, error, [&](std::uint16_t number, Fields& fields) {
            Group group;
            group.number = number;
            group.where = fields.Of().where;
            std::uint64_t count = 0;
            if (!fields.AtLeast(2, "name, number of members, members") || !fields.Text(0, "the group name", group.name) ||
                !fields.Unsigned(1, "the number of members", 0, 0xFFFF, count)) {
                return false;
            }
            if (count != fields.Count() - 2 && !(count == 0 && fields.Count() == 3 && fields.Empty(2))) {
                return fields.Fail(1, "expected as many members as the count says (" + std::to_string(count) +
                                          "); found " + std::to_string(fields.Count() - 2));
            }
            for (std::size_t i = 2; i < 2 + count; ++i) {
                std::uint16_t member = 0;
                if (!fields.Number(i, "a parameter number", 1, 0xFFFF, member)) {
                    return false;
                }
                if (eds.FindParam(member) == nullptr) {
                    eds.notes.push_back({fields.Where(i), group.name + " names parameter " + std::to_string(member) +
                                                              ", which the file does not describe"});
                }
                group.members.push_back(member);
            }
            eds.groups.push_back(std::move(group));
            return true;
        })) {
        return false;
    }
    detail::SortByNumber(eds.groups);
    return true;
}

enum class Known { File, Device, Classification, Io, ParamClass, Params, Enums, Groups, Count };

constexpr std::string_view kKnownNames[] = {"File",       "Device", "Device Classification", "IO_Info",
                                            "ParamClass", "Params", "EnumPar",               "Groups"};
static_assert(std::size(kKnownNames) == static_cast<std::size_t>(Known::Count));

using KnownSections = std::array<const Section*, static_cast<std::size_t>(Known::Count)>;

// Sorts the sections into the known ones and the others; a known one may come once.
bool SortSections(std::vector<Section>& sections, KnownSections& known, std::vector<std::size_t>& others,
                  Error& error)
{
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& section = sections[i];
        const auto found = std::find_if(std::begin(kKnownNames), std::end(kKnownNames),
                                        [&](std::string_view name) { return SameName(name, section.name); });
        if (found == std::end(kKnownNames)) {
            others.push_back(i);
            continue;
        }
        const Section*& slot = known[static_cast<std::size_t>(found - std::begin(kKnownNames))];
        if (slot != nullptr) {
            error = {section.where, "expected [" + section.name + "] once; it begins on line " +
                                        std::to_string(slot->where.line) + " already"};
            return false;
        }
        slot = &section;
    }
    return true;
}

bool ReadDeviceSection(const Section* section, Device& device, Eds& eds, Error& error)
{
    if (section == nullptr) {
        error = {{1, 1}, "expected a [Device] section, with the vendor, the product and its revision"};
        return false;
    }
    std::array<bool, std::size(kDeviceKeywords)> seen{};
    if (!ReadNamed(*section, kDeviceKeywords, device, seen, eds, error)) {
        return false;
    }
    for (std::size_t i = 0; i < kRequiredDeviceKeywords; ++i) {
        if (!seen[i]) {
            error = {section->where, "expected " + std::string(kDeviceKeywords[i].keyword) + " in [Device]"};
            return false;
        }
    }
    return true;
}

} // namespace

const Param* Eds::FindParam(std::uint16_t number) const
{
    const auto found = std::lower_bound(params.begin(), params.end(), number,
                                        [](const Param& param, std::uint16_t n) { return param.number < n; });
    return found != params.end() && found->number == number ? &*found : nullptr;
}

Param* Eds::FindParam(std::uint16_t number)
{
    return const_cast<Param*>(std::as_const(*this).FindParam(number));
}

bool ReadEds(std::string_view text, Eds& eds, Error& error)
{
    eds = Eds{};
    std::vector<Section> sections;
    KnownSections known{};
    std::vector<std::size_t> others;
    if (!ReadSections(text, sections, error) || !SortSections(sections, known, others, error) ||
        !ReadDeviceSection(known[static_cast<std::size_t>(Known::Device)], eds.device, eds, error)) {
        return false;
    }
    const auto at = [&](Known which) { return known[static_cast<std::size_t>(which)]; };
    if (const Section* file = at(Known::File)) {
        std::array<bool, std::size(kFileKeywords)> seen{};
        if (!ReadNamed(*file, kFileKeywords, eds.file, seen, eds, error)) {
            return false;
        }
    }
    if (const Section* paramClass = at(Known::ParamClass)) {
        std::array<bool, std::size(kParamClassKeywords)> seen{};
        if (!ReadNamed(*paramClass, kParamClassKeywords, eds.paramClass, seen, eds, error)) {
            return false;
        }
    }
    // Parameters before their enumerations and groups, wherever the file puts them.
    if ((at(Known::Classification) && !ReadClassification(*at(Known::Classification), eds, error)) ||
        (at(Known::Io) && !ReadIo(*at(Known::Io), eds, error)) ||
        (at(Known::Params) && !detail::ReadParams(*at(Known::Params), eds, error)) ||
        (at(Known::Enums) && !detail::ReadEnums(*at(Known::Enums), eds, error)) ||
        (at(Known::Groups) && !ReadGroups(*at(Known::Groups), eds, error))) {
        return false;
    }
    for (const std::size_t index : others) {
        eds.otherSections.push_back(std::move(sections[index]));
    }
    return true;
}

bool ReadDevice(std::string_view text, Device& device, Error& error)
{
    std::vector<Section> sections;
    KnownSections known{};
    std::vector<std::size_t> others;
    Eds scratch;
    return ReadSections(text, sections, error) && SortSections(sections, known, others, error) &&
           ReadDeviceSection(known[static_cast<std::size_t>(Known::Device)], device, scratch, error);
}

} // namespace orv::eds
