#pragma once
// The answer of an explicit request as the driver leaves it in the caller's buffer, in the layout
// of devicenet::ReplyBuffer: bytes 4-5 the number n of answer bytes from byte 6 on, byte 6 the
// answer's header byte, byte 7 its service code (the request's with the reply bit set on success,
// the error response code otherwise), the service data from byte 8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv::dnet {

// No additional code given in an error response.
inline constexpr std::uint8_t kNoAdditionalCode = 0xFF;

struct Reply {
    enum class Kind {
        Success,       // service = request | 0x80; data = the service data
        ErrorResponse, // general (and additional) error code
        Unexpected,    // another service code, or a length that does not fit
    };
    Kind kind = Kind::Unexpected;
    std::size_t length = 0; // n, as the buffer says
    std::uint8_t service = 0;
    std::vector<std::uint8_t> data;
    std::uint8_t generalCode = 0;
    std::uint8_t additionalCode = kNoAdditionalCode;
    bool hasGeneralCode = false;
};

// Reads the answer to a request with service code `requestService` from `buffer`, of which
// `bufferSize` bytes are the caller's: a length that claims more than the buffer holds, or fewer
// than the header and the service code, is Unexpected.
Reply ReadReply(const std::uint8_t* buffer, std::size_t bufferSize, std::uint8_t requestService);

// An error response for people: "object state conflict (0x0C), additional code 0x01".
std::string ErrorResponseText(std::optional<std::uint8_t> generalCode, std::optional<std::uint8_t> additionalCode);

} // namespace orv::dnet
