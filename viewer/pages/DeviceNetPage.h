#pragma once
// The DeviceNet object page: the node's MAC ID, baud rate, bus-off interrupt and bus-off counter,
// which the user changes here, and the allocation and the switches, shown only. Baud rate and
// bus-off are read on every tick; the class revision, allocation and switches on the full
// refreshes. The MAC ID is read when the page opens and after the user chooses one, never by the
// timer.

#include "viewer/model/AttributeItem.h"
#include "viewer/model/TickSource.h"
#include "viewer/pages/Page.h"

#include <QString>

#include <cstdint>
#include <memory>

class QLineEdit;

namespace Ui {
class DeviceNetPage;
}

namespace orv::viewer {

class DeviceNetPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kTimerId = 0x201;
    static constexpr int kPeriodMs = 100;
    // After a MAC ID write, before it is read back.
    static constexpr std::uint32_t kRewriteSettleMs = 20;
    static constexpr int kMacIdCount = 64;

    // The allocation choice byte, as its five boxes.
    struct AllocationBoxes {
        bool explicitMessage = false;
        bool poll = false;
        bool strobe = false;
        bool changeOfState = false;
        bool cyclic = false;
        bool operator==(const AllocationBoxes&) const = default;
    };

    // Without a module the page stays hidden and never reads.
    DeviceNetPage(const PageContext& context, QWidget* parent);
    ~DeviceNetPage() override;

    // The process-wide counter that schedules the full refreshes of every DeviceNet page.
    static int& TickCounter();
    // The clock of the wait after a MAC ID write.
    void UseTicks(TickSource& ticks) { ticks_ = &ticks; }

    // The "Mac Id:" entry of a MAC ID value: its low six bits.
    static int MacIdEntry(std::uint8_t value);
    // Bits 0, 1, 2, 4 and 5 of the allocation choice.
    static AllocationBoxes DecodeAllocation(std::uint8_t choice);
    // A switch-changed flag (bit 0): "Changed" or "No Change".
    static QString SwitchChangedText(std::uint8_t value);
    // A baud rate value: "125K", "250K", "500K"; "Error" beyond.
    static QString BaudRateText(std::uint8_t value);

protected:
    void Refresh() override;

private:
    void RefreshValues(bool full);
    // Writes the chosen MAC ID, waits, and shows what the node holds then.
    void MacIdChosen(int entry);
    // Reads the MAC ID and selects its entry, or none.
    void ReadMacId();
    void SelectMacId(int entry);
    void ShowAllocation(const AllocationBoxes& boxes);
    // A byte of instance 1 into `field` through `text`, or "Error".
    void ShowByte(QLineEdit* field, int attribute, QString (*text)(std::uint8_t));

    std::unique_ptr<Ui::DeviceNetPage> ui_;
    Module* module_;
    AttributeItem scratchItem_;
    TickSource* ticks_ = &SystemTicks();
};

} // namespace orv::viewer
