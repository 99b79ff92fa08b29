// dnet's two printers on records: each row is one record with the lines the text printer shows
// and the object the JSON printer writes for it.

#include "tools/dnet/JsonPrinter.h"
#include "tools/dnet/TextPrinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::dnet {
namespace {

Outcome Failure(std::string message)
{
    return {kExitFailure, std::move(message)};
}

Outcome ErrorResponse(std::string message, std::uint8_t general, std::optional<std::uint8_t> additional)
{
    Outcome outcome{kExitErrorResponse, std::move(message)};
    outcome.generalCode = general;
    outcome.additionalCode = additional;
    return outcome;
}

GetResult Get(std::optional<Bytes> value, std::optional<DecodedValue> decoded = std::nullopt)
{
    return {63, 1, 1, 7, std::move(value), std::move(decoded)};
}

PollResult Poll(bool sized, bool sent, bool answered)
{
    PollResult poll;
    poll.node = 10;
    if (sized) {
        poll.produced = 3;
        poll.consumed = 8;
    }
    if (sent) {
        poll.sent = Bytes{0x01, 0x02};
    }
    if (answered) {
        poll.rxId = 0x3CA;
        poll.response = {0x00, 0xAB, 0x10};
    }
    return poll;
}

BenchResult Bench(bool wire)
{
    BenchFigures figures;
    figures.count = 40;
    figures.seconds = 0.5;
    figures.perSecond = 80;
    figures.requestBytes = 5;
    figures.answerBytes = 4;
    figures.rateKbit = 500;
    figures.wireTimed = wire;
    if (wire) {
        figures.wire = BenchFigures::Wire{105, 95, 2500, 0.032};
    }
    return {63, figures};
}

// A node with every identity attribute read, as the simulated Brelin answers them (its product
// name cut to "Brelin" and a control character).
ScannedNode Brelin(int mac, ScannedNode::Release release, ScannedNode::Access access = ScannedNode::Access::Allocated)
{
    ScannedNode node;
    node.node = mac;
    node.access = access;
    node.identity = {{1, {0xB7, 0x04}},
                     {2, {0x0C, 0x00}},
                     {3, {0x69, 0x10}},
                     {4, {0x01, 0x04}},
                     {6, {0xC5, 0xE1, 0xB7, 0x00}},
                     {7, {0x07, 'B', 'r', 'e', 'l', 'i', 'n', 0x01}},
                     {5, {0x31, 0x00}},
                     {8, {0x03}}};
    node.release = release;
    return node;
}

// The same, looked up in the EDS library: found in `file` under `product`, or not (`file` empty).
ScannedNode Named(int mac, const std::string& file, const std::string& product)
{
    ScannedNode node = Brelin(mac, ScannedNode::Release::Released);
    node.eds = {true, file, file.empty() ? "" : "OrvDeviceNet", product};
    return node;
}

// A node of an unknown profile that stopped answering at its product code.
ScannedNode Partial(int mac, ScannedNode::Release release)
{
    ScannedNode node;
    node.node = mac;
    node.identity = {{1, {0x07, 0x00}}, {2, {0x63, 0x00}}};
    node.silentAt = 3;
    node.release = release;
    if (release == ScannedNode::Release::Refused) {
        node.releaseError.generalCode = 0x0C;
    }
    return node;
}

ScannedNode Refusal(int mac, ScannedNode::Access access, std::uint8_t general, std::optional<std::uint8_t> additional)
{
    ScannedNode node;
    node.node = mac;
    node.access = access;
    node.allocationError = {general, additional};
    return node;
}

struct Row {
    const char* name;
    CommandResult result;
    std::vector<std::string> text;
    std::string json;
};

const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows = {
        {"driver did not open", {"get", Failure("the SST card did not open"), {}}, {},
         R"J({"command":"get","status":"failure","exit":3,"error":"the SST card did not open"})J"},
        {"open with poll", {"open", {}, OpenResult{63, true}}, {"node 63 open (explicit and poll connections)"},
         R"J({"command":"open","node":63,"poll":true,"status":"ok","exit":0})J"},
        {"open refused", {"open", Failure("node 63 did not open"), OpenResult{63, false}}, {},
         R"J({"command":"open","node":63,"poll":false,"status":"failure","exit":3,"error":"node 63 did not open"})J"},
        {"close", {"close", {}, CloseResult{5}}, {"node 5 closed"},
         R"J({"command":"close","node":5,"status":"ok","exit":0})J"},
        {"get, decoded",
         {"get", {}, Get(Bytes{0x02, 0x41, 0x0A}, DecodedValue{"product name", "\"A.\"", "\"A\\n\"", ""})},
         {"02 41 0A  (product name: \"A.\")"},
         R"J({"command":"get","node":63,"class":1,"instance":1,"attribute":7,"data":"02410A",)J"
         R"J("decoded":{"name":"product name","value":"A\n","text":"\"A.\""},"status":"ok","exit":0})J"},
        {"get, a meaning", {"get", {}, Get(Bytes{0x03}, DecodedValue{"state", "3 (established)", "3", "established"})},
         {"03  (state: 3 (established))"},
         R"J({"command":"get","node":63,"class":1,"instance":1,"attribute":7,"data":"03",)J"
         R"J("decoded":{"name":"state","value":3,"meaning":"established","text":"3 (established)"},)J"
         R"J("status":"ok","exit":0})J"},
        {"get, no data", {"get", {}, Get(Bytes{})}, {"(no data)"},
         R"J({"command":"get","node":63,"class":1,"instance":1,"attribute":7,"data":"","status":"ok","exit":0})J"},
        {"get, error response with both codes",
         {"get", ErrorResponse("attribute not supported (0x14), additional code 0x01", 0x14, 0x01), Get(std::nullopt)},
         {},
         R"J({"command":"get","node":63,"class":1,"instance":1,"attribute":7,"generalCode":20,"additionalCode":1,)J"
         R"J("status":"error-response","exit":1,"error":"attribute not supported (0x14), additional code 0x01"})J"},
        {"set", {"set", {}, WriteResult{63, 5, 1, 9, std::nullopt, Bytes{0x10, 0x27}, Bytes{0x10, 0x27}}},
         {"ok: 10 27"},
         R"J({"command":"set","node":63,"class":5,"instance":1,"attribute":9,"sent":"1027","data":"1027",)J"
         R"J("status":"ok","exit":0})J"},
        {"set refused",
         {"set", ErrorResponse("attribute not settable (0x0E)", 0x0E, std::nullopt),
          WriteResult{63, 1, 1, 1, std::nullopt, Bytes{0, 0}, std::nullopt}},
         {},
         R"J({"command":"set","node":63,"class":1,"instance":1,"attribute":1,"sent":"0000","generalCode":14,)J"
         R"J("status":"error-response","exit":1,"error":"attribute not settable (0x0E)"})J"},
        {"service without answer data", {"service", {}, WriteResult{63, 1, 1, std::nullopt, 5, Bytes{}, Bytes{}}},
         {"ok"},
         R"J({"command":"service","node":63,"class":1,"instance":1,"service":5,"sent":"","data":"",)J"
         R"J("status":"ok","exit":0})J"},
        {"poll", {"poll", {}, Poll(true, true, true)}, {"poll response on 3CA, 3 bytes: 00 AB 10"},
         R"J({"command":"poll","node":10,"produced":3,"consumed":8,"sent":"0102","rxId":970,"data":"00AB10",)J"
         R"J("status":"ok","exit":0})J"},
        {"poll of nothing", {"poll", {}, [] {
                                 PollResult poll = Poll(true, true, true);
                                 poll.response.clear();
                                 return poll;
                             }()},
         {"poll response on 3CA, 0 bytes"},
         R"J({"command":"poll","node":10,"produced":3,"consumed":8,"sent":"0102","rxId":970,"data":"",)J"
         R"J("status":"ok","exit":0})J"},
        {"poll without response", {"poll", Failure("no poll response from node 10"), Poll(true, true, false)}, {},
         R"J({"command":"poll","node":10,"produced":3,"consumed":8,"sent":"0102","status":"failure","exit":3,)J"
         R"J("error":"no poll response from node 10"})J"},
        {"poll sizes unread", {"poll", Failure("reading 5/2/7: no answer from node 10"), Poll(false, false, false)}, {},
         R"J({"command":"poll","node":10,"status":"failure","exit":3,"error":"reading 5/2/7: no answer from node 10"})J"},
        {"scan: a node read and released",
         {"scan", {}, ScanResult{{Brelin(5, ScannedNode::Release::Released)}}},
         {"node 5: vendor id 1207, device type 12 (communications adapter), product code 4201, revision 1.4, "
          "serial number 12050885 (0x00B7E1C5), product name \"Brelin.\", status 0x0031 (owned), "
          "state 3 (operational)"},
         R"J({"command":"scan","nodes":[{"node":5,"access":"allocated","vendorId":1207,"deviceType":12,)J"
         R"J("deviceTypeName":"communications adapter","productCode":4201,"revision":{"major":1,"minor":4},)J"
         R"J("serialNumber":12050885,"productName":"Brelin\u0001","status":49,"statusName":"owned","state":3,)J"
         R"J("stateName":"operational","release":"released"}],"status":"ok","exit":0})J"},
        {"scan: named from the EDS library, or without an EDS there",
         {"scan", {}, ScanResult{{Named(5, "/eds/brelin.eds", "Brelin \"GW\""), Named(6, "", "")}}},
         {"node 5: vendor id 1207, device type 12 (communications adapter), product code 4201, revision 1.4, "
          "serial number 12050885 (0x00B7E1C5), product name \"Brelin.\", status 0x0031 (owned), "
          "state 3 (operational); EDS /eds/brelin.eds: \"Brelin \\\"GW\\\"\" by \"OrvDeviceNet\"",
          "node 6: vendor id 1207, device type 12 (communications adapter), product code 4201, revision 1.4, "
          "serial number 12050885 (0x00B7E1C5), product name \"Brelin.\", status 0x0031 (owned), "
          "state 3 (operational); no EDS in the library"},
         R"J({"command":"scan","nodes":[{"node":5,"access":"allocated","vendorId":1207,"deviceType":12,)J"
         R"J("deviceTypeName":"communications adapter","productCode":4201,"revision":{"major":1,"minor":4},)J"
         R"J("serialNumber":12050885,"productName":"Brelin\u0001","status":49,"statusName":"owned","state":3,)J"
         R"J("stateName":"operational","eds":{"file":"/eds/brelin.eds","vendorName":"OrvDeviceNet",)J"
         R"J("productName":"Brelin \"GW\""},"release":"released"},)J"
         R"J({"node":6,"access":"allocated","vendorId":1207,"deviceType":12,)J"
         R"J("deviceTypeName":"communications adapter","productCode":4201,"revision":{"major":1,"minor":4},)J"
         R"J("serialNumber":12050885,"productName":"Brelin\u0001","status":49,"statusName":"owned","state":3,)J"
         R"J("stateName":"operational","eds":null,"release":"released"}],"status":"ok","exit":0})J"},
        {"scan: held, refused, open before, silent, release refused",
         {"scan", {}, ScanResult{{Refusal(3, ScannedNode::Access::Held, 0x0C, 0x01),
                                  Refusal(4, ScannedNode::Access::Refused, 0x08, std::nullopt),
                                  Brelin(5, ScannedNode::Release::NotOurs, ScannedNode::Access::AlreadyAllocated),
                                  Partial(6, ScannedNode::Release::Unanswered), Partial(7, ScannedNode::Release::Refused)}}},
         {"node 3: held by another master (allocation refused: object state conflict (0x0C), additional code 0x01)",
          "node 4: allocation refused: service not supported (0x08)",
          "node 5: vendor id 1207, device type 12 (communications adapter), product code 4201, revision 1.4, "
          "serial number 12050885 (0x00B7E1C5), product name \"Brelin.\", status 0x0031 (owned), "
          "state 3 (operational); allocated to this master before the scan, left allocated",
          "node 6: vendor id 7, device type 99, product code unknown, revision unknown, serial number unknown, "
          "product name unknown, status unknown, state unknown; no answer from attribute 3 on; release not answered",
          "node 7: vendor id 7, device type 99, product code unknown, revision unknown, serial number unknown, "
          "product name unknown, status unknown, state unknown; no answer from attribute 3 on; release refused: "
          "object state conflict (0x0C)"},
         R"J({"command":"scan","nodes":[)J"
         R"J({"node":3,"access":"held","allocationError":"object state conflict (0x0C), additional code 0x01",)J"
         R"J("allocationGeneralCode":12,"allocationAdditionalCode":1,"vendorId":null,"deviceType":null,)J"
         R"J("productCode":null,"revision":null,"serialNumber":null,"productName":null,"status":null,"state":null,)J"
         R"J("release":"not-ours"},)J"
         R"J({"node":4,"access":"refused","allocationError":"service not supported (0x08)","allocationGeneralCode":8,)J"
         R"J("vendorId":null,"deviceType":null,"productCode":null,"revision":null,"serialNumber":null,)J"
         R"J("productName":null,"status":null,"state":null,"release":"not-ours"},)J"
         R"J({"node":5,"access":"already-allocated","vendorId":1207,"deviceType":12,)J"
         R"J("deviceTypeName":"communications adapter","productCode":4201,"revision":{"major":1,"minor":4},)J"
         R"J("serialNumber":12050885,"productName":"Brelin\u0001","status":49,"statusName":"owned","state":3,)J"
         R"J("stateName":"operational","release":"not-ours"},)J"
         R"J({"node":6,"access":"allocated","vendorId":7,"deviceType":99,"productCode":null,"revision":null,)J"
         R"J("serialNumber":null,"productName":null,"status":null,"state":null,"silentAt":3,"release":"unanswered"},)J"
         R"J({"node":7,"access":"allocated","vendorId":7,"deviceType":99,"productCode":null,"revision":null,)J"
         R"J("serialNumber":null,"productName":null,"status":null,"state":null,"silentAt":3,"release":"refused",)J"
         R"J("releaseError":"object state conflict (0x0C)","releaseGeneralCode":12}],"status":"ok","exit":0})J"},
        {"scan of an empty bus", {"scan", {}, ScanResult{}}, {"no node answered"},
         R"J({"command":"scan","nodes":[],"status":"ok","exit":0})J"},
        {"scan cut short shows what it found",
         {"scan", Failure("the card refused the allocation request to node 7"),
          ScanResult{{Refusal(3, ScannedNode::Access::Held, 0x0C, std::nullopt)}}},
         {"node 3: held by another master (allocation refused: object state conflict (0x0C))"},
         R"J({"command":"scan","nodes":[{"node":3,"access":"held","allocationError":"object state conflict (0x0C)",)J"
         R"J("allocationGeneralCode":12,"vendorId":null,"deviceType":null,"productCode":null,"revision":null,)J"
         R"J("serialNumber":null,"productName":null,"status":null,"state":null,"release":"not-ours"}],)J"
         R"J("status":"failure","exit":3,"error":"the card refused the allocation request to node 7"})J"},
        {"scan cut short before any node", {"scan", Failure("refused"), ScanResult{}}, {},
         R"J({"command":"scan","nodes":[],"status":"failure","exit":3,"error":"refused"})J"},
        {"send", {"send", {}, SendResult{0x5FC, Bytes{0x00, 0x0E}}}, {"sent 5FC  [2]  00 0E"},
         R"J({"command":"send","id":1532,"data":"000E","status":"ok","exit":0})J"},
        {"send of no data", {"send", {}, SendResult{0x05, Bytes{}}}, {"sent 005  [0]"},
         R"J({"command":"send","id":5,"data":"","status":"ok","exit":0})J"},
        {"recv", {"recv", {}, RecvResult{0x5FB, Bytes{0x00, 0x8E}}}, {"5FB  [2]  00 8E"},
         R"J({"command":"recv","id":1531,"data":"008E","status":"ok","exit":0})J"},
        {"recv of nothing", {"recv", Failure("no frame received within 30 ms"), RecvResult{}}, {},
         R"J({"command":"recv","status":"failure","exit":3,"error":"no frame received within 30 ms"})J"},
        {"bench", {"bench", {}, Bench(false)},
         {"node 63: 40 Get_Attribute_Single exchanges in 0.500 s, 80 per second"},
         R"J({"command":"bench","node":63,"count":40,"seconds":0.5,"perSecond":80,"requestBytes":5,)J"
         R"J("answerBytes":4,"wireTimed":false,"status":"ok","exit":0})J"},
        {"bench on a wire-timed bus", {"bench", {}, Bench(true)},
         {"node 63: 40 Get_Attribute_Single exchanges in 0.500 s, 80 per second",
          "wire limit at 500 kbit/s: 2500 per second (a standard frame with n data bytes takes at most 55 + 10n "
          "bits, interframe space included: request 5 bytes = 105 bits, answer 4 bytes = 95 bits)",
          "ratio to the wire limit: 0.032"},
         R"J({"command":"bench","node":63,"count":40,"seconds":0.5,"perSecond":80,"requestBytes":5,)J"
         R"J("answerBytes":4,"wireTimed":true,"bitsPerExchange":200,"wireLimit":2500,"ratio":0.032,)J"
         R"J("status":"ok","exit":0})J"},
        {"bench failed",
         {"bench", ErrorResponse("exchange 3: object does not exist (0x16)", 0x16, std::nullopt),
          BenchResult{63, std::nullopt}},
         {},
         R"J({"command":"bench","node":63,"generalCode":22,"status":"error-response","exit":1,)J"
         R"J("error":"exchange 3: object does not exist (0x16)"})J"},
    };
    return rows;
}

