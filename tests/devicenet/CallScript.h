#pragma once
// One call of any kind against a scripted node, for the tables that hold for every call of the
// master: what it takes as its answer and when it ends. Each kind is called the same way in every
// row; what the node does is the row's script.

#include "ExplicitScript.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace orv::test {

// The calls and their arguments:
//   Get       DNGetAttribute class 1 instance 1 attribute 7             "464: 01 0E 01 01 07"
//   Set       DNSetAttribute class 1 instance 1 attribute 7, `length` bytes A0 A1 ...
//   Service   DNService class 0x40 instance 1 service 0x32, `length` bytes A0 A1 ...
//   Allocate  DNAllocate choice 1                                       "466: 01 4B 03 01 01 01"
//   Free      DNFree choice 1                                           "466: 01 4C 03 01 01"
//   Poll      DNPoll command A0 on 0x465, `length` response bytes expected
enum class Call { Get, Set, Service, Allocate, Free, Poll };

// A frame of the node, due `after` ms from the moment the master sent the step's frame.
struct Answer {
    std::uint32_t after;
    std::string frame;
};

// A frame the master must send, and what the node sends once it has.
struct Step {
    std::string sent;
    std::vector<Answer> answers;
};

inline void Play(ScriptedPeer& peer, const std::vector<Step>& script)
{
    for (const Step& step : script) {
        ScriptedPeer::Step& expected = peer.Expect(step.sent);
        for (const Answer& answer : step.answers) {
            expected.ReplyAfter(answer.after, answer.frame);
        }
    }
}

// What a call handed back: its result, and its reply as text. Explicit calls: "LL LL" + the reply
// from byte 6 on success, and on failure a description of the first byte written past the request
// data (empty when none). Allocate and Free: the answer frame on success. Poll: the response bytes
// on success.
struct Outcome {
    int result = 0;
    std::string reply;
};

inline Outcome RunCall(devicenet::DeviceNetMaster& master, Call call, int length)
{
    Outcome out;
    GuardedBuffer buffer(512, Counting(static_cast<std::size_t>(std::max(length, 1))));
    const auto explicitReply = [&] {
        const std::size_t data = call == Call::Get ? 0 : static_cast<std::size_t>(length);
        out.reply = out.result == 0 ? buffer.Hex(4, 2u + buffer.ReplyLength()) : buffer.WrittenFrom(std::max<std::size_t>(4, data));
    };
    switch (call) {
    case Call::Get:
        out.result = master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data());
        explicitReply();
        break;
    case Call::Set:
        out.result = master.DNSetAttribute(kSlave, 1, 1, 7, length, buffer.data());
        explicitReply();
        break;
    case Call::Service:
        out.result = master.DNService(kSlave, 0x40, 1, 0x32, length, buffer.data());
        explicitReply();
        break;
    case Call::Allocate:
    case Call::Free: {
        devicenet::CanFrame answer;
        out.result = call == Call::Allocate ? master.DNAllocate(kSlave, 1, &answer) : master.DNFree(kSlave, 1, &answer);
        out.reply = out.result == 0 ? FormatFrame(answer) : "";
        break;
    }
    case Call::Poll: {
        std::uint16_t rxIdentifier = 0;
        auto rxLength = static_cast<std::uint16_t>(length);
        out.result = master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, buffer.data());
        out.reply = out.result == 0 ? buffer.Hex(0, rxLength) : "";
        break;
    }
    }
    return out;
}

} // namespace orv::test
