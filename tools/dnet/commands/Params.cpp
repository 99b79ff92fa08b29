// params and param: a node's parameters as its EDS describes them, read and written through their
// paths. The EDS is the one --eds names, else the EDS library's for the identity the node answers
// with. A value to write is checked against its parameter (range, enumeration, read-only) before
// anything is written; with --eds before anything at all is sent.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/commands/Explicit.h"
#include "tools/dnet/commands/NodeEds.h"

#include "driver/devicenet/Identifiers.h"
#include "eds/Library.h"
#include "eds/ParamValue.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace orv::dnet {
namespace {

// The EDS that --eds names, read before anything goes to the bus.
Outcome LoadGivenEds(const Command& command, EdsOfNode& of)
{
    if (command.edsFile.empty()) {
        return {};
    }
    auto eds = std::make_shared<eds::Eds>();
    eds::Error error;
    if (!eds::LoadEds(command.edsFile, *eds, error)) {
        return {kExitFailure, (error.where.line == 0 ? "" : command.edsFile + ": ") + error.Text()};
    }
    of.eds = std::move(eds);
    of.edsFile = command.edsFile;
    return {};
}

std::string IdentityOfEds(const eds::Eds& eds)
{
    return IdentityText({eds.device.Key(), eds.device.minorRevision});
}

// The node open and its identity read; without --eds, its EDS from the library. `mismatch` tells
// that a given EDS describes another device.
Outcome OpenAndIdentify(Session& session, EdsOfNode& of, bool& mismatch)
{
    Outcome outcome = session.EnsureDriver();
    if (outcome.Ok()) {
        outcome = session.EnsureNode(of.node, false);
    }
    NodeIdentity identity;
    if (outcome.Ok()) {
        outcome = ReadIdentity(session, of.node, identity);
    }
    if (!outcome.Ok()) {
        return outcome;
    }
    of.identity = identity;
    const std::string node = "node " + std::to_string(of.node);
    if (of.eds) {
        mismatch = of.eds->device.Key() != identity.key;
        if (mismatch) {
            session.Note(node + " answers as " + IdentityText(identity) + "; " + of.edsFile + " describes " +
                         IdentityOfEds(*of.eds));
        }
        return {};
    }
    const eds::Library& library = session.EdsLibrary();
    for (const std::string& problem : library.Problems()) {
        session.Note("EDS library: left out " + problem);
    }
    const eds::LibraryFile* file = library.Find(identity.key);
    if (file == nullptr) {
        std::string folders;
        for (const auto& folder : library.SearchedFolders()) {
            folders += (folders.empty() ? "" : ", ") + folder.string();
        }
        return {kExitFailure, node + " (" + IdentityText(identity) + ") has no EDS in the EDS library (" + folders +
                                  "); name one with --eds"};
    }
    eds::Error error;
    of.eds = library.Load(*file, error);
    if (!of.eds) {
        return {kExitFailure, file->path.string() + ": " + error.Text()};
    }
    of.edsFile = file->path.string();
    return {};
}

// Letters and digits alone, in lower case: "Baud Rate", "baud_rate" and "BaudRate" are one name.
std::string Loose(std::string_view name)
{
    std::string loose;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            loose += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return loose;
}

// The parameter `wanted` names: its number, its name in any case, or its name's letters and digits.
const eds::Param* FindParam(const eds::Eds& eds, const std::string& wanted, std::string& why)
{
    if (const auto number = ParseNumber(wanted, 1, 65535)) {
        if (const eds::Param* param = eds.FindParam(static_cast<std::uint16_t>(*number))) {
            return param;
        }
    }
    std::vector<const eds::Param*> exact;
    std::vector<const eds::Param*> loose;
    const std::string looseWanted = Loose(wanted);
    for (const eds::Param& param : eds.params) {
        if (eds::SameName(param.name, wanted)) {
            exact.push_back(&param);
        } else if (!looseWanted.empty() && Loose(param.name) == looseWanted) {
            loose.push_back(&param);
        }
    }
    const auto& found = exact.empty() ? loose : exact;
    if (found.size() == 1) {
        return found.front();
    }
    if (found.empty()) {
        why = "the EDS has no parameter '" + wanted + "'";
    } else {
        why = "'" + wanted + "' names several parameters:";
        for (const eds::Param* param : found) {
            why += " " + std::to_string(param->number);
        }
    }
    return nullptr;
}

// The parameter and the value to write, or the refusal.
Outcome Check(const Command& command, ParamWriteResult& write)
{
    std::string why;
    write.param = FindParam(*write.of.eds, command.parameter, why);
    if (write.param == nullptr) {
        return {kExitUsage, why};
    }
    eds::Value value;
    if (!eds::ValueFromText(*write.param, command.value, value, why)) {
        return {kExitUsage, why + "; nothing was written"};
    }
    write.value = std::move(value);
    return {};
}

// The class, instance and attribute a parameter's path leads to, as the driver takes them.
bool Reachable(const eds::Param& param, std::string& why)
{
    const auto& at = param.path.address;
    if (!at) {
        why = "no path to an attribute";
        return false;
    }
    if (at->classId > 255 || at->instance > 255 || at->attribute > 255) {
        why = "its path " + eds::AddressText(*at) + " needs 16-bit numbers";
        return false;
    }
    return true;
}

std::string Named(const eds::Param& param)
{
    return "parameter " + std::to_string(param.number) + " (" + param.name + ")";
}

} // namespace

