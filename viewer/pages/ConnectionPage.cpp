#include "viewer/pages/ConnectionPage.h"

#include "ui_ConnectionPage.h"
#include "viewer/app/Messages.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueType.h"
#include "viewer/pages/RefreshSchedule.h"

#include <array>

namespace orv::viewer {
namespace {

constexpr int kConnectionClass = 5;

// The page's refreshes: on the full ticks, on every tick, and of the instance type alone.
enum : unsigned { kFull = 1, kEveryTick = 2, kInstanceType = 4 };

const QString kError = QStringLiteral("Error");
const QString kReserved = QStringLiteral("Reserved");

constexpr const char* kInstanceTypeButtons[] = {"explicitMessageRadio", "ioMessageRadio"};

// Attribute 2, bit 0: explicit message (0) or I/O message (1).
int InstanceTypeEntry(std::uint32_t type)
{
    return static_cast<int>(type & 0x01);
}

constexpr ComboEntry kWatchdogActions[] = {
    {"Timeout", 0}, {"Auto Delete", 1}, {"Auto Reset", 2}, {"Deferred Delete", 3}};

constexpr Path At(int attribute)
{
    return {kConnectionClass, kChosenInstance, attribute};
}

constexpr Row kFields[] = {
    Text("stateField", At(1), ValueType::kByte, 1, &ConnectionPage::StateName, kFull),
    Choice(kInstanceTypeButtons, At(2), ValueType::kByte, 1, &InstanceTypeEntry, kFull | kInstanceType),
    Text("directionField", At(3), ValueType::kByte, 1, &ConnectionPage::DirectionText, kFull),
    Text("triggerField", At(3), ValueType::kByte, 1, &ConnectionPage::TriggerText, kFull),
    Text("transportClassField", At(3), ValueType::kByte, 1, &ConnectionPage::TransportClassText, kFull),
    Text("producedIdField", At(4), ValueType::kUInt16, 2, &ConnectionPage::IdentifierText, kFull),
    Text("consumedIdField", At(5), ValueType::kUInt16, 2, &ConnectionPage::IdentifierText, kFull),
    Text("producedGroupField", At(6), ValueType::kByte, 1, &ConnectionPage::ProducedGroupText, kFull),
    Text("consumedGroupField", At(6), ValueType::kByte, 1, &ConnectionPage::ConsumedGroupText, kFull),
    Control("classRevisionEdit", {kConnectionClass, 0, 1}, ValueType::kUInt16, 2, ValueKind::kUInt16, kFull),
    Control("producedSizeEdit", At(7), ValueType::kUInt16, 2, ValueKind::kUInt16, kFull),
    Control("consumedSizeEdit", At(8), ValueType::kUInt16, 2, ValueKind::kUInt16, kFull),
    Control("producedPathLengthEdit", At(13), ValueType::kUInt16, 2, ValueKind::kUInt16, kFull),
    // A path is as long as its length says; without its length it cannot be read.
    Control("producedPathEdit", At(14), ValueType::kRaw, 0, ValueKind::kRaw, kFull).SizedBy({13}),
    Control("consumedPathLengthEdit", At(15), ValueType::kUInt16, 2, ValueKind::kUInt16, kFull),
    Control("consumedPathEdit", At(16), ValueType::kRaw, 0, ValueKind::kRaw, kFull).SizedBy({15}),
    Control("expectedPacketRateEdit", At(9), ValueType::kUInt16, 2, ValueKind::kUInt16, kEveryTick),
    Control("watchdogCombo", At(12), ValueType::kByte, 1, ValueKind::kByte, kEveryTick, kWatchdogActions),
    Control("productionInhibitTimeEdit", At(17), ValueType::kUInt16, 2, ValueKind::kUInt16, kEveryTick),
};

} // namespace

ConnectionPage::ConnectionPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kConnection, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::ConnectionPage>()),
      module_(context.module), schedule_(PageCode::kConnection, context.module)
{
    ui_->setupUi(this);
    connect(ui_->explicitRadio, &QRadioButton::clicked, this, [this] { ChooseInstance(kExplicitInstance); });
    connect(ui_->pollRadio, &QRadioButton::clicked, this, [this] { ChooseInstance(kPollInstance); });
    if (module_ == nullptr) {
        return;
    }
    fields_ = std::make_unique<FieldTable>(*this, module_, kFields);
    // The instance type is the node's: a click only shows it again.
    for (QRadioButton* type : {ui_->explicitMessageRadio, ui_->ioMessageRadio}) {
        connect(type, &QRadioButton::clicked, this, [this] { fields_->Refresh(kInstanceType, selectedInstance_); });
    }
    const WaitCursor wait;
    fields_->Bind(kFull | kEveryTick, selectedInstance_, true);
    ui_->explicitRadio->setChecked(true);
    fields_->Refresh(kFull | kEveryTick, selectedInstance_);
    show();
}

