// scan: the nodes that answer an allocation of their explicit connection, with their vendor id
// and product name.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/commands/Explicit.h"

#include "driver/cards/Drv712Api.h"
#include "driver/devicenet/Identifiers.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace orv::dnet {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The explicit connection, as DNAllocate takes it and as the allocation choice bit.
constexpr int kExplicitConnection = 1;
constexpr std::size_t kFrameBufferSize = 64;

void ReportNode(Session& session, int node, bool allocated, ScanResult& scan)
{
    ScannedNode entry{node, std::nullopt, std::nullopt};
    if (allocated) {
        DriverClient& driver = session.Driver();
        std::uint8_t buffer[kReplyBufferSize] = {};
        Bytes data;
        if (JudgeReply(session, driver.DNGetAttribute(node, 1, 1, 1, buffer), buffer,
                       devicenet::kServiceGetAttributeSingle, "", node, data)
                .Ok() &&
            data.size() == 2) {
            entry.vendorId = platform::GetLe16(data.data());
        }
        std::fill(std::begin(buffer), std::end(buffer), std::uint8_t{0});
        if (JudgeReply(session, driver.DNGetAttribute(node, 1, 1, 7, buffer), buffer,
                       devicenet::kServiceGetAttributeSingle, "", node, data)
                .Ok()) {
            entry.productName = ShortString(data);
        }
    }
    scan.nodes.push_back(std::move(entry));
}

Outcome ScanByAllocate(Session& session, std::uint32_t waitMs, ScanResult& scan)
{
    DriverClient& driver = session.Driver();
    if (driver.SetTimeout(waitMs) != 0) {
        return {kExitFailure, session.WithReason("the card refused the scan time-out (SetTimeout failed)")};
    }
    for (int node = 0; node < 64; ++node) {
        if (node == session.Settings().master) {
            continue;
        }
        if (session.IsOpen(node)) {
            // Ours already: allocating again and releasing would take the session's connection away.
            ReportNode(session, node, true, scan);
            continue;
        }
        std::uint8_t scratch[kReplyBufferSize] = {};
        if (driver.DNAllocate(node, kExplicitConnection, scratch) == 0) {
            ReportNode(session, node, true, scan);
            driver.DNFree(node, kExplicitConnection, scratch);
        }
        session.FetchTrace();
    }
    if (driver.SetTimeout(session.ReceiveTimeout()) != 0) {
        return {kExitFailure, session.WithReason("the card refused to restore its time-out (SetTimeout failed)")};
    }
    return {};
}

Outcome ScanByFrames(Session& session, std::uint32_t waitMs, ScanResult& scan)
{
    // The VORA card has no time-out to shorten, so the allocation requests go out as raw frames
    // and dnet waits for each answer itself.
    namespace drv712 = cards::drv712;
    DriverClient& driver = session.Driver();
    const int masterMac = session.Settings().master;
    for (int node = 0; node < 64; ++node) {
        if (node == masterMac) {
            continue;
        }
        if (session.IsOpen(node)) {
            ReportNode(session, node, true, scan);
            continue;
        }
        const auto master = static_cast<std::uint8_t>(masterMac);
        std::uint8_t request[8] = {master, devicenet::kServiceAllocate, devicenet::kDeviceNetClass, 1,
                                   kExplicitConnection, master};
        if (driver.CANXmit(devicenet::Group2Identifier(node, devicenet::Group2Message::UnconnectedRequest), 6,
                           request) != 0) {
            return {kExitFailure,
                    session.WithReason("the card refused the allocation request to node " + std::to_string(node))};
        }
        bool answered = false;
        bool allocated = false;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
        while (!answered && SteadyClock::now() < deadline) {
            std::int16_t identifier = 0;
            std::int16_t length = 0;
            std::uint8_t frame[kFrameBufferSize] = {};
            const std::int32_t rval = driver.CANRcv(&identifier, &length, frame);
            if (rval == drv712::kNothingReceived) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (rval != 0) {
                return {kExitFailure,
                        session.WithReason("the card failed to receive (" + std::to_string(rval) + ")")};
            }
            if (identifier == devicenet::Group2Identifier(node, devicenet::Group2Message::ExplicitResponse) &&
                length >= 2) {
                answered = true;
                allocated = frame[drv712::kReceiveDataOffset + 1] ==
                            (devicenet::kServiceAllocate | devicenet::kServiceReplyBit);
            }
        }
        if (answered) {
            ReportNode(session, node, allocated, scan);
            if (allocated) {
                std::uint8_t scratch[kReplyBufferSize] = {};
                driver.DNFree(node, kExplicitConnection, scratch);
            }
        }
    }
    return {};
}

} // namespace

CommandResult RunScan(Session& session, const Command& command)
{
    const auto waitMs = static_cast<std::uint32_t>(command.waitMs);
    ScanResult scan;
    Outcome outcome = session.Settings().card == CardKind::Vora ? ScanByFrames(session, waitMs, scan)
                                                                : ScanByAllocate(session, waitMs, scan);
    return {{}, std::move(outcome), std::move(scan)};
}

} // namespace orv::dnet
