#include "viewer/pages/SerialPage.h"

#include "ui_SerialPage.h"
#include "viewer/app/Messages.h"
#include "viewer/controls/InstanceSpin.h"
#include "viewer/controls/ValueCombo.h"
#include "viewer/controls/ValueEdit.h"
#include "viewer/model/ValueType.h"
#include "viewer/pages/RefreshSchedule.h"

#include <algorithm>
#include <span>
#include <string>
#include <tuple>
#include <utility>

namespace orv::viewer {
namespace {

constexpr int kEntryShortString = 5;
constexpr int kStreamInstance = 1;
constexpr int kStream = SerialPage::kStreamSection;
constexpr int kReceive = SerialPage::kReceiveSection;
constexpr int kTransmit = SerialPage::kTransmitSection;
constexpr int kStreamClass = SerialPage::kStreamClass;
constexpr int kReceiveClass = SerialPage::kReceiveClass;
constexpr int kTransmitClass = SerialPage::kTransmitClass;
// Receive conversion letters.
constexpr int kDecimalLetter = 'D';
constexpr int kDecimalLetterLower = 'd';
constexpr int kHexadecimalLetter = 'X';
// Transmit format bits.
constexpr int kFormatHexadecimal = 0x01;
constexpr int kFormatLeadingZeros = 0x80;
// A channel's "Data Bytes (in hex):" field: three lines of 32 digits, room for a 32-byte channel
// and more.
constexpr int kDataLines = 3;
constexpr int kDataColumns = 32;
// Without "Reset" the "Serial Status" frame encloses only its four boxes.
constexpr QSize kViewStatusFrameSize(135, 68);

// Bit fields: shown by the refresh, composed by the clicks.
constexpr BitBox kSerialStatusBits[] = {
    {"rxOverrunCheck", 0x01}, {"rxParityCheck", 0x02}, {"txOverrunCheck", 0x10}, {"txParityCheck", 0x20}};
constexpr BitBox kDelimiterModeBits[] = {{"listCheck", 0x01}, {"timeoutCheck", 0x02}, {"lengthCheck", 0x04}};
constexpr BitBox kReceiveModeBits[] = {
    {"receiveDataCheck", 0x01}, {"receivePreStringCheck", 0x02}, {"receivePostStringCheck", 0x04}};
constexpr BitBox kReceiveInPollBits[] = {{"receiveInPollCheck", 0x01}};
constexpr BitBox kEnabledBits[] = {{"enabledCheck", 0x01}};
constexpr BitBox kSyncBits[] = {{"syncCheck", 0x01}};
constexpr BitBox kTransmitModeBits[] = {{"transmitDataCheck", 0x01},
                                        {"string1BeforeCheck", 0x02},
                                        {"string2BeforeCheck", 0x04},
                                        {"string1AfterCheck", 0x08},
                                        {"string2AfterCheck", 0x10}};
constexpr BitBox kLeadingZerosBits[] = {{"leadingZerosCheck", kFormatLeadingZeros}};
constexpr BitBox kTransmitInPollBits[] = {{"transmitInPollCheck", 0x01}};

constexpr const char* kReceiveConversionButtons[] = {"receiveDecimalRadio", "receiveHexRadio"};
constexpr const char* kTransmitConversionButtons[] = {"transmitDecimalRadio", "transmitHexRadio"};

// The receive conversion is a letter: D or d decimal, anything else hexadecimal.
int ReceiveConversionEntry(std::uint32_t letter)
{
    return letter == kDecimalLetter || letter == kDecimalLetterLower ? 0 : 1;
}

// The transmit format's bit 0: hexadecimal when set.
int TransmitConversionEntry(std::uint32_t format)
{
    return (format & kFormatHexadecimal) != 0 ? 1 : 0;
}

constexpr Path Stream(int attribute)
{
    return {kStreamClass, kStreamInstance, attribute};
}
constexpr Path Receive(int attribute)
{
    return {kReceiveClass, kChosenInstance, attribute};
}
constexpr Path Transmit(int attribute)
{
    return {kTransmitClass, kChosenInstance, attribute};
}

// A channel's data bytes: as many as its data size says (0 when it cannot be read).
constexpr SizeSource kDataSize{10, ValueType::kByte, 1, false};

constexpr ComboEntry kBaudRates[] = {{"300", 300},     {"1200", 1200},   {"2400", 2400},   {"4800", 4800},
                                     {"9600", 9600},   {"19200", 19200}, {"38400", 38400}, {"57600", 57600}};
constexpr ComboEntry kDataBits[] = {{"7", 7}, {"8", 8}};
constexpr ComboEntry kParities[] = {{"None", 0}, {"Odd", 1}, {"Even", 2}, {"Mark", 3}, {"Space", 4}};
constexpr ComboEntry kStopBits[] = {{"1", 1}, {"2", 2}};
constexpr ComboEntry kFlowControls[] = {{"None", 0}, {"Xon/Xoff (Software)", 1}, {"CTS/RTS (Hardware)", 2}};
// The DeviceNet elementary data type codes SINT, INT, USINT, UINT, REAL and SHORT_STRING.
constexpr ComboEntry kDataTypes[] = {{"signed 8-bit integer", 0xC2},   {"signed 16-bit integer", 0xC3},
                                     {"unsigned 8-bit integer", 0xC6}, {"unsigned 16-bit integer", 0xC7},
                                     {"32-bit floating point", 0xCA},  {"short string", 0xDA}};

constexpr int kByte = ValueType::kByte;
constexpr int kString = ValueType::kShortString;

// The fields that show raw bytes in hex view: a byte as a number, and a short string.
constexpr Row ByteField(const char* field, Path path, unsigned refresh)
{
    return Control(field, path, kByte, 1, ValueKind::kByte, refresh).InHexView();
}
constexpr Row StringField(const char* field, Path path, unsigned refresh)
{
    return Control(field, path, kString, kVariableSize, ValueKind::kText, refresh).InHexView();
}

constexpr Row kFields[] = {
    // S E R I A L   S T R E A M
    Control("baudRateCombo", Stream(3), ValueType::kInt32, 4, ValueKind::kInt32, kStream, kBaudRates),
    Control("dataBitsCombo", Stream(4), kByte, 1, ValueKind::kByte, kStream, kDataBits),
    Control("parityCombo", Stream(5), kByte, 1, ValueKind::kByte, kStream, kParities),
    Control("stopBitsCombo", Stream(6), kByte, 1, ValueKind::kByte, kStream, kStopBits),
    Control("flowControlCombo", Stream(7), kByte, 1, ValueKind::kByte, kStream, kFlowControls),
    // A delimiter is a short string of its own length, so it is read by its length byte.
    StringField("preDelimiterEdit", Stream(11), kStream),
    StringField("postDelimiterEdit", Stream(12), kStream),
    ByteField("timeoutEdit", Stream(13), kStream),
    ByteField("lengthEdit", Stream(14), kStream),
    Control("pollProduceEdit", Stream(20), ValueType::kUInt16, 2, ValueKind::kUInt16, kStream).InHexView(),
    Control("pollConsumeEdit", Stream(21), ValueType::kUInt16, 2, ValueKind::kUInt16, kStream).InHexView(),
    Bits(kSerialStatusBits, Stream(15), kByte, 1, kStream),
    Bits(kDelimiterModeBits, Stream(10), kByte, 1, kStream),
    // S E R I A L   R E C E I V E
    Control("receiveDataTypeCombo", Receive(9), kByte, 1, ValueKind::kByte, kReceive, kDataTypes),
    Control("receiveDataEdit", Receive(3), ValueType::kRaw, 0, ValueKind::kRaw, kReceive).SizedBy(kDataSize),
    ByteField("receiveToggleEdit", Receive(4), kReceive),
    ByteField("receiveAckEdit", Receive(5), kReceive),
    ByteField("receiveDataSizeEdit", Receive(10), kReceive),
    ByteField("receiveWidthEdit", Receive(11), kReceive),
    ByteField("paddingEdit", Receive(14), kReceive),
    StringField("receivePreStringEdit", Receive(7), kReceive),
    StringField("receivePostStringEdit", Receive(8), kReceive),
    Bits(kReceiveInPollBits, Receive(15), kByte, 1, kReceive),
    Bits(kEnabledBits, Receive(16), kByte, 1, kReceive),
    Bits(kSyncBits, Receive(17), kByte, 1, kReceive),
    Choice(kReceiveConversionButtons, Receive(13), kByte, 1, &ReceiveConversionEntry, kReceive),
    Bits(kReceiveModeBits, Receive(6), kByte, 1, kReceive),
    // S E R I A L   T R A N S M I T
    Control("transmitDataTypeCombo", Transmit(9), kByte, 1, ValueKind::kByte, kTransmit, kDataTypes),
    Control("transmitDataEdit", Transmit(3), ValueType::kRaw, 0, ValueKind::kRaw, kTransmit).SizedBy(kDataSize),
    ByteField("transmitToggleEdit", Transmit(4), kTransmit),
    ByteField("transmitAckEdit", Transmit(5), kTransmit),
    ByteField("transmitDataSizeEdit", Transmit(10), kTransmit),
    ByteField("transmitWidthEdit", Transmit(11), kTransmit),
    ByteField("precisionEdit", Transmit(12), kTransmit),
    StringField("string1Edit", Transmit(7), kTransmit),
    StringField("string2Edit", Transmit(8), kTransmit),
    Bits(kLeadingZerosBits, Transmit(13), kByte, 1, kTransmit),
    Choice(kTransmitConversionButtons, Transmit(13), kByte, 1, &TransmitConversionEntry, kTransmit),
    Bits(kTransmitInPollBits, Transmit(15), kByte, 1, kTransmit),
    Bits(kTransmitModeBits, Transmit(6), kByte, 1, kTransmit),
};

void SetEditable(QLineEdit* field, bool editable)
{
    field->setReadOnly(!editable);
}

} // namespace

SerialPage::SerialPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kSerialInterface, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::SerialPage>()),
      module_(context.module), mode_(context.serialMode)
{
    ui_->setupUi(this);
    if (module_ == nullptr) {
        hide();
        return;
    }
    fields_ = std::make_unique<FieldTable>(*this, module_, kFields);
    fields_->SetSizedBind([this](const Row& row, ValueEdit& field, int instance, int size) {
        BindData(&field, row.path.classId == kReceiveClass ? ui_->receiveDataCut : ui_->transmitDataCut,
                 row.path.classId, instance, size, field.IsHeld());
    });
    const WaitCursor wait;
    ui_->setupTitle->show();
    // The labels that stand in for the Toggle and Acknowledge buttons in view mode.
    for (QLabel* label : {ui_->viewTitle, ui_->receiveToggleLabel, ui_->receiveAckLabel, ui_->transmitToggleLabel,
                          ui_->transmitAckLabel, ui_->receiveDataCut, ui_->transmitDataCut}) {
        label->hide();
    }
    for (const int section : {kStream, kReceive, kTransmit}) {
        fields_->Bind(static_cast<unsigned>(section), 1, true);
    }
    for (QAbstractButton* box : findChildren<QAbstractButton*>()) {
        box->setChecked(false);
    }
    for (QCheckBox* box : {ui_->rxParityCheck, ui_->txParityCheck, ui_->rxOverrunCheck, ui_->txOverrunCheck}) {
        box->setEnabled(false);
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
    // Room for the 64 digits of a 32-byte channel.
    for (ValueEdit* data : {ui_->receiveDataEdit, ui_->transmitDataEdit}) {
        data->SetLines(kDataLines, kDataColumns);
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
    return orv::viewer::TickCounter(PageCode::kSerialInterface);
}

void SerialPage::SetTickCounter(int value)
{
    orv::viewer::TickCounter(PageCode::kSerialInterface) = value;
}

void SerialPage::Refresh()
{
    if (!active_) {
        return;
    }
    if (const int section = NextSerialSection(orv::viewer::TickCounter(PageCode::kSerialInterface))) {
        RefreshSections(section);
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
        fields_->Refresh(kStream, kStreamInstance);
    }
    if (mask & kReceiveSection) {
        fields_->Refresh(kReceive, receive);
        if (mode_ == SerialMode::kSetup) {
            ApplyReceiveStringEditability();
            ApplyReceiveTypeEditability();
        }
    }
    if (mask & kTransmitSection) {
        fields_->Refresh(kTransmit, transmit);
        if (mode_ == SerialMode::kSetup) {
            ApplyTransmitStringEditability();
            ApplyTransmitTypeEditability();
        }
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
    // Its rows keep their height in the smaller frame: no margin above or below them.
    const QMargins margins = ui.statusLayout->contentsMargins();
    ui.statusLayout->setContentsMargins(margins.left(), 0, margins.right(), 0);
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
    const auto writeDelimiterMode = [this] {
        WriteByte(kStreamClass, kStreamInstance, 10, static_cast<int>(fields_->Compose(kDelimiterModeBits)));
    };
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
    const auto writeReceiveMode = [this] {
        WriteByte(kReceiveClass, ReceiveInstance(), 6, static_cast<int>(fields_->Compose(kReceiveModeBits)));
    };
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
    const std::tuple<QCheckBox*, int, std::span<const BitBox>> receiveFlags[] = {
        {ui.receiveInPollCheck, 15, kReceiveInPollBits}, {ui.enabledCheck, 16, kEnabledBits},
        {ui.syncCheck, 17, kSyncBits}};
    for (const auto& [box, attribute, bits] : receiveFlags) {
        connect(box, &QCheckBox::clicked, this, [this, attribute, bits] {
            WriteByte(kReceiveClass, ReceiveInstance(), attribute, static_cast<int>(fields_->Compose(bits)));
        });
    }
    connect(ui.receiveDataTypeCombo, &QComboBox::activated, this, [this] { ApplyReceiveTypeEditability(); });
    // The receive channel's Toggle belongs to the device: its button does nothing.
}

void SerialPage::ConnectTransmitActions()
{
    Ui::SerialPage& ui = *ui_;
    const auto writeTransmitMode = [this] {
        WriteByte(kTransmitClass, TransmitInstance(), 6, static_cast<int>(fields_->Compose(kTransmitModeBits)));
    };
    connect(ui.transmitDataCheck, &QCheckBox::clicked, this, writeTransmitMode);
    for (QCheckBox* box : {ui.string1BeforeCheck, ui.string1AfterCheck, ui.string2BeforeCheck, ui.string2AfterCheck}) {
        connect(box, &QCheckBox::clicked, this, [this, writeTransmitMode] {
            ApplyTransmitStringEditability();
            writeTransmitMode();
        });
    }
    connect(ui.transmitDecimalRadio, &QRadioButton::clicked, this,
            [this] { WriteTransmitFormat([](int value) { return value & kFormatLeadingZeros; }); });
    connect(ui.transmitHexRadio, &QRadioButton::clicked, this, [this] {
        WriteTransmitFormat([](int value) { return (value & kFormatLeadingZeros) | kFormatHexadecimal; });
    });
    connect(ui.leadingZerosCheck, &QCheckBox::clicked, this, [this] {
        const int leadingZeros = static_cast<int>(fields_->Compose(kLeadingZerosBits));
        WriteTransmitFormat([leadingZeros](int value) { return leadingZeros | (value & kFormatHexadecimal); });
    });
    connect(ui.transmitInPollCheck, &QCheckBox::clicked, this, [this] {
        WriteByte(kTransmitClass, TransmitInstance(), 15, static_cast<int>(fields_->Compose(kTransmitInPollBits)));
    });
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

void SerialPage::WriteTransmitFormat(const std::function<int(int value)>& change)
{
    const int instance = TransmitInstance();
    if (const auto value = ReadByte(kTransmitClass, instance, 13)) {
        WriteByte(kTransmitClass, instance, 13, change(*value));
    }
}

void SerialPage::ViewBytesInHex(bool on)
{
    hexView_ = on;
    fields_->SetHexView(on);
    // The stream fields take the new form at once, released; the channels at their next refresh.
    fields_->Bind(kStream, kStreamInstance, true);
}

} // namespace orv::viewer
