#include "viewer/pages/SerialPage.h"

#include "ui_SerialPage.h"
#include "viewer/app/Messages.h"
#include "viewer/controls/InstanceSpin.h"
#include "viewer/controls/ValueCombo.h"
#include "viewer/controls/ValueEdit.h"
#include "viewer/model/ValueType.h"

#include <algorithm>
#include <string>
#include <utility>

namespace orv::viewer {
namespace {

// Shared by every serial page of the process; not reset when a page opens.
int serialTickCounter = 0;

constexpr int kEntryShortString = 5;
constexpr int kStreamInstance = 1;
// Receive conversion letters.
constexpr int kDecimalLetter = 'D';
constexpr int kDecimalLetterLower = 'd';
constexpr int kHexadecimalLetter = 'X';
// Transmit format bits.
constexpr int kFormatHexadecimal = 0x01;
constexpr int kFormatLeadingZeros = 0x80;
// Without "Reset" the "Serial Status" frame encloses only its four boxes.
constexpr QSize kViewStatusFrameSize(135, 68);

const QStringList kBaudRateEntries{"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600"};
const QStringList kDataBitsEntries{"7", "8"};
const QStringList kParityEntries{"None", "Odd", "Even", "Mark", "Space"};
const QStringList kStopBitsEntries{"1", "2"};
const QStringList kFlowControlEntries{"None", "Xon/Xoff (Software)", "CTS/RTS (Hardware)"};
const QStringList kDataTypeEntries{"signed 8-bit integer",   "signed 16-bit integer", "unsigned 8-bit integer",
                                   "unsigned 16-bit integer", "32-bit floating point", "short string"};

void SetEditable(QLineEdit* field, bool editable)
{
    field->setReadOnly(!editable);
}

// Checks the first, the second or neither of two radio buttons.
void ShowChoice(QRadioButton* first, QRadioButton* second, int which)
{
    for (QRadioButton* button : {first, second}) {
        button->setAutoExclusive(false);
    }
    first->setChecked(which == 1);
    second->setChecked(which == 2);
    for (QRadioButton* button : {first, second}) {
        button->setAutoExclusive(true);
    }
}

} // namespace

SerialPage::SerialPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kSerialInterface, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::SerialPage>()),
      module_(context.module), mode_(context.serialMode), byteType_(ValueType::kByte),
      stringType_(ValueType::kShortString)
{
    ui_->setupUi(this);
    if (module_ == nullptr) {
        hide();
        return;
    }
    const WaitCursor wait;
    ui_->setupTitle->show();
    // The labels that stand in for the Toggle and Acknowledge buttons in view mode.
    for (QLabel* label : {ui_->viewTitle, ui_->receiveToggleLabel, ui_->receiveAckLabel, ui_->transmitToggleLabel,
                          ui_->transmitAckLabel, ui_->receiveDataCut, ui_->transmitDataCut}) {
        label->hide();
    }
    FillLists();
    BindStream();
    BindReceive(1, false);
    BindTransmit(1, false);
    for (QCheckBox* box : {ui_->receiveInPollCheck, ui_->enabledCheck, ui_->syncCheck, ui_->leadingZerosCheck,
                           ui_->transmitInPollCheck}) {
        box->setChecked(false);
    }
    ui_->receiveInstanceSpin->SetBuddy(ui_->receiveInstanceEdit);
    ui_->receiveInstanceSpin->SetRange(1, kChannels);
    ui_->receiveInstanceSpin->SetValue(1);
    ui_->transmitInstanceSpin->SetBuddy(ui_->transmitInstanceEdit);
    ui_->transmitInstanceSpin->SetRange(1, kChannels);
    ui_->transmitInstanceSpin->SetValue(1);
    for (QLineEdit* field : {ui_->receiveInstanceEdit, ui_->transmitInstanceEdit}) {
        field->setReadOnly(true);
    }
    for (ValueEdit* field : {ui_->preDelimiterEdit, ui_->postDelimiterEdit, ui_->receivePreStringEdit,
                             ui_->receivePostStringEdit, ui_->string1Edit, ui_->string2Edit}) {
        field->SetStringLimit(kMaxStringCharacters);
    }
    ConnectActions();
    active_ = true;
    RefreshSections(kAllSections);
    ApplyEditability();
    if (mode_ == SerialMode::kView) {
        ApplyViewMode();
    }
    show();
}

