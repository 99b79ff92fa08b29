#pragma once
// The Identity object page: the class attributes, the instance's identity, status word and state,
// and the Reset service. The identity is read-only until the node's password has been written
// (Enter); while locked the timer refreshes nothing, so the page shows what it read at opening.
// Enter also writes the revision typed as major.minor.

#include "viewer/model/AttributeItem.h"
#include "viewer/model/ServiceItem.h"
#include "viewer/model/TickSource.h"
#include "viewer/pages/FieldTable.h"
#include "viewer/pages/Page.h"
#include "viewer/pages/RefreshSchedule.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace Ui {
class IdentityPage;
}

namespace orv::viewer {

class IdentityPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kTimerId = 0x202;
    static constexpr int kPeriodMs = 200;
    // After a revision write, before it is read back.
    static constexpr std::uint32_t kRewriteSettleMs = 20;
    // After a Reset, while the node restarts, before it is opened again.
    static constexpr std::uint32_t kRestartMs = 4000;
    // The Identity object's Reset service.
    static constexpr int kResetService = 5;
    // At most this many characters of the revision box are read.
    static constexpr int kRevisionTextLimit = 20;

    // The status word in its six boxes: bit 0 owned, bit 2 configured, bits 8 to 11 the minor and
    // major, recoverable and unrecoverable faults (bits 4 to 7 are the extended device status, not
    // faults).
    static constexpr BitBox kStatusBits[] = {
        {"ownedCheck", 0x0001},
        {"configuredCheck", 0x0004},
        {"minorRecoverableCheck", 0x0100},
        {"minorUnrecoverableCheck", 0x0200},
        {"majorRecoverableCheck", 0x0400},
        {"majorUnrecoverableCheck", 0x0800},
    };

    // Without a module the page stays hidden and never reads.
    IdentityPage(const PageContext& context, QWidget* parent);
    ~IdentityPage() override;

    // The process-wide counter that schedules the full refreshes of every Identity page.
    static int& TickCounter();
    // The clock of the page's waits (after a revision write and after a Reset).
    void UseTicks(TickSource& ticks) { ticks_ = &ticks; }

    // The entry of the state list for a state value, -1 for none.
    static int StateEntry(std::uint32_t state);
    // "%03d.%03d" of major and minor.
    static QString RevisionText(const std::array<std::uint8_t, 2>& revision);
    // Reads "major.minor" ("%d.%d") from the first kRevisionTextLimit characters into `revision`,
    // each number's low eight bits; a minor that is missing keeps its value. False, with
    // `revision` unchanged, when not even the major number is there.
    static bool ParseRevision(const QString& text, std::array<std::uint8_t, 2>& revision);
    // The revision as the hex text the raw attribute is written with: "%02X%02X".
    static QString RevisionHex(const std::array<std::uint8_t, 2>& revision);

    bool Unlocked() const { return unlocked_; }

public slots:
    void Reset();

protected:
    void Refresh() override;
    // Enter: the password when locked, then the revision.
    void DefaultAction() override;

private:
    // Reads the revision into the box, or shows "Error".
    void ReadRevision();
    void SetInstanceReadOnly(bool readOnly);

    std::unique_ptr<Ui::IdentityPage> ui_;
    Module* module_;
    std::unique_ptr<FieldTable> fields_;
    int allocationFlags_;
    int masterMacId_;
    CycleSchedule schedule_;
    AttributeItem scratchItem_;
    ServiceItem resetItem_;
    TickSource* ticks_ = &SystemTicks();
    bool unlocked_ = false;
    std::array<std::uint8_t, 2> revision_{};
};

} // namespace orv::viewer
