#pragma once
// The serial interface page, in setup mode (the user changes the device's values) or view mode
// (every value shown, nothing changed): the Serial Stream object (class 64, instance 1), one of the
// eight Serial Receive channels (class 65) and one of the eight Serial Transmit channels (class 66),
// each chosen with its instance spin. Every value lives in the device: the page reads the three
// sections in turn on its timer and writes each change at once.

#include "viewer/model/AttributeItem.h"
#include "viewer/pages/FieldTable.h"
#include "viewer/pages/Page.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;

namespace Ui {
class SerialPage;
}

namespace orv::viewer {

class ValueEdit;

class SerialPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kTimerId = 0x203;
    static constexpr int kPeriodMs = 100;

    // Sections of RefreshSections, as a mask.
    static constexpr int kStreamSection = 1;
    static constexpr int kReceiveSection = 2;
    static constexpr int kTransmitSection = 4;
    static constexpr int kAllSections = kStreamSection | kReceiveSection | kTransmitSection;

    static constexpr int kStreamClass = 64;
    static constexpr int kReceiveClass = 65;
    static constexpr int kTransmitClass = 66;
    static constexpr int kChannels = 8;
    // The delimiters and the channel strings are short strings of at most this many characters.
    static constexpr int kMaxStringCharacters = 8;

    // Without a module the page binds nothing and stays hidden.
    SerialPage(const PageContext& context, QWidget* parent);
    ~SerialPage() override;

    // The tick counter that all serial pages of the process share: each tick refreshes the stream
    // section at 5, the receive section at 10, the transmit section at 15, and otherwise counts on,
    // from 16 back to 1; so each section comes every 16 ticks and never two in one tick.
    static int TickCounter();
    static void SetTickCounter(int value);

    int Mode() const { return mode_; }
    bool HexView() const { return hexView_; }
    // The value types of the channels' one-byte values and strings: raw bytes in hex view.
    int ByteType() const { return hexView_ ? ValueType::kRaw : ValueType::kByte; }
    int StringType() const { return hexView_ ? ValueType::kRaw : ValueType::kShortString; }

    // Reads the sections of `mask` (at most 13, 15 and 13 reads; a held control reads nothing).
    void RefreshSections(int mask);
    // Which fields the user may edit, by the boxes and lists as they stand.
    void ApplyEditability();
    // Makes every control that changes the device read-only or disabled, and shows the view title.
    void ApplyViewMode();

protected:
    void Refresh() override;

private:
    // Binds a channel's data bytes to attribute 3 with `size` bytes, as many as the value buffer
    // holds; a longer value shows its first bytes and the field says that it is cut.
    void BindData(ValueEdit* field, QLabel* cut, int classId, int instance, int size, bool hold);

    // The rules of which fields are editable, each for the part of the page it names.
    void ApplyDelimiterEditability();
    void ApplyReceiveStringEditability();
    void ApplyReceiveTypeEditability();
    void ApplyTransmitStringEditability();
    void ApplyTransmitTypeEditability();

    // One byte through the scratch item: a read, and a write of the value as decimal text.
    std::optional<std::uint8_t> ReadByte(int classId, int instance, int attribute);
    bool WriteByte(int classId, int instance, int attribute, int value);
    int ReceiveInstance() const;
    int TransmitInstance() const;

    // What the user's clicks do; the value controls write their own attributes.
    void ConnectActions();
    void ConnectStreamActions();
    void ConnectReceiveActions();
    void ConnectTransmitActions();
    // Flips bit 0 of a byte attribute (the other bits dropped) and shows the value written.
    void ToggleBit0(int classId, int instance, int attribute, ValueEdit* field);
    // Read-modify-write of the transmit format (attribute 13); nothing is written when the read fails.
    void WriteTransmitFormat(const std::function<int(int value)>& change);
    void ViewBytesInHex(bool on);

    std::unique_ptr<Ui::SerialPage> ui_;
    Module* module_;
    int mode_;
    std::unique_ptr<FieldTable> fields_;
    bool hexView_ = false;
    AttributeItem scratchItem_;
    bool active_ = false;
};

} // namespace orv::viewer