SerialPage::~SerialPage() = default;

int SerialPage::TickCounter()
{
    return serialTickCounter;
}

void SerialPage::SetTickCounter(int value)
{
    serialTickCounter = value;
}

void SerialPage::Refresh()
{
    if (!active_) {
        return;
    }
    int section = 0;
    switch (serialTickCounter) {
    case 5: section = kStreamSection; break;
    case 10: section = kReceiveSection; break;
    case 15: section = kTransmitSection; break;
    default: break;
    }
    if (section != 0) {
        RefreshSections(section);
        ++serialTickCounter;
    } else if (serialTickCounter > 15) {
        serialTickCounter = 1;
    } else {
        ++serialTickCounter;
    }
}

void SerialPage::FillLists()
{
    const std::pair<QComboBox*, const QStringList*> lists[] = {
        {ui_->baudRateCombo, &kBaudRateEntries},         {ui_->dataBitsCombo, &kDataBitsEntries},
        {ui_->parityCombo, &kParityEntries},             {ui_->stopBitsCombo, &kStopBitsEntries},
        {ui_->flowControlCombo, &kFlowControlEntries},   {ui_->receiveDataTypeCombo, &kDataTypeEntries},
        {ui_->transmitDataTypeCombo, &kDataTypeEntries},
    };
    for (const auto& [list, entries] : lists) {
        list->clear();
        list->addItems(*entries);
    }
}

void SerialPage::BindStream()
{
    const int c = kStreamClass;
    const int i = kStreamInstance;
    ui_->baudRateCombo->Bind(module_, c, i, 3, ValueType::kInt32, 4, ValueCombo::kBaudRateList, false);
    ui_->dataBitsCombo->Bind(module_, c, i, 4, ValueType::kByte, 1, 7, false);
    ui_->parityCombo->Bind(module_, c, i, 5, ValueType::kByte, 1, 0, false);
    ui_->stopBitsCombo->Bind(module_, c, i, 6, ValueType::kByte, 1, 1, false);
    ui_->flowControlCombo->Bind(module_, c, i, 7, ValueType::kByte, 1, 0, false);
    BindStreamFields(false, false);
    for (QCheckBox* box : {ui_->rxParityCheck, ui_->txParityCheck, ui_->rxOverrunCheck, ui_->txOverrunCheck}) {
        box->setChecked(false);
        box->setEnabled(false);
    }
}

void SerialPage::BindStreamFields(bool hex, bool hold)
{
    const int c = kStreamClass;
    const int i = kStreamInstance;
    // A delimiter is a short string of its own length, so it is read by its length byte.
    const int stringType = hex ? ValueType::kRaw : ValueType::kShortString;
    ui_->preDelimiterEdit->Bind(module_, c, i, 11, stringType, kVariableSize, hold);
    ui_->postDelimiterEdit->Bind(module_, c, i, 12, stringType, kVariableSize, hold);
    ui_->timeoutEdit->Bind(module_, c, i, 13, hex ? ValueType::kRaw : ValueType::kByte, 1, hold);
    ui_->lengthEdit->Bind(module_, c, i, 14, hex ? ValueType::kRaw : ValueType::kByte, 1, hold);
    ui_->pollProduceEdit->Bind(module_, c, i, 20, hex ? ValueType::kRaw : ValueType::kUInt16, 2, hold);
    ui_->pollConsumeEdit->Bind(module_, c, i, 21, hex ? ValueType::kRaw : ValueType::kUInt16, 2, hold);
}

