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

namespace Attribute {
constexpr int kClassRevision = 1;
constexpr int kState = 1;
constexpr int kInstanceType = 2;
constexpr int kTransportClassTrigger = 3;
constexpr int kProducedId = 4;
constexpr int kConsumedId = 5;
constexpr int kInitialCommCharacteristics = 6;
constexpr int kProducedSize = 7;
constexpr int kConsumedSize = 8;
constexpr int kExpectedPacketRate = 9;
constexpr int kWatchdogTimeoutAction = 12;
constexpr int kProducedPathLength = 13;
constexpr int kProducedPath = 14;
constexpr int kConsumedPathLength = 15;
constexpr int kConsumedPath = 16;
constexpr int kProductionInhibitTime = 17;
} // namespace Attribute

const QString kError = QStringLiteral("Error");
const QString kReserved = QStringLiteral("Reserved");

} // namespace

ConnectionPage::ConnectionPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kConnection, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::ConnectionPage>()),
      module_(context.module)
{
    ui_->setupUi(this);
    connect(ui_->explicitRadio, &QRadioButton::clicked, this, [this] { ChooseInstance(kExplicitInstance); });
    connect(ui_->pollRadio, &QRadioButton::clicked, this, [this] { ChooseInstance(kPollInstance); });
    // The instance type is the node's: a click only shows it again.
    connect(ui_->explicitMessageRadio, &QRadioButton::clicked, this, &ConnectionPage::ShowInstanceType);
    connect(ui_->ioMessageRadio, &QRadioButton::clicked, this, &ConnectionPage::ShowInstanceType);
    if (module_ == nullptr) {
        return;
    }
    const WaitCursor wait;
    ui_->classRevisionEdit->Bind(module_, kConnectionClass, 0, Attribute::kClassRevision, ValueType::kUInt16, 2, false);
    ui_->explicitRadio->setChecked(true);
    RefreshConnection(true);
    show();
}

ConnectionPage::~ConnectionPage() = default;

int& ConnectionPage::TickCounter()
{
    static int counter = 0;
    return counter;
}

QString ConnectionPage::StateName(int state)
{
    static const std::array<QString, 6> kNames{
        QStringLiteral("Non-existant"), QStringLiteral("Configuring"),     QStringLiteral("Wait for Conn Id"),
        QStringLiteral("Established"),  QStringLiteral("Timed Out"),       QStringLiteral("Deferred Delete"),
    };
    return state >= 0 && state < static_cast<int>(kNames.size()) ? kNames[static_cast<std::size_t>(state)] : kError;
}

QString ConnectionPage::DirectionText(std::uint8_t transportClassTrigger)
{
    return (transportClassTrigger & 0x80) != 0 ? QStringLiteral("Server") : QStringLiteral("Client");
}

QString ConnectionPage::TriggerText(std::uint8_t transportClassTrigger)
{
    switch ((transportClassTrigger >> 4) & 0x07) {
    case 0: return QStringLiteral("Cyclic");
    case 1: return QStringLiteral("Change-of-State");
    case 2: return QStringLiteral("Application Object");
    default: return kReserved;
    }
}

QString ConnectionPage::TransportClassText(std::uint8_t transportClassTrigger)
{
    // Classes 0, 2 and 3 are DeviceNet's; 4 to 6 are defined by CIP for other networks and shown by
    // number; 1 and 7 to 15 are reserved.
    const int transportClass = transportClassTrigger & 0x0F;
    return transportClass == 1 || transportClass > 6 ? kReserved : QString::number(transportClass);
}