ConnectionPage::~ConnectionPage() = default;

int& ConnectionPage::TickCounter()
{
    return orv::viewer::TickCounter(PageCode::kConnection);
}

QString ConnectionPage::StateName(std::uint32_t state)
{
    static const std::array<QString, 6> kNames{
        QStringLiteral("Non-existant"), QStringLiteral("Configuring"),     QStringLiteral("Wait for Conn Id"),
        QStringLiteral("Established"),  QStringLiteral("Timed Out"),       QStringLiteral("Deferred Delete"),
    };
    return state < kNames.size() ? kNames[state] : kError;
}

QString ConnectionPage::DirectionText(std::uint32_t transportClassTrigger)
{
    return (transportClassTrigger & 0x80) != 0 ? QStringLiteral("Server") : QStringLiteral("Client");
}

QString ConnectionPage::TriggerText(std::uint32_t transportClassTrigger)
{
    switch ((transportClassTrigger >> 4) & 0x07) {
    case 0: return QStringLiteral("Cyclic");
    case 1: return QStringLiteral("Change-of-State");
    case 2: return QStringLiteral("Application Object");
    default: return kReserved;
    }
}

QString ConnectionPage::TransportClassText(std::uint32_t transportClassTrigger)
{
    // Classes 0, 2 and 3 are DeviceNet's; 4 to 6 are defined by CIP for other networks and shown by
    // number; 1 and 7 to 15 are reserved.
    const std::uint32_t transportClass = transportClassTrigger & 0x0F;
    return transportClass == 1 || transportClass > 6 ? kReserved : QString::number(transportClass);
}

QString ConnectionPage::IdentifierText(std::uint32_t identifier)
{
    return QString::asprintf("%02x%02x", (identifier >> 8) & 0xFF, identifier & 0xFF);
}

QString ConnectionPage::MessageGroupName(int group)
{
    switch (group) {
    case 0: return QStringLiteral("1");
    case 1: return QStringLiteral("2 (Destination)");
    case 2: return QStringLiteral("2 (Source)");
    case 3: return QStringLiteral("3");
    case 15: return QStringLiteral("Default");
    default: return kReserved;
    }
}

QString ConnectionPage::ProducedGroupText(std::uint32_t characteristics)
{
    return MessageGroupName(static_cast<int>((characteristics >> 4) & 0x0F));
}

QString ConnectionPage::ConsumedGroupText(std::uint32_t characteristics)
{
    return MessageGroupName(static_cast<int>(characteristics & 0x0F));
}

void ConnectionPage::ChooseInstance(int instance)
{
    selectedInstance_ = instance;
    schedule_.RequestFull();
    (instance == kPollInstance ? ui_->pollRadio : ui_->explicitRadio)->setChecked(true);
}

void ConnectionPage::Refresh()
{
    if (!fields_) {
        return;
    }
    fields_->Refresh(schedule_.NextIsFull() ? kFull | kEveryTick : kEveryTick, selectedInstance_);
}

} // namespace orv::viewer