void SerialPage::BindReceive(int instance, bool keepHold)
{
    const int c = kReceiveClass;
    const auto hold = [keepHold](const auto* control) { return keepHold && control->IsHeld(); };
    Ui::SerialPage& ui = *ui_;
    ui.receiveDataTypeCombo->Bind(module_, c, instance, 9, ValueType::kByte, 1, ValueCombo::kDataTypeList,
                                  hold(ui.receiveDataTypeCombo));
    ui.receiveToggleEdit->Bind(module_, c, instance, 4, byteType_, 1, hold(ui.receiveToggleEdit));
    ui.receiveAckEdit->Bind(module_, c, instance, 5, byteType_, 1, hold(ui.receiveAckEdit));
    ui.receivePreStringEdit->Bind(module_, c, instance, 7, stringType_, kVariableSize, hold(ui.receivePreStringEdit));
    ui.receivePostStringEdit->Bind(module_, c, instance, 8, stringType_, kVariableSize,
                                   hold(ui.receivePostStringEdit));
    ui.receiveDataSizeEdit->Bind(module_, c, instance, 10, byteType_, 1, hold(ui.receiveDataSizeEdit));
    ui.receiveWidthEdit->Bind(module_, c, instance, 11, byteType_, 1, hold(ui.receiveWidthEdit));
    ui.paddingEdit->Bind(module_, c, instance, 14, byteType_, 1, hold(ui.paddingEdit));
    if (!keepHold) {
        BindData(ui.receiveDataEdit, ui.receiveDataCut, c, instance, 1, false);
    }
}

void SerialPage::BindTransmit(int instance, bool keepHold)
{
    const int c = kTransmitClass;
    const auto hold = [keepHold](const auto* control) { return keepHold && control->IsHeld(); };
    Ui::SerialPage& ui = *ui_;
    ui.transmitDataTypeCombo->Bind(module_, c, instance, 9, ValueType::kByte, 1, ValueCombo::kDataTypeList,
                                   hold(ui.transmitDataTypeCombo));
    ui.transmitToggleEdit->Bind(module_, c, instance, 4, byteType_, 1, hold(ui.transmitToggleEdit));
    ui.transmitAckEdit->Bind(module_, c, instance, 5, byteType_, 1, hold(ui.transmitAckEdit));
    ui.string1Edit->Bind(module_, c, instance, 7, stringType_, kVariableSize, hold(ui.string1Edit));
    ui.string2Edit->Bind(module_, c, instance, 8, stringType_, kVariableSize, hold(ui.string2Edit));
    ui.transmitDataSizeEdit->Bind(module_, c, instance, 10, byteType_, 1, hold(ui.transmitDataSizeEdit));
    ui.transmitWidthEdit->Bind(module_, c, instance, 11, byteType_, 1, hold(ui.transmitWidthEdit));
    ui.precisionEdit->Bind(module_, c, instance, 12, byteType_, 1, hold(ui.precisionEdit));
    if (!keepHold) {
        BindData(ui.transmitDataEdit, ui.transmitDataCut, c, instance, 1, false);
    }
}

void SerialPage::BindData(ValueEdit* field, QLabel* cut, int classId, int instance, int size, bool hold)
{
    const int held = std::min(size, static_cast<int>(kValueBufferSize));
    field->Bind(module_, classId, instance, 3, ValueType::kRaw, held, hold);
    // No size (0, or one that cannot be read) shows no bytes, whatever the node holds.
    field->TakeFirstBytes(held < size || size == 0);
    const QString note = held < size ? QStringLiteral("first %1 of %2 bytes").arg(held).arg(size) : QString();
    cut->setText(note);
    cut->setVisible(!note.isEmpty());
    field->setToolTip(note);
}

void SerialPage::RefreshSections(int mask)
{
    if (!active_) {
        return;
    }
    const int receive = ReceiveInstance();
    const int transmit = TransmitInstance();
    if (mask & kStreamSection) {
        RefreshStream();
    }
    if (mask & kReceiveSection) {
        RefreshReceive(receive);
    }
    if (mask & kTransmitSection) {
        RefreshTransmit(transmit);
    }
}

void SerialPage::RefreshStream()
{
    Ui::SerialPage& ui = *ui_;
    ui.baudRateCombo->Refresh(ValueKind::kInt32);
    for (ValueCombo* list : {ui.dataBitsCombo, ui.parityCombo, ui.stopBitsCombo, ui.flowControlCombo}) {
        list->Refresh(ValueKind::kByte);
    }
    ui.preDelimiterEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    ui.postDelimiterEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    ui.timeoutEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kByte);
    ui.lengthEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kByte);
    ui.pollProduceEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kUInt16);
    ui.pollConsumeEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kUInt16);
    // A failed read leaves the status and delimiter boxes as they were.
    if (const auto status = ReadByte(kStreamClass, kStreamInstance, 15)) {
        ui.rxOverrunCheck->setChecked(*status & 0x01);
        ui.rxParityCheck->setChecked(*status & 0x02);
        ui.txOverrunCheck->setChecked(*status & 0x10);
        ui.txParityCheck->setChecked(*status & 0x20);
    }
    if (const auto delimiters = ReadByte(kStreamClass, kStreamInstance, 10)) {
        ui.listCheck->setChecked(*delimiters & 0x01);
        ui.timeoutCheck->setChecked(*delimiters & 0x02);
        ui.lengthCheck->setChecked(*delimiters & 0x04);
    }
}