TEST(DnetPrinters, CommandRecords)
{
    for (const Row& row : Rows()) {
        EXPECT_EQ(TextLines(row.result), row.text) << row.name;
        EXPECT_EQ(JsonLine(row.result), row.json) << row.name;
    }
}

TEST(DnetPrinters, TraceRecord)
{
    using std::chrono::microseconds;
    using std::chrono::system_clock;
    const TracedFrame frames[] = {
        {system_clock::time_point(microseconds(1700000000000123)), 0x5FC, {0x00, 0x0E, 0x01, 0x01, 0x01}},
        {system_clock::time_point(microseconds(1700000000100000)), 0x5FD, {}},
    };
    const TraceResult trace{true, false, frames};
    EXPECT_EQ(TextLines(trace), (std::vector<std::string>{"[5FC] 00 0E 01 01 01", "[5FD]"}));
    EXPECT_EQ(JsonLine(trace),
              R"J({"command":"trace","available":true,"complete":false,"frames":[)J"
              R"J({"time":1700000000.000123,"id":1532,"data":"000E010101"},)J"
              R"J({"time":1700000000.100000,"id":1533,"data":""}]})J");
    EXPECT_EQ(JsonLine(TraceResult{false, true, {}}), R"J({"command":"trace","available":false,"complete":true,"frames":[]})J");
    EXPECT_TRUE(TextLines(TraceResult{false, true, {}}).empty());
}

} // namespace
} // namespace orv::dnet
