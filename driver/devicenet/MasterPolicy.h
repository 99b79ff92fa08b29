#pragma once
// The points in which the carriers of the DeviceNet master differ. One engine, two policies.

namespace orv::devicenet {

struct MasterPolicy {
    // The XID bit of the request header is flipped before each Allocate, Release,
    // Get_Attribute_Single and Set_Attribute_Single request frame.
    bool alternateTransactionBit = false;
    // Only the low four bits of a received length field count.
    bool maskReceivedLength = false;
    // A transmit length above 8 is cut to 8; otherwise such a frame is refused.
    bool cutTransmitLength = false;

    static constexpr MasterPolicy Sst() { return {false, false, false}; }
    static constexpr MasterPolicy Systec() { return {true, true, true}; }
};

} // namespace orv::devicenet