void SerialPage::RefreshReceive(int instance)
{
    Ui::SerialPage& ui = *ui_;
    BindReceive(instance, true);
    const int size = ReadByte(kReceiveClass, instance, 10).value_or(0);
    BindData(ui.receiveDataEdit, ui.receiveDataCut, kReceiveClass, instance, size, ui.receiveDataEdit->IsHeld());
    ui.receiveDataTypeCombo->Refresh(ValueKind::kByte);
    ui.receiveDataEdit->Refresh(ValueKind::kRaw);
    const int byteKind = hexView_ ? ValueKind::kRaw : ValueKind::kByte;
    for (ValueEdit* field : {ui.receiveToggleEdit, ui.receiveAckEdit, ui.receiveDataSizeEdit, ui.receiveWidthEdit,
                             ui.paddingEdit}) {
        field->Refresh(byteKind);
    }
    ui.receivePreStringEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    ui.receivePostStringEdit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    // The channel's boxes and buttons are cleared when their read fails.
    const std::pair<QCheckBox*, int> flags[] = {
        {ui.receiveInPollCheck, 15}, {ui.enabledCheck, 16}, {ui.syncCheck, 17}};
    for (const auto& [box, attribute] : flags) {
        box->setChecked(ReadByte(kReceiveClass, instance, attribute).value_or(0) & 0x01);
    }
    const auto conversion = ReadByte(kReceiveClass, instance, 13);
    ShowChoice(ui.receiveDecimalRadio, ui.receiveHexRadio,
               !conversion ? 0 : (*conversion == kDecimalLetter || *conversion == kDecimalLetterLower) ? 1 : 2);
    const int mode = ReadByte(kReceiveClass, instance, 6).value_or(0);
    ui.receiveDataCheck->setChecked(mode & 0x01);
    ui.receivePreStringCheck->setChecked(mode & 0x02);
    ui.receivePostStringCheck->setChecked(mode & 0x04);
    if (mode_ == SerialMode::kSetup) {
        ApplyReceiveStringEditability();
        ApplyReceiveTypeEditability();
    }
}

void SerialPage::RefreshTransmit(int instance)
{
    Ui::SerialPage& ui = *ui_;
    BindTransmit(instance, true);
    const int size = ReadByte(kTransmitClass, instance, 10).value_or(0);
    BindData(ui.transmitDataEdit, ui.transmitDataCut, kTransmitClass, instance, size, ui.transmitDataEdit->IsHeld());
    ui.transmitDataTypeCombo->Refresh(ValueKind::kByte);
    ui.transmitDataEdit->Refresh(ValueKind::kRaw);
    const int byteKind = hexView_ ? ValueKind::kRaw : ValueKind::kByte;
    for (ValueEdit* field : {ui.transmitToggleEdit, ui.transmitAckEdit, ui.transmitDataSizeEdit,
                             ui.transmitWidthEdit, ui.precisionEdit}) {
        field->Refresh(byteKind);
    }
    ui.string1Edit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    ui.string2Edit->Refresh(hexView_ ? ValueKind::kRaw : ValueKind::kText);
    const auto format = ReadByte(kTransmitClass, instance, 13);
    ui.leadingZerosCheck->setChecked(format.value_or(0) & kFormatLeadingZeros);
    ShowChoice(ui.transmitDecimalRadio, ui.transmitHexRadio,
               !format ? 0 : (*format & kFormatHexadecimal) ? 2 : 1);
    ui.transmitInPollCheck->setChecked(ReadByte(kTransmitClass, instance, 15).value_or(0) & 0x01);
    const int mode = ReadByte(kTransmitClass, instance, 6).value_or(0);
    ui.transmitDataCheck->setChecked(mode & 0x01);
    ui.string1BeforeCheck->setChecked(mode & 0x02);
    ui.string2BeforeCheck->setChecked(mode & 0x04);
    ui.string1AfterCheck->setChecked(mode & 0x08);
    ui.string2AfterCheck->setChecked(mode & 0x10);
    if (mode_ == SerialMode::kSetup) {
        ApplyTransmitStringEditability();
        ApplyTransmitTypeEditability();
    }
}

