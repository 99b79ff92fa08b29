#include "viewer/pages/IdentityPage.h"

#include "ui_IdentityPage.h"
#include "viewer/app/Messages.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"
#include "viewer/pages/RefreshSchedule.h"

namespace orv::viewer {
namespace {

constexpr int kIdentityClass = 1;
constexpr int kStateCount = 6; // "Nonexistent" to "Major Unrecoverable Fault"

namespace Attribute {
constexpr int kClassRevision = 1;
constexpr int kMaxInstance = 2;
constexpr int kMaxClassAttribute = 6;
constexpr int kMaxInstanceAttribute = 7;
constexpr int kPassword = 0;
constexpr int kVendorId = 1;
constexpr int kDeviceType = 2;
constexpr int kProductCode = 3;
constexpr int kRevision = 4;
constexpr int kStatus = 5;
constexpr int kSerialNumber = 6;
constexpr int kProductName = 7;
constexpr int kState = 8;
} // namespace Attribute

} // namespace

IdentityPage::IdentityPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kIdentity, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::IdentityPage>()),
      module_(context.module), allocationFlags_(context.allocationFlags), masterMacId_(context.scnId)
{
    ui_->setupUi(this);
    connect(ui_->resetButton, &QPushButton::clicked, this, &IdentityPage::Reset);
    if (module_ == nullptr) {
        return;
    }
    const WaitCursor wait;
    ui_->vendorIdEdit->Bind(module_, kIdentityClass, 1, Attribute::kVendorId, ValueType::kUInt16, 2, false);
    ui_->deviceTypeEdit->Bind(module_, kIdentityClass, 1, Attribute::kDeviceType, ValueType::kUInt16, 2, false);
    ui_->productCodeEdit->Bind(module_, kIdentityClass, 1, Attribute::kProductCode, ValueType::kUInt16, 2, false);
    ui_->serialNumberEdit->Bind(module_, kIdentityClass, 1, Attribute::kSerialNumber, ValueType::kInt32, 4, false);
    // A short string of any length the node holds: a fixed size would cut a longer name short.
    ui_->productNameEdit->Bind(module_, kIdentityClass, 1, Attribute::kProductName, ValueType::kShortString,
                               kVariableSize, false);
    SetInstanceReadOnly(true);
    RefreshValues(true);
    if (!ReadRevision()) {
        ui_->revisionField->setText(QStringLiteral("Error"));
    }
    show();
}

IdentityPage::~IdentityPage() = default;

int& IdentityPage::TickCounter()
{
    static int counter = 0;
    return counter;
}

IdentityPage::StatusBoxes IdentityPage::DecodeStatus(std::uint16_t status)
{
    StatusBoxes boxes;
    boxes.owned = (status & 0x0001) != 0;
    boxes.configured = (status & 0x0004) != 0;
    boxes.minorRecoverable = (status & 0x0100) != 0;
    boxes.minorUnrecoverable = (status & 0x0200) != 0;
    boxes.majorRecoverable = (status & 0x0400) != 0;
    boxes.majorUnrecoverable = (status & 0x0800) != 0;
    return boxes;
}

int IdentityPage::StateEntry(std::uint8_t state)
{
    const int entry = state & 0x0F;
    return entry < kStateCount ? entry : -1;
}

QString IdentityPage::RevisionText(const std::array<std::uint8_t, 2>& revision)
{
    return QString::asprintf("%03d.%03d", revision[0], revision[1]);
}

bool IdentityPage::ParseRevision(const QString& text, std::array<std::uint8_t, 2>& revision)
{
    const QByteArray latin = text.left(kRevisionTextLimit).toLatin1();
    const std::string_view chars(latin.constData(), static_cast<std::size_t>(latin.size()));
    std::int32_t major = 0;
    std::size_t consumed = 0;
    if (!ParseDecimal(chars, major, &consumed)) {
        return false;
    }
    revision[0] = static_cast<std::uint8_t>(major);
    std::int32_t minor = 0;
    if (consumed < chars.size() && chars[consumed] == '.' && ParseDecimal(chars.substr(consumed + 1), minor)) {
        revision[1] = static_cast<std::uint8_t>(minor);
    }
    return true;
}

QString IdentityPage::RevisionHex(const std::array<std::uint8_t, 2>& revision)
{
    return QString::fromStdString(HexText(revision.data(), revision.size()));
}

void IdentityPage::Refresh()
{
    // Locked, the page keeps what it read when it opened.
    if (!unlocked_) {
        return;
    }
    RefreshValues(NextTickIsFull(TickCounter()));
}

