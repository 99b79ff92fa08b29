#pragma once
// The Connection object page: the class revision and, for the explicit (instance 1) or the poll
// connection (instance 2), its state, type, transport class and trigger, identifiers, message
// groups, sizes and paths, read on the full refreshes, and its expected packet rate, watchdog
// timeout action and production inhibit time, read on every tick and changed by the user.

#include "viewer/pages/FieldTable.h"
#include "viewer/pages/Page.h"
#include "viewer/pages/RefreshSchedule.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace Ui {
class ConnectionPage;
}

namespace orv::viewer {

class ConnectionPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kTimerId = 0x205;
    static constexpr int kPeriodMs = 200;
    static constexpr int kExplicitInstance = 1;
    static constexpr int kPollInstance = 2;

    // Without a module the page stays hidden and never reads.
    ConnectionPage(const PageContext& context, QWidget* parent);
    ~ConnectionPage() override;

    // The process-wide counter that schedules the full refreshes of every Connection page.
    static int& TickCounter();

    int SelectedInstance() const { return selectedInstance_; }

    // Attribute 1: "Non-existant" to "Deferred Delete", "Error" beyond.
    static QString StateName(std::uint32_t state);
    // Attribute 3, bit 7: "Server" or "Client".
    static QString DirectionText(std::uint32_t transportClassTrigger);
    // Attribute 3, bits 6..4: "Cyclic", "Change-of-State", "Application Object"; the standard
    // reserves 3 to 7.
    static QString TriggerText(std::uint32_t transportClassTrigger);
    // Attribute 3, bits 3..0: the class number; 1 and 7 to 15 are reserved.
    static QString TransportClassText(std::uint32_t transportClassTrigger);
    // A connection identifier as four lower-case hex digits, high byte first.
    static QString IdentifierText(std::uint32_t identifier);
    // One half of attribute 6: "1", "2 (Destination)", "2 (Source)", "3", "Reserved", "Default".
    static QString MessageGroupName(int group);
    // The produced (bits 7..4) and consumed (bits 3..0) message group of attribute 6.
    static QString ProducedGroupText(std::uint32_t characteristics);
    static QString ConsumedGroupText(std::uint32_t characteristics);

public slots:
    // The instance shown: all of it at the next tick, not the other instance's values until the
    // next full refresh.
    void ChooseInstance(int instance);

protected:
    void Refresh() override;

private:
    std::unique_ptr<Ui::ConnectionPage> ui_;
    Module* module_;
    std::unique_ptr<FieldTable> fields_;
    CycleSchedule schedule_;
    int selectedInstance_ = kExplicitInstance;
};

} // namespace orv::viewer
