#include "viewer/pages/DeviceNetPage.h"

#include "ui_DeviceNetPage.h"
#include "viewer/app/Messages.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueType.h"
#include "viewer/pages/RefreshSchedule.h"

#include <QSignalBlocker>

namespace orv::viewer {
namespace {

constexpr int kDeviceNetClass = 3;

namespace Attribute {
constexpr int kClassRevision = 1;
constexpr int kMacId = 1;
constexpr int kBaudRate = 2;
constexpr int kBusOffInterrupt = 3;
constexpr int kBusOffCounter = 4;
constexpr int kAllocation = 5;
constexpr int kMacIdSwitchChanged = 6;
constexpr int kBaudRateSwitchChanged = 7;
constexpr int kMacIdSwitch = 8;
constexpr int kBaudRateSwitch = 9;
} // namespace Attribute

QString DecimalText(std::uint8_t value)
{
    return QString::number(value);
}

} // namespace

DeviceNetPage::DeviceNetPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kDeviceNet, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::DeviceNetPage>()),
      module_(context.module)
{
    ui_->setupUi(this);
    if (module_ == nullptr) {
        return;
    }
    const WaitCursor wait;
    for (int macId = 0; macId < kMacIdCount; ++macId) {
        ui_->macIdList->addItem(QString::number(macId));
    }
    ui_->baudRateCombo->Bind(module_, kDeviceNetClass, 1, Attribute::kBaudRate, ValueType::kByte, 1, 0, false);
    ui_->busOffInterruptCombo->Bind(module_, kDeviceNetClass, 1, Attribute::kBusOffInterrupt, ValueType::kByte, 1, 0,
                                    false);
    ui_->busOffCountEdit->Bind(module_, kDeviceNetClass, 1, Attribute::kBusOffCounter, ValueType::kByte, 1, false);
    RefreshValues(true);
    ReadMacId();
    // Only the user's choice writes: the page's own selections are made with signals blocked.
    connect(ui_->macIdList, &QListWidget::currentRowChanged, this, &DeviceNetPage::MacIdChosen);
    show();
}

DeviceNetPage::~DeviceNetPage() = default;

int& DeviceNetPage::TickCounter()
{
    static int counter = 0;
    return counter;
}

int DeviceNetPage::MacIdEntry(std::uint8_t value)
{
    return value & 0x3F;
}

DeviceNetPage::AllocationBoxes DeviceNetPage::DecodeAllocation(std::uint8_t choice)
{
    AllocationBoxes boxes;
    boxes.explicitMessage = (choice & 0x01) != 0;
    boxes.poll = (choice & 0x02) != 0;
    boxes.strobe = (choice & 0x04) != 0;
    boxes.changeOfState = (choice & 0x10) != 0;
    boxes.cyclic = (choice & 0x20) != 0;
    return boxes;
}

QString DeviceNetPage::SwitchChangedText(std::uint8_t value)
{
    return (value & 0x01) != 0 ? QStringLiteral("Changed") : QStringLiteral("No Change");
}

QString DeviceNetPage::BaudRateText(std::uint8_t value)
{
    switch (value) {
    case 0: return QStringLiteral("125K");
    case 1: return QStringLiteral("250K");
    case 2: return QStringLiteral("500K");
    default: return QStringLiteral("Error");
    }
}

void DeviceNetPage::Refresh()
{
    RefreshValues(NextTickIsFull(TickCounter()));
}

void DeviceNetPage::RefreshValues(bool full)
{
    if (full) {
        scratchItem_.Setup(module_, kDeviceNetClass, 0, Attribute::kClassRevision, ValueType::kUInt16, 2, {}, 0);
        ui_->classRevisionField->setText(scratchItem_.Read()
                                             ? QString::number(static_cast<std::uint16_t>(scratchItem_.GetInt16()))
                                             : QStringLiteral("Error"));

        scratchItem_.Setup(module_, kDeviceNetClass, 1, Attribute::kAllocation, ValueType::kRaw, 2, {}, 0);
        if (scratchItem_.Read()) {
            std::uint8_t allocation[2] = {};
            scratchItem_.GetBytes(allocation, sizeof allocation);
            ShowAllocation(DecodeAllocation(allocation[0]));
            ui_->masterIdField->setText(QString::number(allocation[1]));
        } else {
            ShowAllocation({});
            ui_->masterIdField->setText(QStringLiteral("Error"));
        }

        ShowByte(ui_->macIdSwitchField, Attribute::kMacIdSwitchChanged, &SwitchChangedText);
        ShowByte(ui_->baudRateSwitchField, Attribute::kBaudRateSwitchChanged, &SwitchChangedText);
        ShowByte(ui_->macIdValueField, Attribute::kMacIdSwitch, &DecimalText);
        ShowByte(ui_->baudRateValueField, Attribute::kBaudRateSwitch, &BaudRateText);
    }
    ui_->baudRateCombo->Refresh(ValueKind::kByte);
    ui_->busOffInterruptCombo->Refresh(ValueKind::kByte);
    ui_->busOffCountEdit->Refresh(ValueKind::kByte);
}

void DeviceNetPage::MacIdChosen(int entry)
{
    if (entry < 0) {
        return;
    }
    scratchItem_.Setup(module_, kDeviceNetClass, 1, Attribute::kMacId, ValueType::kByte, 1, {}, 0);
    const std::string text = std::to_string(entry);
    scratchItem_.Write(text.c_str(), ValueKind::kText, 1); // a refusal shows in the read below
    ticks_->Pause(kRewriteSettleMs);
    ReadMacId();
}

void DeviceNetPage::ReadMacId()
{
    scratchItem_.Setup(module_, kDeviceNetClass, 1, Attribute::kMacId, ValueType::kByte, 1, {}, 0);
    SelectMacId(scratchItem_.Read() ? MacIdEntry(scratchItem_.GetByte()) : -1);
}

void DeviceNetPage::SelectMacId(int entry)
{
    const QSignalBlocker quiet(ui_->macIdList);
    ui_->macIdList->setCurrentRow(entry);
    if (entry < 0) {
        ui_->macIdList->clearSelection();
    }
}

void DeviceNetPage::ShowAllocation(const AllocationBoxes& boxes)
{
    ui_->explicitCheck->setChecked(boxes.explicitMessage);
    ui_->pollCheck->setChecked(boxes.poll);
    ui_->strobeCheck->setChecked(boxes.strobe);
    ui_->cosCheck->setChecked(boxes.changeOfState);
    ui_->cyclicCheck->setChecked(boxes.cyclic);
}

void DeviceNetPage::ShowByte(QLineEdit* field, int attribute, QString (*text)(std::uint8_t))
{
    scratchItem_.Setup(module_, kDeviceNetClass, 1, attribute, ValueType::kByte, 1, {}, 0);
    field->setText(scratchItem_.Read() ? text(scratchItem_.GetByte()) : QStringLiteral("Error"));
}

} // namespace orv::viewer