QString ConnectionPage::IdentifierText(std::uint16_t identifier)
{
    return QString::asprintf("%02x%02x", identifier >> 8, identifier & 0xFF);
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

void ConnectionPage::ChooseInstance(int instance)
{
    // What the page shows follows at the next tick (timing) and the next full refresh (the rest).
    selectedInstance_ = instance;
    (instance == kPollInstance ? ui_->pollRadio : ui_->explicitRadio)->setChecked(true);
}

void ConnectionPage::Refresh()
{
    RefreshConnection(NextTickIsFull(TickCounter()));
}

void ConnectionPage::RefreshConnection(bool full)
{
    const int instance = selectedInstance_;
    if (full) {
        RefreshStatus();
        ui_->producedSizeEdit->Bind(module_, kConnectionClass, instance, Attribute::kProducedSize, ValueType::kUInt16,
                                    2, false);
        ui_->consumedSizeEdit->Bind(module_, kConnectionClass, instance, Attribute::kConsumedSize, ValueType::kUInt16,
                                    2, false);
        ui_->producedPathLengthEdit->Bind(module_, kConnectionClass, instance, Attribute::kProducedPathLength,
                                          ValueType::kUInt16, 2, false);
        // A path is as long as its length says; when the length cannot be read the path keeps its
        // binding. A path longer than an item holds reads as "Error".
        std::uint16_t length = 0;
        if (ReadUInt16(Attribute::kProducedPathLength, length)) {
            ui_->producedPathEdit->Bind(module_, kConnectionClass, instance, Attribute::kProducedPath, ValueType::kRaw,
                                        length, false);
        }
        ui_->consumedPathLengthEdit->Bind(module_, kConnectionClass, instance, Attribute::kConsumedPathLength,
                                          ValueType::kUInt16, 2, false);
        if (ReadUInt16(Attribute::kConsumedPathLength, length)) {
            ui_->consumedPathEdit->Bind(module_, kConnectionClass, instance, Attribute::kConsumedPath, ValueType::kRaw,
                                        length, false);
        }
        ui_->classRevisionEdit->Refresh(ValueKind::kUInt16);
        ui_->producedSizeEdit->Refresh(ValueKind::kUInt16);
        ui_->consumedSizeEdit->Refresh(ValueKind::kUInt16);
        ui_->producedPathLengthEdit->Refresh(ValueKind::kUInt16);
        ui_->producedPathEdit->Refresh(ValueKind::kRaw);
        ui_->consumedPathLengthEdit->Refresh(ValueKind::kUInt16);
        ui_->consumedPathEdit->Refresh(ValueKind::kRaw);
    }
    // Re-bound to the chosen instance on every tick, keeping a hold: the user's typing stays.
    ValueEdit& rate = *ui_->expectedPacketRateEdit;
    rate.Bind(module_, kConnectionClass, instance, Attribute::kExpectedPacketRate, ValueType::kUInt16, 2,
              rate.IsHeld());
    rate.Refresh(ValueKind::kUInt16);
    ValueCombo& watchdog = *ui_->watchdogCombo;
    watchdog.Bind(module_, kConnectionClass, instance, Attribute::kWatchdogTimeoutAction, ValueType::kByte, 1, 0,
                  watchdog.IsHeld());
    watchdog.Refresh(ValueKind::kByte);
    ValueEdit& inhibit = *ui_->productionInhibitTimeEdit;
    inhibit.Bind(module_, kConnectionClass, instance, Attribute::kProductionInhibitTime, ValueType::kUInt16, 2,
                 inhibit.IsHeld());
    inhibit.Refresh(ValueKind::kUInt16);
}

void ConnectionPage::RefreshStatus()
{
    std::uint8_t byte = 0;
    ui_->stateField->setText(ReadByte(Attribute::kState, byte) ? StateName(byte) : kError);
    ShowInstanceType();
    if (ReadByte(Attribute::kTransportClassTrigger, byte)) {
        ui_->directionField->setText(DirectionText(byte));
        ui_->triggerField->setText(TriggerText(byte));
        ui_->transportClassField->setText(TransportClassText(byte));
    } else {
        ui_->directionField->setText(kError);
        ui_->triggerField->setText(kError);
        ui_->transportClassField->setText(kError);
    }
    std::uint16_t identifier = 0;
    ui_->producedIdField->setText(ReadUInt16(Attribute::kProducedId, identifier) ? IdentifierText(identifier)
                                                                                   : kError);
    ui_->consumedIdField->setText(ReadUInt16(Attribute::kConsumedId, identifier) ? IdentifierText(identifier)
                                                                                   : kError);
    if (ReadByte(Attribute::kInitialCommCharacteristics, byte)) {
        ui_->producedGroupField->setText(MessageGroupName(byte >> 4));
        ui_->consumedGroupField->setText(MessageGroupName(byte & 0x0F));
    } else {
        ui_->producedGroupField->setText(kError);
        ui_->consumedGroupField->setText(kError);
    }
}

void ConnectionPage::ShowInstanceType()
{
    std::uint8_t type = 0;
    const bool read = ReadByte(Attribute::kInstanceType, type);
    ui_->explicitMessageRadio->setChecked(read && (type & 0x01) == 0);
    ui_->ioMessageRadio->setChecked(read && (type & 0x01) != 0);
}

bool ConnectionPage::ReadByte(int attribute, std::uint8_t& value)
{
    item_.Setup(module_, kConnectionClass, selectedInstance_, attribute, ValueType::kByte, 1, {}, 0);
    if (!item_.Read()) {
        return false;
    }
    value = item_.GetByte();
    return true;
}

bool ConnectionPage::ReadUInt16(int attribute, std::uint16_t& value)
{
    item_.Setup(module_, kConnectionClass, selectedInstance_, attribute, ValueType::kUInt16, 2, {}, 0);
    if (!item_.Read()) {
        return false;
    }
    value = static_cast<std::uint16_t>(item_.GetInt16());
    return true;
}

} // namespace orv::viewer