void SerialPage::ApplyEditability()
{
    Ui::SerialPage& ui = *ui_;
    ApplyDelimiterEditability();
    SetEditable(ui.lengthEdit, ui.lengthCheck->isChecked());
    SetEditable(ui.timeoutEdit, ui.timeoutCheck->isChecked());
    ApplyReceiveStringEditability();
    ApplyReceiveTypeEditability();
    ApplyTransmitStringEditability();
    ApplyTransmitTypeEditability();
    for (QLineEdit* field : std::initializer_list<QLineEdit*>{
             ui.pollProduceEdit, ui.pollConsumeEdit, ui.receiveDataEdit, ui.receiveToggleEdit, ui.receiveAckEdit,
             ui.transmitToggleEdit, ui.transmitAckEdit, ui.receiveInstanceEdit, ui.transmitInstanceEdit}) {
        SetEditable(field, false);
    }
    SetEditable(ui.paddingEdit, true);
}

void SerialPage::ApplyDelimiterEditability()
{
    SetEditable(ui_->preDelimiterEdit, ui_->listCheck->isChecked());
    SetEditable(ui_->postDelimiterEdit, ui_->listCheck->isChecked());
}

void SerialPage::ApplyReceiveStringEditability()
{
    SetEditable(ui_->receivePreStringEdit, ui_->receivePreStringCheck->isChecked());
    SetEditable(ui_->receivePostStringEdit, ui_->receivePostStringCheck->isChecked());
}

void SerialPage::ApplyReceiveTypeEditability()
{
    const bool shortString = ui_->receiveDataTypeCombo->currentIndex() == kEntryShortString;
    SetEditable(ui_->receiveDataSizeEdit, shortString);
    SetEditable(ui_->receiveWidthEdit, !shortString);
}

void SerialPage::ApplyTransmitStringEditability()
{
    Ui::SerialPage& ui = *ui_;
    SetEditable(ui.string1Edit, ui.string1BeforeCheck->isChecked() || ui.string1AfterCheck->isChecked());
    SetEditable(ui.string2Edit, ui.string2BeforeCheck->isChecked() || ui.string2AfterCheck->isChecked());
}

void SerialPage::ApplyTransmitTypeEditability()
{
    Ui::SerialPage& ui = *ui_;
    const bool shortString = ui.transmitDataTypeCombo->currentIndex() == kEntryShortString;
    SetEditable(ui.transmitDataSizeEdit, shortString);
    SetEditable(ui.transmitWidthEdit, !shortString);
    SetEditable(ui.precisionEdit, !shortString);
    // Cut data bytes cannot be written whole.
    SetEditable(ui.transmitDataEdit, !ui.transmitDataCut->isVisibleTo(this));
}

void SerialPage::ApplyViewMode()
{
    Ui::SerialPage& ui = *ui_;
    for (ValueCombo* list : findChildren<ValueCombo*>()) {
        list->setEnabled(false);
    }
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        field->setReadOnly(true);
    }
    for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
             ui.rxParityCheck, ui.txParityCheck, ui.rxOverrunCheck, ui.txOverrunCheck, ui.receiveInPollCheck,
             ui.enabledCheck, ui.syncCheck, ui.leadingZerosCheck, ui.transmitInPollCheck, ui.receiveDataCheck,
             ui.receivePreStringCheck, ui.receivePostStringCheck, ui.transmitDataCheck, ui.string1BeforeCheck,
             ui.string1AfterCheck, ui.string2BeforeCheck, ui.string2AfterCheck, ui.listCheck, ui.lengthCheck,
             ui.timeoutCheck, ui.receiveDecimalRadio, ui.receiveHexRadio, ui.transmitDecimalRadio,
             ui.transmitHexRadio}) {
        box->setEnabled(false);
    }
    ui.resetButton->hide();
    ui.statusFrame->setFixedSize(kViewStatusFrameSize);
    ui.setupTitle->hide();
    ui.viewTitle->show();
    for (QPushButton* button :
         {ui.receiveToggleButton, ui.receiveAckButton, ui.transmitToggleButton, ui.transmitAckButton}) {
        button->hide();
    }
    for (QLabel* label : {ui.receiveToggleLabel, ui.receiveAckLabel, ui.transmitToggleLabel, ui.transmitAckLabel}) {
        label->show();
    }
}

