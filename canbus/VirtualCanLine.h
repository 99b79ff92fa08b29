#pragma once
// The line protocol of Qt SerialBus's virtualcan plugin. One ASCII line per message, ended by
// '\n'; blanks around a line are ignored.
//   client to hub:  connect:canN               subscribe to channel canN
//                   disconnect:canN            unsubscribe; the hub then closes the connection
//                   canN:<id>#<flags>#<data>   a frame for everyone subscribed to canN
//   hub to client:  <id>#<flags>#<data>        a frame on a channel the client subscribed to
//                   disconnect:canN[ REASON]   the hub drops the client (ours says why: "full"
//                                              when it serves as many clients as it takes)
// <id> is decimal. <flags> are zero or more of R (remote request), X (extended format), F (CAN FD),
// B (bit rate switch), E (error state indicator), L (local echo). <data> is the payload in hex, two
// lower-case digits a byte. The three fields are always there, even empty ("5##"): Qt's client
// takes any other line apart blindly. A remote request carries as many zero bytes as it asks for.
// The hub relays a frame to every other connection subscribed to its channel and never back.
//
// These buses carry classic CAN only: CAN FD frames (F, B, E) and payloads above 8 bytes are
// refused as malformed, never handed on.

#include "canbus/Frame.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace canbus {

// "<id>#<flags>#<data>" at its longest: 10 digits, '#', "RX", '#', 16 hex digits.
inline constexpr std::size_t kMaxFrameText = 10 + 1 + 2 + 1 + 16;

// Writes "<id>#<flags>#<data>" of a well-formed frame into `out`, which holds at least
// kMaxFrameText characters, and returns its length.
std::size_t FormatFrameText(const Frame& frame, char* out);
std::string FrameText(const Frame& frame);

// Reads "<id>#<flags>#<data>". False, with a short reason in `why`, when the text is no classic
// CAN frame.
bool ParseFrameText(std::string_view text, Frame& frame, std::string_view* why = nullptr);

// One line a client sent to the hub, taken apart (views into the line).
struct ClientLine {
    enum class Kind { Connect, Disconnect, Frame, Malformed };
    Kind kind = Kind::Malformed;
    std::string_view channel;
    Frame frame;
};
ClientLine ParseClientLine(std::string_view line);

// The reason our hub gives when it turns a client away because it serves as many as it takes.
inline constexpr std::string_view kHubFullReason = "full";

// One line the hub sent to a client, taken apart (views into the line).
struct HubLine {
    enum class Kind { Frame, Disconnect, Malformed };
    Kind kind = Kind::Malformed;
    std::string_view channel; // Disconnect
    std::string_view reason;  // Disconnect: what follows the channel after one blank, if anything
    Frame frame;
};
HubLine ParseHubLine(std::string_view line);

// Cuts a byte stream into lines. A line longer than `maxLine` is skipped whole and reported.
class LineReader {
public:
    explicit LineReader(std::size_t maxLine) : maxLine_(maxLine) {}

    // Calls onLine(std::string_view line) for each complete line, blanks trimmed, and onOverlong()
    // for each line that was too long.
    template <typename OnLine, typename OnOverlong>
    void Feed(const char* bytes, std::size_t size, OnLine&& onLine, OnOverlong&& onOverlong)
    {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = bytes[i];
            if (c == '\n') {
                if (discarding_) {
                    discarding_ = false;
                    onOverlong();
                } else {
                    onLine(Trimmed());
                }
                pending_.clear();
            } else if (!discarding_) {
                if (pending_.size() == maxLine_) {
                    discarding_ = true;
                    pending_.clear();
                } else {
                    pending_.push_back(c);
                }
            }
        }
    }

private:
    std::string_view Trimmed() const;

    std::size_t maxLine_;
    std::string pending_;
    bool discarding_ = false;
};

} // namespace canbus