CommandResult RunParams(Session& session, const Command& command)
{
    CommandResult result{{}, {}, ParamsResult{}};
    ParamsResult& params = std::get<ParamsResult>(result.body);
    params.of.node = command.node;
    bool mismatch = false;
    result.outcome = LoadGivenEds(command, params.of);
    if (result.outcome.Ok()) {
        result.outcome = OpenAndIdentify(session, params.of, mismatch);
    }
    if (!result.outcome.Ok()) {
        return result;
    }
    std::size_t refused = 0;
    std::size_t unreadable = 0;
    for (const eds::Param& param : params.of.eds->params) {
        ParamReading reading{&param, {}, std::nullopt, {}};
        if (Reachable(param, reading.problem)) {
            const eds::AttributeAddress& at = *param.path.address;
            std::uint8_t buffer[kReplyBufferSize] = {};
            const std::int32_t rval = session.Driver().DNGetAttribute(
                command.node, static_cast<int>(at.classId), static_cast<int>(at.instance),
                static_cast<int>(at.attribute), buffer);
            const Outcome read = JudgeReply(session, rval, buffer, devicenet::kServiceGetAttributeSingle, "",
                                            command.node, reading.data);
            if (read.exit == kExitFailure) {
                // A node that stops answering is not asked again for every parameter left.
                result.outcome = {kExitFailure, Named(param) + ": " + read.message};
                return result;
            }
            if (!read.Ok()) {
                reading.problem = read.message;
                ++refused;
            } else if (auto value = eds::DecodeValue(param, reading.data, reading.problem)) {
                reading.value = std::move(*value);
            }
        }
        unreadable += reading.value ? 0 : 1;
        params.readings.push_back(std::move(reading));
    }
    if (unreadable > 0) {
        result.outcome = {unreadable == refused ? kExitErrorResponse : kExitFailure,
                          std::to_string(unreadable) + " of " + std::to_string(params.readings.size()) +
                              " parameters could not be read"};
    }
    return result;
}

CommandResult RunParam(Session& session, const Command& command)
{
    CommandResult result{{}, {}, ParamWriteResult{}};
    ParamWriteResult& write = std::get<ParamWriteResult>(result.body);
    write.of.node = command.node;
    result.outcome = LoadGivenEds(command, write.of);
    if (result.outcome.Ok() && write.of.eds) {
        result.outcome = Check(command, write);
    }
    bool mismatch = false;
    if (result.outcome.Ok()) {
        result.outcome = OpenAndIdentify(session, write.of, mismatch);
    }
    if (result.outcome.Ok() && mismatch) {
        result.outcome = {kExitFailure, "the EDS describes another device; nothing was written"};
    }
    if (result.outcome.Ok() && !write.param) {
        result.outcome = Check(command, write);
    }
    if (!result.outcome.Ok()) {
        return result;
    }
    const eds::Param& param = *write.param;
    std::string why;
    if (!Reachable(param, why)) {
        result.outcome = {kExitFailure, Named(param) + ": " + why};
        return result;
    }
    const eds::AttributeAddress& at = *param.path.address;
    const Bytes bytes = eds::EncodeValue(param, *write.value);
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(bytes.begin(), bytes.end(), buffer);
    const std::int32_t rval = session.Driver().DNSetAttribute(
        command.node, static_cast<int>(at.classId), static_cast<int>(at.instance), static_cast<int>(at.attribute),
        static_cast<int>(bytes.size()), buffer);
    Bytes reply;
    result.outcome = JudgeReply(session, rval, buffer, devicenet::kServiceSetAttributeSingle, Named(param) + ": ",
                                command.node, reply);
    if (result.outcome.Ok()) {
        write.sent = bytes;
    }
    return result;
}

} // namespace orv::dnet