int SerialPage::ComposeDelimiterMode() const
{
    return (ui_->listCheck->isChecked() ? 1 : 0) + (ui_->timeoutCheck->isChecked() ? 2 : 0) +
           (ui_->lengthCheck->isChecked() ? 4 : 0);
}

int SerialPage::ComposeReceiveMode() const
{
    return (ui_->receiveDataCheck->isChecked() ? 1 : 0) + (ui_->receivePreStringCheck->isChecked() ? 2 : 0) +
           (ui_->receivePostStringCheck->isChecked() ? 4 : 0);
}

int SerialPage::ComposeTransmitMode() const
{
    const Ui::SerialPage& ui = *ui_;
    return (ui.transmitDataCheck->isChecked() ? 1 : 0) + (ui.string1BeforeCheck->isChecked() ? 2 : 0) +
           (ui.string2BeforeCheck->isChecked() ? 4 : 0) + (ui.string1AfterCheck->isChecked() ? 8 : 0) +
           (ui.string2AfterCheck->isChecked() ? 16 : 0);
}

std::optional<std::uint8_t> SerialPage::ReadByte(int classId, int instance, int attribute)
{
    scratchItem_.Setup(module_, classId, instance, attribute, ValueType::kByte, 1, {}, 0);
    if (!scratchItem_.Read()) {
        return std::nullopt;
    }
    return scratchItem_.GetByte();
}

bool SerialPage::WriteByte(int classId, int instance, int attribute, int value)
{
    scratchItem_.Setup(module_, classId, instance, attribute, ValueType::kByte, 1, {}, 0);
    const std::string text = std::to_string(value);
    return scratchItem_.Write(text.c_str(), ValueKind::kText, 1);
}

int SerialPage::ReceiveInstance() const
{
    return ui_->receiveInstanceSpin->Value();
}

int SerialPage::TransmitInstance() const
{
    return ui_->transmitInstanceSpin->Value();
}

void SerialPage::ConnectActions()
{
    ConnectStreamActions();
    ConnectReceiveActions();
    ConnectTransmitActions();
    connect(ui_->hexViewCheck, &QCheckBox::clicked, this, &SerialPage::ViewBytesInHex);
    for (ValueEdit* field : findChildren<ValueEdit*>()) {
        connect(field, &ValueEdit::Entered, ui_->statusText, &QLabel::setText);
    }
}

void SerialPage::ConnectStreamActions()
{
    Ui::SerialPage& ui = *ui_;
    const auto writeDelimiterMode = [this] { WriteByte(kStreamClass, kStreamInstance, 10, ComposeDelimiterMode()); };
    connect(ui.listCheck, &QCheckBox::clicked, this, [this, writeDelimiterMode] {
        ApplyDelimiterEditability();
        writeDelimiterMode();
    });
    connect(ui.lengthCheck, &QCheckBox::clicked, this, [this, writeDelimiterMode](bool checked) {
        SetEditable(ui_->lengthEdit, checked);
        writeDelimiterMode();
    });
    connect(ui.timeoutCheck, &QCheckBox::clicked, this, [this, writeDelimiterMode](bool checked) {
        SetEditable(ui_->timeoutEdit, checked);
        writeDelimiterMode();
    });
    connect(ui.resetButton, &QPushButton::clicked, this, [this] { WriteByte(kStreamClass, kStreamInstance, 15, 0); });
}

