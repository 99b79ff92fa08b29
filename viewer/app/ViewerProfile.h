#pragma once
// The viewer's profile brelinview.ini: the network settings (section "DNET") and the chosen node
// (section "NETWORK"), read once at start and written after a dialog ends with OK.

#include "driver/automation/DriverSettings.h"
#include "platform/Profile.h"

namespace orv::viewer {

class ViewerProfile {
public:
    static constexpr int kDefaultPort = 760; // 0x2F8
    static constexpr int kDefaultInterrupt = 3;
    static constexpr int kNoNode = -1;

    // The profile in $XDG_CONFIG_HOME (or ~/.config).
    ViewerProfile();

    // The seven "DNET" keys into `settings` ("INSTALLED" as 0 or 1, the first 64 characters of
    // "DRIVERNAME").
    void ReadSettings(automation::DriverSettings& settings) const;
    // "NETWORK" / "NODEADDRESS", -1 when none is stored.
    int ReadNodeAddress() const;

    // False when the profile could not be written.
    bool WriteSettings(const automation::DriverSettings& settings);
    bool WriteNodeAddress(int nodeAddress);

    const platform::Profile& File() const { return profile_; }

private:
    platform::Profile profile_;
};

} // namespace orv::viewer
