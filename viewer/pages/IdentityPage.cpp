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
constexpr int kPassword = 0;
constexpr int kRevision = 4;
} // namespace Attribute

// The page's refreshes: on the full ticks, and on every tick.
enum : unsigned { kFull = 1, kEveryTick = 2 };

constexpr Row kFields[] = {
    Text("classRevisionField", {kIdentityClass, 0, 1}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Text("maxInstanceField", {kIdentityClass, 0, 2}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Text("maxClassAttrField", {kIdentityClass, 0, 6}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Text("maxInstAttrField", {kIdentityClass, 0, 7}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Text("statusField", {kIdentityClass, 1, 5}, ValueType::kUInt16, 2, &DecimalText, kFull),
    Bits(IdentityPage::kStatusBits, {kIdentityClass, 1, 5}, ValueType::kUInt16, 2, kFull),
    Entry("stateList", {kIdentityClass, 1, 8}, ValueType::kByte, 1, &IdentityPage::StateEntry, kFull),
    Control("vendorIdEdit", {kIdentityClass, 1, 1}, ValueType::kUInt16, 2, ValueKind::kUInt16, kEveryTick),
    Control("deviceTypeEdit", {kIdentityClass, 1, 2}, ValueType::kUInt16, 2, ValueKind::kUInt16, kEveryTick),
    Control("productCodeEdit", {kIdentityClass, 1, 3}, ValueType::kUInt16, 2, ValueKind::kUInt16, kEveryTick),
    Control("serialNumberEdit", {kIdentityClass, 1, 6}, ValueType::kInt32, 4, ValueKind::kInt32, kEveryTick),
    // A short string of any length the node holds: a fixed size would cut a longer name short.
    Control("productNameEdit", {kIdentityClass, 1, 7}, ValueType::kShortString, kVariableSize, ValueKind::kText,
            kEveryTick),
};

} // namespace

IdentityPage::IdentityPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kIdentity, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::IdentityPage>()),
      module_(context.module), allocationFlags_(context.allocationFlags), masterMacId_(context.scnId),
      schedule_(PageCode::kIdentity, context.module)
{
    ui_->setupUi(this);
    connect(ui_->resetButton, &QPushButton::clicked, this, &IdentityPage::Reset);
    if (module_ == nullptr) {
        return;
    }
    fields_ = std::make_unique<FieldTable>(*this, module_, kFields);
    const WaitCursor wait;
    fields_->Bind(kEveryTick, 1, true);
    SetInstanceReadOnly(true);
    fields_->Refresh(kFull | kEveryTick, 1);
    ReadRevision();
    show();
}

IdentityPage::~IdentityPage() = default;

int& IdentityPage::TickCounter()
{
    return orv::viewer::TickCounter(PageCode::kIdentity);
}

int IdentityPage::StateEntry(std::uint32_t state)
{
    const int entry = static_cast<int>(state & 0x0F);
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
    if (!unlocked_ || !fields_) {
        return;
    }
    fields_->Refresh(schedule_.NextIsFull() ? kFull | kEveryTick : kEveryTick, 1);
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
    fields_->Refresh(kFull | kEveryTick, 1);
}

void IdentityPage::ReadRevision()
{
    scratchItem_.Setup(module_, kIdentityClass, 1, Attribute::kRevision, ValueType::kRaw, 2, {}, 0);
    if (!scratchItem_.Read()) {
        FieldTable::ShowUnread(*ui_->revisionField);
        return;
    }
    scratchItem_.GetBytes(revision_.data(), revision_.size());
    ui_->revisionField->setText(RevisionText(revision_));
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

} // namespace orv::viewer