void IdentityPage::RefreshValues(bool full)
{
    if (full) {
        ShowUInt16(ui_->classRevisionField, 0, Attribute::kClassRevision);
        ShowUInt16(ui_->maxInstanceField, 0, Attribute::kMaxInstance);
        ShowUInt16(ui_->maxClassAttrField, 0, Attribute::kMaxClassAttribute);
        ShowUInt16(ui_->maxInstAttrField, 0, Attribute::kMaxInstanceAttribute);

        scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kStatus, ValueType::kUInt16, 2, {}, 0);
        if (scratchItem_.Read()) {
            const auto status = static_cast<std::uint16_t>(scratchItem_.GetInt16());
            ui_->statusField->setText(QString::number(status));
            ShowStatus(DecodeStatus(status));
        } else {
            ui_->statusField->setText(QStringLiteral("Error"));
            ShowStatus({});
        }

        scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kState, ValueType::kByte, 1, {}, 0);
        ui_->stateList->setCurrentIndex(scratchItem_.Read() ? StateEntry(scratchItem_.GetByte()) : -1);
    }
    ui_->vendorIdEdit->Refresh(ValueKind::kUInt16);
    ui_->deviceTypeEdit->Refresh(ValueKind::kUInt16);
    ui_->productCodeEdit->Refresh(ValueKind::kUInt16);
    ui_->serialNumberEdit->Refresh(ValueKind::kInt32);
    ui_->productNameEdit->Refresh(ValueKind::kText);
}

void IdentityPage::DefaultAction()
{
    if (module_ == nullptr) {
        return;
    }
    if (!unlocked_) {
        const QByteArray password = ui_->passwordField->text().toLatin1();
        scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kPassword, ValueType::kUInt16, 2, {}, 0);
        if (scratchItem_.Write(password.constData(), ValueKind::kText, 2)) {
            SetInstanceReadOnly(false);
            ui_->passwordField->clear();
            unlocked_ = true;
        }
    }
    if (ParseRevision(ui_->revisionField->text(), revision_)) {
        const QByteArray hex = RevisionHex(revision_).toLatin1();
        scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kRevision, ValueType::kRaw, 2, {}, 0);
        scratchItem_.Write(hex.constData(), ValueKind::kText, 2);
    }
    ticks_->Pause(kRewriteSettleMs);
    ReadRevision();
}

void IdentityPage::Reset()
{
    resetItem_.Setup(module_, masterMacId_, kIdentityClass, 1, kResetService, ValueType::kByte, 1);
    if (!resetItem_.Execute("0", ValueKind::kText, 1)) {
        return;
    }
    const WaitCursor wait;
    SetInstanceReadOnly(true);
    unlocked_ = false;
    ticks_->Pause(kRestartMs);
    module_->Close();
    if (!module_->Open(allocationFlags_)) {
        ShowMessage(this, kOpenDeviceFailedMessage);
    }
    ui_->passwordField->clear();
    RefreshValues(true);
}

bool IdentityPage::ReadRevision()
{
    scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kRevision, ValueType::kRaw, 2, {}, 0);
    if (!scratchItem_.Read()) {
        return false;
    }
    scratchItem_.GetBytes(revision_.data(), revision_.size());
    ui_->revisionField->setText(RevisionText(revision_));
    return true;
}

void IdentityPage::SetInstanceReadOnly(bool readOnly)
{
    for (QLineEdit* field : {static_cast<QLineEdit*>(ui_->vendorIdEdit), static_cast<QLineEdit*>(ui_->deviceTypeEdit),
                             static_cast<QLineEdit*>(ui_->productCodeEdit), ui_->revisionField,
                             static_cast<QLineEdit*>(ui_->serialNumberEdit),
                             static_cast<QLineEdit*>(ui_->productNameEdit)}) {
        field->setReadOnly(readOnly);
    }
}

void IdentityPage::ShowStatus(const StatusBoxes& boxes)
{
    ui_->ownedCheck->setChecked(boxes.owned);
    ui_->configuredCheck->setChecked(boxes.configured);
    ui_->minorRecoverableCheck->setChecked(boxes.minorRecoverable);
    ui_->minorUnrecoverableCheck->setChecked(boxes.minorUnrecoverable);
    ui_->majorRecoverableCheck->setChecked(boxes.majorRecoverable);
    ui_->majorUnrecoverableCheck->setChecked(boxes.majorUnrecoverable);
}

void IdentityPage::ShowUInt16(QLineEdit* field, int instance, int attribute)
{
    scratchItem_.Setup(module_, kIdentityClass, instance, attribute, ValueType::kUInt16, 2, {}, 0);
    field->setText(scratchItem_.Read() ? QString::number(static_cast<std::uint16_t>(scratchItem_.GetInt16()))
                                       : QStringLiteral("Error"));
}

} // namespace orv::viewer
