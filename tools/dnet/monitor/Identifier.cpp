#include "tools/dnet/monitor/Identifier.h"

namespace orv::dnet::monitor {

Identifier ClassifyIdentifier(std::uint32_t id)
{
    id &= 0x7FF;
    if (id < 0x400) {
        return {1, static_cast<int>(id >> 6), static_cast<int>(id & 0x3F)};
    }
    if (id < 0x600) {
        return {2, static_cast<int>(id & 0x07), static_cast<int>((id >> 3) & 0x3F)};
    }
    if (id < 0x7C0) {
        return {3, static_cast<int>((id >> 6) & 0x07), static_cast<int>(id & 0x3F)};
    }
    if (id < 0x7F0) {
        return {4, static_cast<int>(id - 0x7C0), -1};
    }
    return {};
}

std::string_view MessageName(const Identifier& identifier)
{
    switch (identifier.group) {
    case 1:
        switch (identifier.messageId) {
        case kG1MulticastPollResponse: return "multicast poll response";
        case kG1CosCyclic: return "change of state/cyclic message";
        case kG1BitStrobeResponse: return "bit-strobe response";
        case kG1PollResponse: return "poll response";
        }
        return {};
    case 2:
        switch (identifier.messageId) {
        case kG2BitStrobeCommand: return "bit-strobe command";
        case kG2MulticastPoll: return "multicast poll command";
        case kG2CosAcknowledge: return "change of state/cyclic acknowledge";
        case kG2ExplicitResponse: return "explicit response";
        case kG2ExplicitRequest: return "explicit request";
        case kG2PollCommand: return "poll command";
        case kG2UnconnectedRequest: return "unconnected request";
        case kG2DuplicateMacCheck: return "duplicate MAC ID check";
        }
        return {};
    case 3:
        switch (identifier.messageId) {
        case 5: return "unconnected response";
        case 6: return "unconnected request";
        }
        return {};
    case 4:
        switch (identifier.messageId) {
        case 0x2C: return "communication faulted response";
        case 0x2D: return "communication faulted request";
        case 0x2E: return "offline ownership response";
        case 0x2F: return "offline ownership request";
        }
        return {};
    }
    return {};
}

bool CarriesSource(const Identifier& identifier)
{
    if (identifier.group == 2) {
        return identifier.messageId == kG2BitStrobeCommand || identifier.messageId == kG2MulticastPoll ||
               identifier.messageId == kG2ExplicitResponse || identifier.messageId == kG2DuplicateMacCheck;
    }
    return identifier.group == 1 || identifier.group == 3;
}

} // namespace orv::dnet::monitor
