#pragma once
// The contract every interface card back-end implements. The operations stand in this slot order
// after the destructor. 16-bit arguments travel as int of which only the low 16 bits count; results
// are 0 for success and -1 (or a card's own code) for failure, unless stated otherwise.

#include <cstdint>

namespace orv::automation {

class CardInterface {
public:
    virtual ~CardInterface() = default;

    // 1. Open the card and go on line as master with config byte 4 as MAC ID at the rate of
    //    config bytes 6-7. `config` is an 80-byte CardConfig; a card may write byte 0.
    virtual std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) = 0;
    // 2. Go off line and close the card.
    virtual std::int32_t UnloadVXD() = 0;
    // 3. Allocate a predefined master/slave connection (1 explicit, 2 polled I/O). `buffer` is a
    //    scratch area the card may use.
    virtual std::int32_t DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer) = 0;
    // 4. Release it.
    virtual std::int32_t DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer) = 0;
    // 5. Get_Attribute_Single; reply into `buffer` (152 bytes): length at bytes 4-5, header byte 6,
    //    service code byte 7 (0x8E, or 0x94 for an error response), value from byte 8.
    virtual std::int32_t DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                        std::uint8_t* buffer) = 0;
    // 6. Set_Attribute_Single with `length` value bytes from the start of `buffer`; reply into it.
    virtual std::int32_t DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                        std::uint8_t* buffer) = 0;
    // 7. Take one received CAN frame. The data bytes land at offset 0 of `data`, or at offset 6 where
    //    the card's own library puts them there.
    virtual std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) = 0;
    // 8. Send one CAN frame.
    virtual std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) = 0;
    // 9. One polled I/O exchange; `buffer` holds the output data on entry and the input data on
    //    return. rxLength in: bytes expected, out: bytes received where the card reports it.
    virtual std::int32_t DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier,
                                std::uint16_t* rxLength, std::uint8_t* buffer) = 0;
    // 10. Always -1.
    virtual std::int32_t NetworkWho(int nodeAddress, std::uint8_t* buffer) = 0;
    // 11. Receive time-out in milliseconds (-1 from a card that has none).
    virtual std::int32_t SetTimeout(int milliseconds) = 0;
    // 12. Copy the CAN trace text (at most 1032 bytes with its NUL) and empty it.
    virtual std::int32_t GetCANMessage(char* text) = 0;
    // 13. Any explicit service with `length` request bytes from the start of `buffer`.
    virtual std::int32_t DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                                   std::uint8_t* buffer) = 0;
    // 14. The number of bytes the node consumes in a poll command.
    virtual bool SetPollCommandSize(std::uint16_t size) = 0;
};

} // namespace orv::automation
