#include "tools/dnet/EdsPrinter.h"

#include "tools/dnet/EdsJson.h"
#include "tools/dnet/commands/NodeEds.h"

#include "eds/DataType.h"
#include "eds/Escapes.h"
#include "eds/ParamValue.h"
#include "platform/Hex.h"

#include <algorithm>
#include <cstdio>

namespace orv::dnet {
namespace {

using Lines = std::vector<std::string>;

std::string Pad(std::string text, std::size_t width)
{
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    return platform::HexText(bytes, " ", true);
}

std::string PathText(const eds::LinkPath& path)
{
    if (path.bytes.empty()) {
        return "no path";
    }
    return path.address ? eds::AddressText(*path.address) : "path " + Hex(path.bytes);
}

std::string Connections(std::uint16_t mask)
{
    static constexpr std::pair<std::uint16_t, const char*> kNames[] = {
        {eds::connection::kPoll, "poll"},
        {eds::connection::kStrobe, "bit-strobe"},
        {eds::connection::kChangeOfState, "change of state"},
        {eds::connection::kCyclic, "cyclic"},
    };
    std::string text;
    for (const auto& [bit, name] : kNames) {
        if ((mask & bit) != 0) {
            text += (text.empty() ? "" : ", ") + std::string(name);
        }
    }
    return text.empty() ? "none" : text;
}

// A text of the file, quoted and escaped as the file would write it.
std::string Quoted(const std::string& text)
{
    return "\"" + eds::Escape(text) + "\"";
}

std::size_t NameWidth(const std::vector<eds::Param>& params)
{
    std::size_t width = 4;
    for (const eds::Param& param : params) {
        width = std::max(width, std::min<std::size_t>(param.name.size(), 32));
    }
    return width + 2;
}

std::string Number(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%5d", value);
    return text;
}

// What a parameter may be set to, or that it may not.
std::string Settable(const eds::Param& param)
{
    return param.ReadOnly() ? "read-only" : eds::RangeText(param);
}

void IoLines(const eds::IoInfo& io, Lines& lines)
{
    std::string head = "I/O:";
    if (io.defaultConnections) {
        head += " default " + Connections(*io.defaultConnections) + ";";
    }
    const std::pair<const char*, const std::optional<eds::ConnectionInfo>*> kinds[] = {
        {"poll", &io.poll}, {"bit-strobe", &io.strobe}, {"change of state", &io.changeOfState}, {"cyclic", &io.cyclic}};
    for (const auto& [name, info] : kinds) {
        if (*info) {
            head += std::string(" ") + name + " input " + std::to_string((*info)->defaultInput) + ", output " +
                    std::to_string((*info)->defaultOutput) + ";";
        }
    }
    lines.push_back(head.back() == ';' ? head.substr(0, head.size() - 1) : head + " none described");
    for (const auto& [kind, entries] : {std::pair{"input", &io.inputs}, std::pair{"output", &io.outputs}}) {
        for (const eds::IoEntry& entry : *entries) {
            lines.push_back("  " + std::string(kind) + " " + std::to_string(entry.number) + ": " + Quoted(entry.name) +
                            ", " + std::to_string(entry.size) + " bytes, " + Connections(entry.connections) + ", " +
                            PathText(entry.path));
        }
    }
}

std::string FileLine(const eds::FileInfo& file)
{
    std::string line = "file:";
    if (!file.description.empty()) {
        line += " " + Quoted(file.description) + ",";
    }
    line += file.revision.empty() ? " no revision" : " revision " + file.revision;
    if (!file.createDate.empty()) {
        line += ", created " + file.createDate + (file.createTime.empty() ? "" : " " + file.createTime);
    }
    if (!file.modDate.empty()) {
        line += ", modified " + file.modDate + (file.modTime.empty() ? "" : " " + file.modTime);
    }
    return line;
}

std::string DeviceLine(const eds::Device& device)
{
    std::string line = Quoted(device.productName);
    if (!device.catalog.empty()) {
        line += " (catalog " + Quoted(device.catalog) + ")";
    }
    if (!device.vendorName.empty()) {
        line += " by " + Quoted(device.vendorName);
    }
    line += ": " + IdentityText({device.Key(), device.minorRevision});
    if (!device.productTypeName.empty()) {
        line += " (" + device.productTypeName + ")";
    }
    return line;
}

std::string OfNodeLine(const EdsOfNode& of)
{
    std::string line = "node " + std::to_string(of.node);
    if (of.identity) {
        line += " (" + IdentityText(*of.identity) + ")";
    }
    if (of.eds) {
        line += ": " + Quoted(of.eds->device.productName) + ", EDS " + of.edsFile;
    }
    return line;
}

void Identity(const EdsOfNode& of, JsonObject& json)
{
    json.Number("node", static_cast<long long>(of.node));
    if (of.identity) {
        JsonObject identity;
        identity.Number("vendorId", static_cast<long long>(of.identity->key.vendorId))
            .Number("deviceType", static_cast<long long>(of.identity->key.deviceType))
            .Number("productCode", static_cast<long long>(of.identity->key.productCode))
            .Number("majorRevision", static_cast<long long>(of.identity->key.majorRevision))
            .Number("minorRevision", static_cast<long long>(of.identity->minorRevision));
        json.Raw("identity", identity.Text());
    }
    if (of.eds) {
        json.String("eds", of.edsFile).String("productName", of.eds->device.productName);
    }
}

std::string Array(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (const std::string& item : items) {
        text += (text.size() > 1 ? "," : "") + item;
    }
    return text + "]";
}

// A parameter's number and name, and the class, instance and attribute its path leads to.
void NumberNameAndAddress(const eds::Param& param, JsonObject& json)
{
    json.Number("number", static_cast<long long>(param.number)).String("name", param.name);
    if (const auto& at = param.path.address) {
        json.Number("class", static_cast<long long>(at->classId))
            .Number("instance", static_cast<long long>(at->instance))
            .Number("attribute", static_cast<long long>(at->attribute));
    }
}

std::string ParamJson(const eds::Param& param)
{
    JsonObject json;
    NumberNameAndAddress(param, json);
    const eds::DataType type = eds::FindDataType(param.dataType);
    json.String("path", platform::HexText(param.path.bytes, "", true))
        .Number("descriptor", static_cast<long long>(param.descriptor))
        .Number("dataType", static_cast<long long>(param.dataType))
        .String("dataTypeName", type.name)
        .Number("dataSize", static_cast<long long>(param.dataSize))
        .String("units", param.units)
        .String("help", param.help)
        .Raw("minimum", ValueJson(param, param.minimum))
        .Raw("maximum", ValueJson(param, param.maximum))
        .Raw("default", ValueJson(param, param.defaultValue))
        .Bool("readOnly", param.ReadOnly())
        .String("range", eds::RangeText(param));
    if (param.Scaled()) {
        JsonObject scaling;
        scaling.Number("multiplier", static_cast<long long>(param.scaling.multiplier))
            .Number("divisor", static_cast<long long>(param.scaling.divisor))
            .Number("base", static_cast<long long>(param.scaling.base))
            .Number("offset", static_cast<long long>(param.scaling.offset));
        json.Raw("scaling", scaling.Text());
    }
    json.Number("decimalPlaces", static_cast<long long>(param.decimalPlaces));
    std::vector<std::string> entries;
    for (const eds::EnumEntry& entry : param.enumeration) {
        JsonObject item;
        item.Raw("value", ValueJson(param, entry.value)).String("name", entry.name);
        entries.push_back(item.Text());
    }
    json.Raw("enumeration", Array(entries));
    return json.Text();
}

} // namespace

Lines EdsText(const EdsResult& result)
{
    if (!result.eds) {
        return {};
    }
    const eds::Eds& eds = *result.eds;
    Lines lines{DeviceLine(eds.device), FileLine(eds.file)};
    IoLines(eds.io, lines);
    lines.push_back(std::to_string(eds.params.size()) + (eds.params.size() == 1 ? " parameter" : " parameters") +
                    (eds.params.empty() ? "" : ":"));
    const std::size_t width = NameWidth(eds.params);
    for (const eds::Param& param : eds.params) {
        const eds::DataType type = eds::FindDataType(param.dataType);
        const std::string typeName =
            type.name.empty() ? "type " + platform::HexNumber(param.dataType, 2, true) : std::string(type.name);
        lines.push_back(Number(param.number) + "  " + Pad(param.name, width) + Pad(typeName, 14) +
                        Pad(PathText(param.path), 12) + "default " + Pad(eds::ValueText(param, param.defaultValue), 22) +
                        Settable(param));
    }
    for (const eds::Group& group : eds.groups) {
        lines.push_back("group " + std::to_string(group.number) + ": " + Quoted(group.name) + ", " +
                        std::to_string(group.members.size()) + " parameters");
    }
    for (const eds::Section& section : eds.otherSections) {
        lines.push_back("not used: [" + section.name + "] (line " + std::to_string(section.where.line) + ", " +
                        std::to_string(section.entries.size()) +
                        (section.entries.size() == 1 ? " entry)" : " entries)"));
    }
    for (const eds::OtherEntry& other : eds.otherEntries) {
        lines.push_back("not used: [" + other.section + "] " + other.entry.keyword + " (line " +
                        std::to_string(other.entry.where.line) + ")");
    }
    for (const eds::Note& note : eds.notes) {
        lines.push_back("note: line " + std::to_string(note.where.line) + ": " + note.text);
    }
    return lines;
}

Lines EdsText(const ParamsResult& result)
{
    if (!result.of.eds) {
        return {};
    }
    Lines lines{OfNodeLine(result.of)};
    const std::size_t width = NameWidth(result.of.eds->params);
    for (const ParamReading& reading : result.readings) {
        const eds::Param& param = *reading.param;
        const std::string value =
            reading.value ? eds::ValueText(param, *reading.value) : "(" + reading.problem + ")";
        lines.push_back(Number(param.number) + "  " + Pad(param.name, width) + Pad(value, 24) + Settable(param));
    }
    return lines;
}

Lines EdsText(const ParamWriteResult& result)
{
    if (!result.param || !result.value || !result.sent) {
        return {};
    }
    return {"node " + std::to_string(result.of.node) + ": " + result.param->name + " = " +
            eds::ValueText(*result.param, *result.value) + " (parameter " + std::to_string(result.param->number) +
            ", " + Hex(*result.sent) + ")"};
}

void EdsJson(const EdsResult& result, JsonObject& json)
{
    json.String("file", result.file);
    if (result.error) {
        if (result.error->where.line != 0) {
            json.Number("line", static_cast<long long>(result.error->where.line))
                .Number("column", static_cast<long long>(result.error->where.column));
        }
        json.String("expected", result.error->expected);
    }
    if (!result.eds) {
        return;
    }
    const eds::Eds& eds = *result.eds;
    const eds::Device& d = eds.device;
    JsonObject device;
    device.Number("vendorId", static_cast<long long>(d.vendorId))
        .String("vendorName", d.vendorName)
        .Number("productType", static_cast<long long>(d.productType))
        .String("productTypeName", d.productTypeName)
        .Number("productCode", static_cast<long long>(d.productCode))
        .Number("majorRevision", static_cast<long long>(d.majorRevision))
        .Number("minorRevision", static_cast<long long>(d.minorRevision))
        .String("productName", d.productName)
        .String("catalog", d.catalog);
    JsonObject file;
    file.String("description", eds.file.description)
        .String("createDate", eds.file.createDate)
        .String("createTime", eds.file.createTime)
        .String("modDate", eds.file.modDate)
        .String("modTime", eds.file.modTime)
        .String("revision", eds.file.revision);
    std::vector<std::string> classes;
    for (const std::string& name : eds.classification) {
        classes.push_back(JsonString(name));
    }
    JsonObject io;
    if (eds.io.defaultConnections) {
        io.Number("default", static_cast<long long>(*eds.io.defaultConnections));
    }
    const std::pair<const char*, const std::optional<eds::ConnectionInfo>*> kinds[] = {
        {"poll", &eds.io.poll}, {"strobe", &eds.io.strobe}, {"changeOfState", &eds.io.changeOfState},
        {"cyclic", &eds.io.cyclic}};
    for (const auto& [name, info] : kinds) {
        if (*info) {
            JsonObject connection;
            connection.Number("compatible", static_cast<long long>((*info)->compatible))
                .Number("input", static_cast<long long>((*info)->defaultInput))
                .Number("output", static_cast<long long>((*info)->defaultOutput));
            io.Raw(name, connection.Text());
        }
    }
    for (const auto& [name, entries] : {std::pair{"inputs", &eds.io.inputs}, std::pair{"outputs", &eds.io.outputs}}) {
        std::vector<std::string> items;
        for (const eds::IoEntry& entry : *entries) {
            JsonObject item;
            item.Number("number", static_cast<long long>(entry.number))
                .Number("size", static_cast<long long>(entry.size))
                .Number("significantBits", static_cast<long long>(entry.significantBits))
                .Number("connections", static_cast<long long>(entry.connections))
                .String("name", entry.name)
                .String("path", platform::HexText(entry.path.bytes, "", true))
                .String("help", entry.help);
            items.push_back(item.Text());
        }
        io.Raw(name, Array(items));
    }
    std::vector<std::string> params;
    for (const eds::Param& param : eds.params) {
        params.push_back(ParamJson(param));
    }
    std::vector<std::string> groups;
    for (const eds::Group& group : eds.groups) {
        std::vector<std::string> members;
        for (const std::uint16_t member : group.members) {
            members.push_back(std::to_string(member));
        }
        JsonObject item;
        item.Number("number", static_cast<long long>(group.number)).String("name", group.name).Raw("members",
                                                                                                   Array(members));
        groups.push_back(item.Text());
    }
    std::vector<std::string> unused;
    for (const eds::Section& section : eds.otherSections) {
        JsonObject item;
        item.String("section", section.name)
            .Number("line", static_cast<long long>(section.where.line))
            .Number("entries", static_cast<long long>(section.entries.size()));
        unused.push_back(item.Text());
    }
    for (const eds::OtherEntry& other : eds.otherEntries) {
        JsonObject item;
        item.String("section", other.section)
            .String("keyword", other.entry.keyword)
            .Number("line", static_cast<long long>(other.entry.where.line));
        unused.push_back(item.Text());
    }
    std::vector<std::string> notes;
    for (const eds::Note& note : eds.notes) {
        JsonObject item;
        item.Number("line", static_cast<long long>(note.where.line)).String("text", note.text);
        notes.push_back(item.Text());
    }
    json.Raw("device", device.Text())
        .Raw("fileInfo", file.Text())
        .Raw("classification", Array(classes))
        .Raw("io", io.Text())
        .Raw("parameters", Array(params))
        .Raw("groups", Array(groups))
        .Raw("notUsed", Array(unused))
        .Raw("notes", Array(notes));
}

void EdsJson(const ParamsResult& result, JsonObject& json)
{
    Identity(result.of, json);
    std::vector<std::string> readings;
    for (const ParamReading& reading : result.readings) {
        const eds::Param& param = *reading.param;
        JsonObject item;
        NumberNameAndAddress(param, item);
        item.String("data", platform::HexText(reading.data, "", true));
        if (reading.value) {
            item.Raw("value", ValueJson(param, *reading.value)).String("text", eds::ValueText(param, *reading.value));
            if (const std::string name = eds::EnumName(param, *reading.value); !name.empty()) {
                item.String("meaning", name);
            }
        } else {
            item.Raw("value", "null").String("problem", reading.problem);
        }
        item.String("units", param.units).Bool("readOnly", param.ReadOnly()).String("range", eds::RangeText(param));
        readings.push_back(item.Text());
    }
    json.Raw("parameters", Array(readings));
}

void EdsJson(const ParamWriteResult& result, JsonObject& json)
{
    Identity(result.of, json);
    if (result.param) {
        json.Number("number", static_cast<long long>(result.param->number)).String("name", result.param->name);
    }
    if (result.param && result.value) {
        json.Raw("value", ValueJson(*result.param, *result.value))
            .String("text", eds::ValueText(*result.param, *result.value));
    }
    if (result.sent) {
        json.String("data", platform::HexText(*result.sent, "", true));
    }
}

} // namespace orv::dnet
