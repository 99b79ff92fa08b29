#include "viewer/pages/PageFactory.h"

#include "viewer/pages/ConnectionPage.h"
#include "viewer/pages/DeviceNetPage.h"
#include "viewer/pages/IdentityPage.h"
#include "viewer/pages/IoMessagingPage.h"
#include "viewer/pages/SerialPage.h"

namespace orv::viewer {

Page* CreatePage(int code, const PageContext& context, QWidget* parent)
{
    switch (code) {
    case PageCode::kIdentity: return new IdentityPage(context, parent);
    case PageCode::kDeviceNet: return new DeviceNetPage(context, parent);
    case PageCode::kConnection: return new ConnectionPage(context, parent);
    case PageCode::kIoMessaging: return new IoMessagingPage(context, parent);
    case PageCode::kSerialInterface: return new SerialPage(context, parent);
    default: return nullptr;
    }
}

} // namespace orv::viewer
