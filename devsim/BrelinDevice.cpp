#include "devsim/BrelinDevice.h"

#include "devsim/DeviceNet.h"
#include "devsim/Fragmentation.h"
#include "devsim/Model.h"
#include "devsim/Timers.h"

namespace devsim {

namespace {

using devicenet::Group2;
using namespace devicenet::error;

constexpr std::uint32_t kDuplicateMacWaitMs = 1000;
constexpr std::size_t kFrameData = 8;

enum class Phase {
    PoweredOff,   // waits for the first moment it is given
    Restarting,   // off line until `phaseUntilMs`
    CheckingMac,  // duplicate MAC ID check running
    Online,
    Faulted,      // another node has its MAC ID
    BusOff,       // held in bus-off
};

} // namespace

struct BrelinDevice::Impl {
    explicit Impl(Options opts) : options(std::move(opts))
    {
        model.identity.password = options.password;
        model.devicenet.macId = options.macId & devicenet::kMacMask;
        model.devicenet.baudRate = options.baudRate <= kMaxBaudRate ? options.baudRate : 0;
        model.devicenet.macSwitch = options.macSwitch;
        model.devicenet.baudSwitch = options.baudSwitch;
        SetFaults(options.faults);
        Restart();
    }

    Options options;
    Sink sink;
    SerialSink serialSink;
    Model model;
    OutputStage output;
    RequestReassembly reassembly;
    ResponseSender sender;
    IoReassembly pollReassembly;
    Phase phase = Phase::PoweredOff;
    std::uint32_t phaseUntilMs = 0;
    int macChecksSent = 0;

    bool offBus = false;

    // Hears and sends nothing: another data rate than the bus's, or off the bus.
    bool Deaf() const
    {
        return offBus || (options.busBaudRate >= 0 && options.busBaudRate != model.activeBaudRate);
    }

    void SetFaults(const Faults& faults)
    {
        if (faults.macSwitch != kNoSwitch) {
            model.devicenet.macSwitch = faults.macSwitch;
            model.devicenet.baudSwitch = faults.baudSwitch;
        }
        output.SetFaults(faults);
    }

    // Power-up and Reset: switches are read, the stored MAC ID and data rate come into use, every
    // connection and everything volatile is gone.
    void Restart()
    {
        DeviceNetState& dn = model.devicenet;
        dn.macSwitchAtStart = dn.macSwitch;
        dn.baudSwitchAtStart = dn.baudSwitch;
        if (!SetOverNetwork(dn.macSwitch, kMaxMacId)) {
            dn.macId = static_cast<std::uint8_t>(dn.macSwitch);
        }
        if (!SetOverNetwork(dn.baudSwitch, kMaxBaudRate)) {
            dn.baudRate = static_cast<std::uint8_t>(dn.baudSwitch);
        }
        model.activeMacId = dn.macId;
        model.activeBaudRate = dn.baudRate;
        model.connections.ReleaseAll();
        model.identity.unlocked = false;
        model.gateway.ClearVolatile();
        model.pollIdle = true;
        model.resetRequested.reset();
        reassembly.Abort();
        sender.Abort();
        pollReassembly = IoReassembly{};
        phase = Phase::PoweredOff;
        macChecksSent = 0;
    }

    void Emit(std::uint32_t id, const Payload& payload, bool answer)
    {
        if (Deaf()) {
            return;
        }
        canbus::Frame frame;
        frame.id = id;
        frame.length = payload.length;
        frame.data = payload.bytes;
        output.Send(frame, answer, model.nowMs, sink);
    }

    void EmitBytes(std::uint32_t id, std::uint8_t header, ByteView body)
    {
        Payload payload;
        payload.Push(header);
        for (const auto byte : body) {
            payload.Push(byte);
        }
        Emit(id, payload, true);
    }

    std::uint32_t ResponseId() const { return devicenet::Group2Id(model.activeMacId, Group2::ExplicitResponse); }

    void FlushSerial()
    {
        const Bytes out = model.gateway.TakeOutput();
        if (!out.empty() && serialSink) {
            serialSink(out);
        }
    }

