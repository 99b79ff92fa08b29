#pragma once
// The DeviceNet object page: the node's MAC ID, baud rate, bus-off interrupt and bus-off counter,
// which the user changes here, and the allocation and the switches, shown only. Baud rate and
// bus-off are read on every tick; the class revision, allocation and switches on the full
// refreshes. The MAC ID is read when the page opens and after the user chooses one, never by the
// timer.

#include "viewer/model/AttributeItem.h"
#include "viewer/model/TickSource.h"
#include "viewer/pages/FieldTable.h"
#include "viewer/pages/Page.h"
#include "viewer/pages/RefreshSchedule.h"

#include <QString>

#include <cstdint>
#include <memory>

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

    // The allocation choice (byte 0 of the allocation information) in its five boxes.
    static constexpr BitBox kAllocationBits[] = {
        {"explicitCheck", 0x01}, {"pollCheck", 0x02}, {"strobeCheck", 0x04}, {"cosCheck", 0x10}, {"cyclicCheck", 0x20},
    };

    // Without a module the page stays hidden and never reads.
    DeviceNetPage(const PageContext& context, QWidget* parent);
    ~DeviceNetPage() override;

    // The process-wide counter that schedules the full refreshes of every DeviceNet page.
    static int& TickCounter();
    // The clock of the wait after a MAC ID write.
    void UseTicks(TickSource& ticks) { ticks_ = &ticks; }

    // The "Mac Id:" entry of a MAC ID value: its low six bits.
    static int MacIdEntry(std::uint32_t value);
    // A switch-changed flag (bit 0): "Changed" or "No Change".
    static QString SwitchChangedText(std::uint32_t value);
    // A baud rate value: "125K", "250K", "500K"; "Error" beyond.
    static QString BaudRateText(std::uint32_t value);
    // The master's MAC ID, byte 1 of the allocation information.
    static QString MasterIdText(std::uint32_t allocation);

protected:
    void Refresh() override;

private:
    // Writes the chosen MAC ID, waits, and shows what the node holds then.
    void MacIdChosen(int entry);

    std::unique_ptr<Ui::DeviceNetPage> ui_;
    Module* module_;
    std::unique_ptr<FieldTable> fields_;
    CycleSchedule schedule_;
    AttributeItem scratchItem_;
    TickSource* ticks_ = &SystemTicks();
};

} // namespace orv::viewer