void SerialPage::ConnectReceiveActions()
{
    Ui::SerialPage& ui = *ui_;
    connect(ui.receiveAckButton, &QPushButton::clicked, this,
            [this] { ToggleBit0(kReceiveClass, ReceiveInstance(), 5, ui_->receiveAckEdit); });
    const auto writeReceiveMode = [this] { WriteByte(kReceiveClass, ReceiveInstance(), 6, ComposeReceiveMode()); };
    connect(ui.receiveDataCheck, &QCheckBox::clicked, this, writeReceiveMode);
    for (QCheckBox* box : {ui.receivePreStringCheck, ui.receivePostStringCheck}) {
        connect(box, &QCheckBox::clicked, this, [this, writeReceiveMode] {
            ApplyReceiveStringEditability();
            writeReceiveMode();
        });
    }
    connect(ui.receiveDecimalRadio, &QRadioButton::clicked, this,
            [this] { WriteByte(kReceiveClass, ReceiveInstance(), 13, kDecimalLetter); });
    connect(ui.receiveHexRadio, &QRadioButton::clicked, this,
            [this] { WriteByte(kReceiveClass, ReceiveInstance(), 13, kHexadecimalLetter); });
    const std::pair<QCheckBox*, int> receiveFlags[] = {
        {ui.receiveInPollCheck, 15}, {ui.enabledCheck, 16}, {ui.syncCheck, 17}};
    for (const auto& [box, attribute] : receiveFlags) {
        connect(box, &QCheckBox::clicked, this,
                [this, attribute](bool checked) {
                    WriteByte(kReceiveClass, ReceiveInstance(), attribute, checked ? 1 : 0);
                });
    }
    connect(ui.receiveDataTypeCombo, &QComboBox::activated, this, [this] { ApplyReceiveTypeEditability(); });
    // The receive channel's Toggle belongs to the device: its button does nothing.
}

void SerialPage::ConnectTransmitActions()
{
    Ui::SerialPage& ui = *ui_;
    const auto writeTransmitMode = [this] { WriteByte(kTransmitClass, TransmitInstance(), 6, ComposeTransmitMode()); };
    connect(ui.transmitDataCheck, &QCheckBox::clicked, this, writeTransmitMode);
    for (QCheckBox* box : {ui.string1BeforeCheck, ui.string1AfterCheck, ui.string2BeforeCheck, ui.string2AfterCheck}) {
        connect(box, &QCheckBox::clicked, this, [this, writeTransmitMode] {
            ApplyTransmitStringEditability();
            writeTransmitMode();
        });
    }
    connect(ui.transmitDecimalRadio, &QRadioButton::clicked, this, [this] {
        WriteTransmitFormat([](int value, bool) { return value & kFormatLeadingZeros; });
    });
    connect(ui.transmitHexRadio, &QRadioButton::clicked, this, [this] {
        WriteTransmitFormat([](int value, bool) { return (value & kFormatLeadingZeros) | kFormatHexadecimal; });
    });
    connect(ui.leadingZerosCheck, &QCheckBox::clicked, this, [this] {
        WriteTransmitFormat([](int value, bool leadingZeros) {
            return (leadingZeros ? kFormatLeadingZeros : 0) + (value & kFormatHexadecimal);
        });
    });
    connect(ui.transmitInPollCheck, &QCheckBox::clicked, this,
            [this](bool checked) { WriteByte(kTransmitClass, TransmitInstance(), 15, checked ? 1 : 0); });
    connect(ui.transmitToggleButton, &QPushButton::clicked, this,
            [this] { ToggleBit0(kTransmitClass, TransmitInstance(), 4, ui_->transmitToggleEdit); });
    connect(ui.transmitDataTypeCombo, &QComboBox::activated, this, [this] { ApplyTransmitTypeEditability(); });
    // The transmit channel's Acknowledge belongs to the device: its button does nothing.
}

void SerialPage::ToggleBit0(int classId, int instance, int attribute, ValueEdit* field)
{
    const auto value = ReadByte(classId, instance, attribute);
    if (!value) {
        return;
    }
    const int next = (*value & 0x01) ? 0 : 1;
    if (WriteByte(classId, instance, attribute, next)) {
        field->setText(QString::number(next));
    }
}

void SerialPage::WriteTransmitFormat(int (*change)(int value, bool leadingZeros))
{
    const int instance = TransmitInstance();
    if (const auto value = ReadByte(kTransmitClass, instance, 13)) {
        WriteByte(kTransmitClass, instance, 13, change(*value, ui_->leadingZerosCheck->isChecked()));
    }
}

void SerialPage::ViewBytesInHex(bool on)
{
    BindStreamFields(on, false);
    byteType_ = on ? ValueType::kRaw : ValueType::kByte;
    stringType_ = on ? ValueType::kRaw : ValueType::kShortString;
    hexView_ = on;
}

} // namespace orv::viewer
