#include "viewer/app/ViewerProfile.h"

namespace orv::viewer {
namespace {

constexpr const char* kDnet = "DNET";
constexpr const char* kNetwork = "NETWORK";

} // namespace

ViewerProfile::ViewerProfile() : profile_("brelinview") {}

void ViewerProfile::ReadSettings(automation::DriverSettings& settings) const
{
    settings.SetDriverType(profile_.GetProfileInt(kDnet, "DRIVER", 0));
    settings.SetScnId(profile_.GetProfileInt(kDnet, "SCNID", 0));
    settings.SetDataRate(profile_.GetProfileInt(kDnet, "DATARATE", 0));
    settings.SetPort(profile_.GetProfileInt(kDnet, "PORT", kDefaultPort));
    settings.SetInterrupt(profile_.GetProfileInt(kDnet, "INTERRUPT", kDefaultInterrupt));
    settings.SetInstalled(profile_.GetProfileInt(kDnet, "INSTALLED", 0) != 0 ? 1 : 0);
    settings.SetDriverNameField(profile_.GetProfileString(kDnet, "DRIVERNAME", ""));
}

int ViewerProfile::ReadNodeAddress() const
{
    return profile_.GetProfileInt(kNetwork, "NODEADDRESS", kNoNode);
}

bool ViewerProfile::WriteSettings(const automation::DriverSettings& settings)
{
    bool written = profile_.WriteProfileInt(kDnet, "DRIVER", settings.DriverType());
    written = profile_.WriteProfileInt(kDnet, "SCNID", settings.ScnId()) && written;
    written = profile_.WriteProfileInt(kDnet, "DATARATE", settings.DataRate()) && written;
    written = profile_.WriteProfileInt(kDnet, "PORT", settings.Port()) && written;
    written = profile_.WriteProfileInt(kDnet, "INTERRUPT", settings.Interrupt()) && written;
    written = profile_.WriteProfileInt(kDnet, "INSTALLED", settings.Installed() != 0 ? 1 : 0) && written;
    written = profile_.WriteProfileString(kDnet, "DRIVERNAME", settings.DriverNameText()) && written;
    return written;
}

bool ViewerProfile::WriteNodeAddress(int nodeAddress)
{
    return profile_.WriteProfileInt(kNetwork, "NODEADDRESS", nodeAddress);
}

} // namespace orv::viewer