    // Lets time pass up to `nowMs`: start-up, watchdogs, fragment timers, held frames.
    void Advance(std::uint32_t nowMs)
    {
        model.nowMs = nowMs;
        switch (phase) {
        case Phase::PoweredOff:
            phase = Phase::Restarting;
            phaseUntilMs = nowMs + options.restartMs;
            [[fallthrough]];
        case Phase::Restarting:
            if (static_cast<std::int32_t>(nowMs - phaseUntilMs) < 0) {
                break;
            }
            if (options.duplicateMacCheck) {
                phase = Phase::CheckingMac;
                SendMacCheck(false);
                phaseUntilMs = nowMs + kDuplicateMacWaitMs;
            } else {
                phase = Phase::Online;
            }
            break;
        case Phase::CheckingMac:
            if (static_cast<std::int32_t>(nowMs - phaseUntilMs) >= 0) {
                if (macChecksSent < 2) {
                    SendMacCheck(false);
                    phaseUntilMs = nowMs + kDuplicateMacWaitMs;
                } else {
                    phase = Phase::Online;
                }
            }
            break;
        default: break;
        }
        if (phase == Phase::Online) {
            model.connections.Tick(nowMs);
            if (!model.connections.ExplicitOpen()) {
                reassembly.Abort();
                sender.Abort();
            }
            if (reassembly.Expired(nowMs, options.reassemblyTimeoutMs)) {
                reassembly.Abort();
            }
            switch (sender.OnTime(nowMs, options.ackTimeoutMs)) {
            case ResponseSender::TimerResult::Resend: Emit(ResponseId(), sender.Current(), true); break;
            default: break;
            }
            model.gateway.Tick(nowMs);
        }
        output.Release(nowMs, sink);
    }

    // The timers Advance runs, as far as the phase lets them run.
    std::optional<std::uint32_t> NextTimer(std::uint32_t nowMs) const
    {
        Soonest soonest;
        switch (phase) {
        case Phase::PoweredOff: return 0; // starts at the first moment it is given
        case Phase::Restarting:
        case Phase::CheckingMac: soonest.Offer(MillisecondsUntil(nowMs, phaseUntilMs)); break;
        case Phase::Online:
            soonest.Offer(model.connections.NextExpiry(nowMs))
                .Offer(reassembly.ExpiresIn(nowMs, options.reassemblyTimeoutMs))
                .Offer(sender.TimerIn(nowMs, options.ackTimeoutMs))
                .Offer(model.gateway.NextTick(nowMs));
            break;
        default: break;
        }
        return soonest.Offer(output.NextRelease(nowMs)).Get();
    }

    // Duplicate MAC ID check request or response: port 0, vendor ID, serial number.
    void SendMacCheck(bool response)
    {
        Payload payload;
        payload.Push(response ? 0x80 : 0x00);
        payload.Push(static_cast<std::uint8_t>(model.identity.vendorId));
        payload.Push(static_cast<std::uint8_t>(model.identity.vendorId >> 8));
        for (int shift = 0; shift < 32; shift += 8) {
            payload.Push(static_cast<std::uint8_t>(model.identity.serialNumber >> shift));
        }
        Emit(devicenet::Group2Id(model.activeMacId, Group2::DuplicateMacCheck), payload, false);
        if (!response) {
            ++macChecksSent;
        }
    }

    void OnFrame(const canbus::Frame& frame, std::uint32_t nowMs)
    {
        Advance(nowMs);
        if (Deaf() || frame.extended || frame.remote || frame.length > kFrameData || !devicenet::IsGroup2(frame.id) ||
            devicenet::Group2Mac(frame.id) != model.activeMacId) {
            return;
        }
        const ByteView data(frame.data.data(), frame.length);
        const auto message = static_cast<Group2>(devicenet::Group2Message(frame.id));
        if (message == Group2::DuplicateMacCheck) {
            OnDuplicateMacCheck(data);
            return;
        }
        if (phase != Phase::Online) {
            return;
        }
        switch (message) {
        case Group2::ExplicitRequest: OnExplicit(data); break;
        case Group2::PollCommand: OnPoll(data); break;
        case Group2::UnconnectedRequest: OnUnconnected(data); break;
        default: break;
        }
        output.Release(nowMs, sink);
    }

    // Another node uses our MAC ID: while checking, the device gives up; on line, it answers the
    // other node's request (never a response, so that two devices never answer each other).
    void OnDuplicateMacCheck(ByteView data)
    {
        if (phase == Phase::CheckingMac) {
            phase = Phase::Faulted;
        } else if (phase == Phase::Online && !data.empty() && !(data[0] & 0x80)) {
            SendMacCheck(true);
        }
    }

