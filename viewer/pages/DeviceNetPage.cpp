#include "viewer/pages/DeviceNetPage.h"

#include "ui_DeviceNetPage.h"
#include "viewer/app/Messages.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueType.h"
#include "viewer/pages/RefreshSchedule.h"

namespace orv::viewer {
namespace {

constexpr int kDeviceNetClass = 3;
constexpr int kMacIdAttribute = 1;

// The page's refreshes: on the full ticks, on every tick, and of the MAC ID at opening and after
// the user chose one.
enum : unsigned { kFull = 1, kEveryTick = 2, kMacId = 4 };

constexpr ComboEntry kBaudRates[] = {{"125K", 0}, {"250K", 1}, {"500K", 2}};
constexpr ComboEntry kBusOffInterrupt[] = {{"Disable", 0}, {"Enable", 1}};

constexpr Row kFields[] = {
    Text("classRevisionField", {kDeviceNetClass, 0, 1}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Bits(DeviceNetPage::kAllocationBits, {kDeviceNetClass, 1, 5}, ValueType::kRaw, 2, kFull),
    Text("masterIdField", {kDeviceNetClass, 1, 5}, ValueType::kRaw, 2, &DeviceNetPage::MasterIdText, kFull),
    Text("macIdSwitchField", {kDeviceNetClass, 1, 6}, ValueType::kByte, 1, &DeviceNetPage::SwitchChangedText, kFull),
    Text("baudRateSwitchField", {kDeviceNetClass, 1, 7}, ValueType::kByte, 1, &DeviceNetPage::SwitchChangedText,
         kFull),
    Text("macIdValueField", {kDeviceNetClass, 1, 8}, ValueType::kByte, 1, &DecimalText, kFull),
    Text("baudRateValueField", {kDeviceNetClass, 1, 9}, ValueType::kByte, 1, &DeviceNetPage::BaudRateText, kFull),
    Control("baudRateCombo", {kDeviceNetClass, 1, 2}, ValueType::kByte, 1, ValueKind::kByte, kEveryTick, kBaudRates),
    Control("busOffInterruptCombo", {kDeviceNetClass, 1, 3}, ValueType::kByte, 1, ValueKind::kByte, kEveryTick,
            kBusOffInterrupt),
    Control("busOffCountEdit", {kDeviceNetClass, 1, 4}, ValueType::kByte, 1, ValueKind::kByte, kEveryTick),
    Entry("macIdList", {kDeviceNetClass, 1, kMacIdAttribute}, ValueType::kByte, 1, &DeviceNetPage::MacIdEntry,
          kMacId),
};

} // namespace

DeviceNetPage::DeviceNetPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kDeviceNet, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::DeviceNetPage>()),
      module_(context.module), schedule_(PageCode::kDeviceNet, context.module)
{
    ui_->setupUi(this);
    if (module_ == nullptr) {
        return;
    }
    fields_ = std::make_unique<FieldTable>(*this, module_, kFields);
    const WaitCursor wait;
    for (int macId = 0; macId < kMacIdCount; ++macId) {
        ui_->macIdList->addItem(QString::number(macId));
    }
    fields_->Bind(kEveryTick, 1, true);
    fields_->Refresh(kFull | kEveryTick, 1);
    fields_->Refresh(kMacId, 1);
    // Only the user's choice writes: the page's own selections are made with signals blocked.
    connect(ui_->macIdList, &QListWidget::currentRowChanged, this, &DeviceNetPage::MacIdChosen);
    show();
}

DeviceNetPage::~DeviceNetPage() = default;

int& DeviceNetPage::TickCounter()
{
    return orv::viewer::TickCounter(PageCode::kDeviceNet);
}

int DeviceNetPage::MacIdEntry(std::uint32_t value)
{
    return static_cast<int>(value & 0x3F);
}

QString DeviceNetPage::SwitchChangedText(std::uint32_t value)
{
    return (value & 0x01) != 0 ? QStringLiteral("Changed") : QStringLiteral("No Change");
}

QString DeviceNetPage::BaudRateText(std::uint32_t value)
{
    switch (value) {
    case 0: return QStringLiteral("125K");
    case 1: return QStringLiteral("250K");
    case 2: return QStringLiteral("500K");
    default: return QStringLiteral("Error");
    }
}

QString DeviceNetPage::MasterIdText(std::uint32_t allocation)
{
    return QString::number((allocation >> 8) & 0xFF);
}

void DeviceNetPage::Refresh()
{
    if (fields_) {
        fields_->Refresh(schedule_.NextIsFull() ? kFull | kEveryTick : kEveryTick, 1);
    }
}

void DeviceNetPage::MacIdChosen(int entry)
{
    if (entry < 0) {
        return;
    }
    scratchItem_.Setup(module_, kDeviceNetClass, 1, kMacIdAttribute, ValueType::kByte, 1, {}, 0);
    const std::string text = std::to_string(entry);
    scratchItem_.Write(text.c_str(), ValueKind::kText, 1); // a refusal shows in the read below
    ticks_->Pause(kRewriteSettleMs);
    fields_->Refresh(kMacId, 1);
}

} // namespace orv::viewer
