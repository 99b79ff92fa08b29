#pragma once
// Drives the simulated Brelin frame by frame with a fake clock. Frames are written as text,
// "5FC: 00 0E 01 01 07" (identifier, then the data bytes in hex), so that a test reads as the
// conversation on the bus. The device sits at MAC ID 63 (requests 0x5FC, answers 0x5FB, poll
// 0x5FD, unconnected port 0x5FE, poll response 0x3FF); the master is MAC ID 0.

#include "devsim/BrelinDevice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace devsim::test {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<std::string>;

inline std::string Hex(const Bytes& bytes)
{
    std::string text;
    char byte[4];
    for (const auto b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        text += (text.empty() ? "" : " ") + std::string(byte);
    }
    return text;
}

inline Bytes ParseHex(const std::string& text)
{
    Bytes bytes;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
    }
    return bytes;
}

inline std::string FrameText(const canbus::Frame& frame)
{
    char head[12];
    std::snprintf(head, sizeof head, "%03X:", static_cast<unsigned>(frame.id));
    const Bytes data(frame.data.begin(), frame.data.begin() + frame.length);
    return data.empty() ? std::string(head) : std::string(head) + " " + Hex(data);
}

inline canbus::Frame ParseFrame(const std::string& text)
{
    canbus::Frame frame;
    const auto colon = text.find(':');
    frame.id = static_cast<std::uint32_t>(std::stoul(text.substr(0, colon), nullptr, 16));
    for (const auto byte : ParseHex(text.substr(colon + 1))) {
        frame.data[frame.length++] = byte;
    }
    return frame;
}

class DeviceTest : public ::testing::Test {
protected:
    using Options = BrelinDevice::Options;

    void SetUp() override { Make(Options{}); }

    void Make(const Options& options)
    {
        device = std::make_unique<BrelinDevice>(options);
        device->SetSink([this](const canbus::Frame& frame) { sent.push_back(FrameText(frame)); });
        device->SetSerialSink([this](std::span<const std::uint8_t> bytes) { serial.append(bytes.begin(), bytes.end()); });
        device->Poll(now);
    }

    // One frame to the device; the frames it sends in answer.
    Frames Send(const std::string& frame)
    {
        sent.clear();
        device->OnFrame(ParseFrame(frame), now);
        return sent;
    }

    // Time passes; the frames the device sends meanwhile (polled once per millisecond step given).
    Frames Wait(std::uint32_t ms, std::uint32_t step = 10)
    {
        sent.clear();
        for (std::uint32_t passed = 0; passed < ms;) {
            const std::uint32_t dt = std::min(step, ms - passed);
            passed += dt;
            now += dt;
            device->Poll(now);
        }
        return sent;
    }

    void Allocate(std::uint8_t choice, std::uint8_t master = 0)
    {
        const std::string header = Hex({master});
        ASSERT_EQ(Send("5FE: " + header + " 4B 03 01 " + Hex({choice}) + " " + header),
                  Frames{"5FB: " + header + " CB 00"});
    }

    // Allocates the poll connection and makes it established.
    void OpenPoll(std::uint16_t rate = 0)
    {
        Allocate(0x03);
        ASSERT_EQ(Set(5, 2, 9, {static_cast<std::uint8_t>(rate), static_cast<std::uint8_t>(rate >> 8)}).at(0), 0x90);
    }

    // An explicit request from master 0 as a small master would run it: fragmented when it does
    // not fit one frame, every fragment of the answer acknowledged. The answer body (service code
    // and data), or empty when the device does not answer.
    Bytes Request(const Bytes& body, std::uint8_t header = 0x00)
    {
        Frames answer;
        if (body.size() <= 7) {
            Bytes frame{header};
            frame.insert(frame.end(), body.begin(), body.end());
            answer = Send("5FC: " + Hex(frame));
        } else {
            for (std::size_t offset = 0, count = 0; offset < body.size(); offset += 6, ++count) {
                const bool last = body.size() - offset <= 6;
                const std::uint8_t type = offset == 0 ? 0x00 : last ? 0x80 : 0x40;
                Bytes frame{static_cast<std::uint8_t>(header | 0x80), static_cast<std::uint8_t>(type | count)};
                for (std::size_t i = offset; i < body.size() && i < offset + 6; ++i) {
                    frame.push_back(body[i]);
                }
                answer = Send("5FC: " + Hex(frame));
                const std::string ack = "5FB: " + Hex({static_cast<std::uint8_t>(header | 0x80),
                                                       static_cast<std::uint8_t>(0xC0 | count), 0x00});
                if (answer.empty() || answer.front() != ack) {
                    ADD_FAILURE() << "fragment " << count << " not acknowledged";
                    return {};
                }
                answer.erase(answer.begin());
            }
        }
        Bytes result;
        while (!answer.empty()) {
            const canbus::Frame frame = ParseFrame(answer.front());
            if (frame.id != 0x5FB || frame.length < 2) {
                ADD_FAILURE() << "unexpected " << answer.front();
                return {};
            }
            if (!(frame.data[0] & 0x80)) {
                result.assign(frame.data.begin() + 1, frame.data.begin() + frame.length);
                return result;
            }
            result.insert(result.end(), frame.data.begin() + 2, frame.data.begin() + frame.length);
            const std::uint8_t fragment = frame.data[1];
            answer = Send("5FC: " + Hex({static_cast<std::uint8_t>(header | 0x80),
                                         static_cast<std::uint8_t>(0xC0 | (fragment & 0x3F)), 0x00}));
            if ((fragment & 0xC0) == 0x80) {
                return result;
            }
        }
        return result;
    }

    Bytes Get(std::uint8_t cls, std::uint8_t instance, std::uint8_t attribute)
    {
        return Request({0x0E, cls, instance, attribute});
    }

    Bytes Set(std::uint8_t cls, std::uint8_t instance, std::uint8_t attribute, const Bytes& value)
    {
        Bytes body{0x10, cls, instance, attribute};
        body.insert(body.end(), value.begin(), value.end());
        return Request(body);
    }

    // The value of a successful Get (without the reply service code).
    Bytes Value(std::uint8_t cls, std::uint8_t instance, std::uint8_t attribute)
    {
        Bytes reply = Get(cls, instance, attribute);
        if (reply.empty() || reply[0] != 0x8E) {
            ADD_FAILURE() << "Get " << int(cls) << "/" << int(instance) << "/" << int(attribute) << ": " << Hex(reply);
            return {};
        }
        return Bytes(reply.begin() + 1, reply.end());
    }

    std::unique_ptr<BrelinDevice> device;
    std::uint32_t now = 1000;
    Frames sent;
    std::string serial;
};

inline Bytes Error(std::uint8_t general, std::uint8_t additional = 0xFF) { return {0x94, general, additional}; }
inline Bytes Text(const std::string& text)
{
    Bytes bytes{static_cast<std::uint8_t>(text.size())};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

} // namespace devsim::test