    void OnUnconnected(ByteView data)
    {
        if (data.size() < 2 || (data[0] & devicenet::kFragBit)) {
            return;
        }
        const std::uint8_t header = data[0] & static_cast<std::uint8_t>(~devicenet::kFragBit);
        const std::uint8_t service = data[1];
        if (service & devicenet::service::kResponseBit) {
            return;
        }
        Outcome outcome;
        if (service != devicenet::service::kAllocate && service != devicenet::service::kRelease) {
            outcome = Outcome::Error(kServiceNotSupported, kGroup2OnlyServer);
        } else if (data.size() < 4) {
            outcome = Outcome::Error(kNotEnoughData);
        } else if (data[2] != 3 || data[3] != 1) {
            outcome = Outcome::Error(kObjectDoesNotExist);
        } else {
            const std::size_t want = service == devicenet::service::kAllocate ? 6 : 5;
            if (data.size() != want) {
                outcome = Outcome::Error(data.size() < want ? kNotEnoughData : kTooMuchData);
            } else if (service == devicenet::service::kAllocate) {
                outcome = model.Allocate(data[4], data[5]);
            } else {
                outcome = model.Release(data[4], header & devicenet::kMacMask);
            }
        }
        Reply(header, service, outcome);
        AfterConnectionChange();
    }

    void AfterConnectionChange()
    {
        if (!model.connections.ExplicitOpen()) {
            reassembly.Abort();
            sender.Abort();
        }
        if (!model.connections.PollEstablished()) {
            pollReassembly = IoReassembly{};
        }
    }

    void OnExplicit(ByteView data)
    {
        if (data.empty()) {
            return;
        }
        const std::uint8_t header = data[0];
        if (!model.connections.ExplicitOpen() || (header & devicenet::kMacMask) != model.connections.Owner()) {
            return;
        }
        model.connections.Kick(model.connections.Explicit(), model.nowMs);
        if (!(header & devicenet::kFragBit)) {
            sender.Abort();
            reassembly.Abort();
            Execute(header, data.subspan(1));
            return;
        }
        if (data.size() < 2) {
            return;
        }
        const std::uint8_t type = data[1] & devicenet::kFragmentTypeMask;
        const std::uint8_t count = data[1] & devicenet::kFragmentCountMask;
        if (type == static_cast<std::uint8_t>(devicenet::FragmentType::Ack)) {
            if (data.size() >= 3 &&
                sender.OnAck(count, data[2], model.nowMs) == ResponseSender::AckResult::Next) {
                Emit(ResponseId(), sender.Current(), true);
            }
            return;
        }
        sender.Abort(); // a new request ends the answer in progress
        const RequestReassembly::Step step = reassembly.OnFragment(data, model.nowMs, kExplicitMessageSize);
        if (step.acknowledge) {
            Payload ack;
            ack.Push(static_cast<std::uint8_t>(header | devicenet::kFragBit));
            ack.Push(static_cast<std::uint8_t>(static_cast<std::uint8_t>(devicenet::FragmentType::Ack) | step.count));
            ack.Push(step.status);
            Emit(ResponseId(), ack, true);
        }
        if (step.complete) {
            Execute(static_cast<std::uint8_t>(reassembly.Header() & ~devicenet::kFragBit), reassembly.Body());
        }
    }

    // One whole explicit request: runs it on the objects and answers.
    void Execute(std::uint8_t header, ByteView body)
    {
        if (body.empty() || (body[0] & devicenet::service::kResponseBit)) {
            return;
        }
        const std::uint8_t service = body[0];
        Outcome outcome;
        if (body.size() < 3) {
            outcome = Outcome::Error(kNotEnoughData);
        } else {
            model.requester = header & devicenet::kMacMask;
            outcome = devsim::Execute(model, BrelinClasses(), service, body[1], body[2], body.subspan(3));
        }
        if (outcome.Ok() && outcome.data.size() + 1 > kExplicitMessageSize) {
            outcome = Outcome::Error(0x11); // reply data too large
        }
        Reply(header, service, outcome);
        AfterConnectionChange();
        FlushSerial();
        if (model.resetRequested) {
            ResetDevice(*model.resetRequested);
        }
    }

    // The answer: in one frame when it fits, else fragmented.
    void Reply(std::uint8_t header, std::uint8_t service, const Outcome& outcome)
    {
        header &= static_cast<std::uint8_t>(~devicenet::kFragBit);
        Bytes body;
        if (outcome.Ok()) {
            body.push_back(static_cast<std::uint8_t>(service | devicenet::service::kResponseBit));
            body.insert(body.end(), outcome.data.begin(), outcome.data.end());
        } else {
            body = {devicenet::service::kErrorResponse, outcome.general, outcome.additional};
        }
        if (body.size() + 1 <= kFrameData) {
            EmitBytes(ResponseId(), header, body);
            return;
        }
        sender.Start(header, std::move(body), model.nowMs, output.GetFaults().fragments);
        Emit(ResponseId(), sender.Current(), true);
    }

    void ResetDevice(std::uint8_t type)
    {
        if (type == 1) {
            model.gateway.RestoreDefaults();
            model.devicenet.macId = 63;
            model.devicenet.baudRate = 0;
            model.devicenet.busOffInterrupt = false;
            model.configured = false;
        }
        Restart();
        phase = Phase::Restarting;
        phaseUntilMs = model.nowMs + options.restartMs;
    }

    void OnPoll(ByteView data)
    {
        if (!model.connections.PollEstablished()) {
            return; // configuring (no expected packet rate yet) or timed out: not consumed
        }
        model.connections.Kick(model.connections.Poll(), model.nowMs);
        const std::uint16_t consumed = model.connections.Poll().consumedSize;
        Bytes command;
        if (consumed > kFrameData) {
            if (pollReassembly.OnFrame(data, consumed) != IoReassembly::Result::Complete) {
                return;
            }
            command = pollReassembly.Data();
        } else {
            command.assign(data.begin(), data.end());
        }
        if (command.empty()) {
            model.pollIdle = true; // no data: the master is idle; the device still answers
        } else if (command.size() != consumed) {
            return; // not the connection's size: discarded
        } else {
            model.pollIdle = false;
            model.gateway.Consume(model.pollLayout, command);
            FlushSerial();
        }
        const Bytes response = model.gateway.Produce(model.pollLayout);
        const std::uint32_t id = devicenet::PollResponseId(model.activeMacId);
        if (response.size() <= kFrameData) {
            Payload payload;
            for (const auto byte : response) {
                payload.Push(byte);
            }
            Emit(id, payload, true);
            return;
        }
        for (const Payload& fragment : SplitIo(response, output.GetFaults().fragments)) {
            Emit(id, fragment, true);
        }
    }
};

BrelinDevice::BrelinDevice(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
BrelinDevice::~BrelinDevice() = default;

void BrelinDevice::SetSink(Sink sink) { impl_->sink = std::move(sink); }

void BrelinDevice::OnFrame(const canbus::Frame& frame, std::uint32_t nowMs) { impl_->OnFrame(frame, nowMs); }

void BrelinDevice::Poll(std::uint32_t nowMs) { impl_->Advance(nowMs); }

std::optional<std::uint32_t> BrelinDevice::NextTimer(std::uint32_t nowMs) const { return impl_->NextTimer(nowMs); }

void BrelinDevice::SetSerialSink(SerialSink sink) { impl_->serialSink = std::move(sink); }

void BrelinDevice::SerialInput(std::span<const std::uint8_t> bytes, std::uint32_t nowMs)
{
    if (impl_->phase == Phase::PoweredOff) {
        return;
    }
    impl_->model.gateway.Input(bytes, nowMs);
}

void BrelinDevice::InjectSerialErrors(bool receiveParity, bool receiveOverrun, bool transmitOverrun)
{
    std::uint8_t& status = impl_->model.gateway.status;
    status |= static_cast<std::uint8_t>((receiveParity ? kStatusRxParity : 0) | (receiveOverrun ? kStatusRxOverrun : 0) |
                                        (transmitOverrun ? kStatusTxOverrun : 0));
}

void BrelinDevice::InjectBusOff()
{
    DeviceNetState& dn = impl_->model.devicenet;
    if (dn.busOffCounter < 255) {
        ++dn.busOffCounter;
    }
    if (!dn.busOffInterrupt) {
        impl_->phase = Phase::BusOff;
    }
}

void BrelinDevice::SetSwitches(std::uint8_t macSwitch, std::uint8_t baudSwitch)
{
    impl_->model.devicenet.macSwitch = macSwitch;
    impl_->model.devicenet.baudSwitch = baudSwitch;
}

void BrelinDevice::SetOffBus(bool off)
{
    impl_->offBus = off;
}

void BrelinDevice::PowerCycle()
{
    impl_->Restart();
}

void BrelinDevice::SetFaults(const Faults& faults) { impl_->SetFaults(faults); }
const Faults& BrelinDevice::GetFaults() const { return impl_->output.GetFaults(); }
std::uint64_t BrelinDevice::HeldOverflow() const { return impl_->output.HeldOverflow(); }

std::uint8_t BrelinDevice::MacId() const { return impl_->model.activeMacId; }

bool BrelinDevice::Online() const { return impl_->phase == Phase::Online && !impl_->Deaf(); }

} // namespace devsim
