// The serial interface page on the offscreen platform, driven as a user drives it: on the built
// driver library with the simulated Brelin (line settings, channels, view mode, hex view, refused
// strings), end to end through the device's serial line, and on a scripted device for the refresh
// schedule, the editability rules and values the simulated Brelin never holds.

#include "tests/viewer/DeviceHost.h"
#include "tests/viewer/ScriptedDriver.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/app/MainWindow.h"
#include "viewer/controls/InstanceSpin.h"
#include "viewer/controls/ValueCombo.h"
#include "viewer/controls/ValueEdit.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/model/ValueConversions.h"
#include "viewer/pages/SerialPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <map>
#include <set>
#include <tuple>

using namespace orv::viewer;
using orv::viewer::test::CallsOf;
using orv::viewer::test::DeviceHost;
using orv::viewer::test::Modals;
using orv::viewer::test::PutReply;
using orv::viewer::test::TableDevice;
using orv::viewer::test::ViewerEnvironment;
namespace dispid = orv::automation::dispid;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kNode = 63;

// The value of an attribute of the open node as hex digits; size -1 for a short string.
QString ReadHex(Module* module, int cls, int inst, int attr, int size = 1)
{
    AttributeItem item;
    item.Setup(module, cls, inst, attr, ValueType::kRaw, size, {}, 0);
    std::string text;
    return item.Read() && item.Format(text, -1) ? QString::fromStdString(text) : QStringLiteral("(no answer)");
}

template <class T>
T* Find(QWidget& page, const char* name)
{
    T* widget = page.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        qFatal("no %s on the page", name);
    }
    return widget;
}

ValueEdit* Field(QWidget& page, const char* name) { return Find<ValueEdit>(page, name); }
QCheckBox* Box(QWidget& page, const char* name) { return Find<QCheckBox>(page, name); }

// The user picks an entry of a list.
void Choose(QWidget& page, const char* list, int entry)
{
    auto* combo = Find<ValueCombo>(page, list);
    combo->setCurrentIndex(entry);
    emit combo->activated(entry);
}

// The user types `text` over a field's contents and presses Enter.
void Type(QWidget& page, const char* field, const QString& text)
{
    ValueEdit* edit = Field(page, field);
    edit->setFocus();
    orv::viewer::test::Type(edit, text);
}

// Runs one tick with the schedule standing at `counter`: 5 refreshes the stream section, 10 the
// receive section, 15 the transmit section.
void TickAt(SerialPage& page, int counter)
{
    SerialPage::SetTickCounter(counter);
    page.Tick();
}

// A scripted device holding the stream and channel values these tests start from.
struct SerialDevice : TableDevice {
    SerialDevice()
    {
        values = {
            {{64, 1, 3}, {0x80, 0x25, 0, 0}}, {{64, 1, 10}, {0x03}}, {{64, 1, 11}, {0x03, 'a', 'b', 'c'}},
            {{64, 1, 13}, {0x0A}},            {{64, 1, 20}, {0x2C, 0x01}}, {{65, 1, 9}, {0xDA}},
            {{65, 1, 10}, {0x04}},            {{65, 1, 3}, {'w', 'x', 'y', 'z'}}, {{66, 1, 9}, {0xC7}},
            {{66, 1, 10}, {0x02}},            {{66, 1, 3}, {0x34, 0x12}},
        };
    }
};

} // namespace

class SerialPageTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        environment_ = std::make_unique<ViewerEnvironment>();
        QVERIFY(environment_->Registered());
        modals_ = std::make_unique<Modals>();
    }
    void cleanup()
    {
        QCOMPARE(modals_->Take(), QStringList());
        modals_.reset();
        environment_.reset();
    }

    void lineSettingsReachTheDevice();
    void channelInstancesAndModeBits();
    void stringsLongerThanEightAreRefused();
    void viewModeChangesNothing();
    void hexViewShowsTheRawBytes();
    void dataBeyondTheValueBufferIsCut();
    void failedReadsShowNoOldValue();
    void scheduleRefreshesOneSectionPerTick();
    void heldControlsKeepTheirHoldAcrossRebinds();
    void editabilityRules();
    void endToEndThroughTheSerialLine();

private:
    std::unique_ptr<MainWindow> OpenNode(const std::string& profile = {})
    {
        if (!profile.empty()) {
            environment_->WriteProfile(profile);
        }
        auto window = std::make_unique<MainWindow>(
            nullptr, [this](std::string& why) { return environment_->CountedDriver(why); });
        window->show();
        if (!window->ChooseNode(kNode, Allocation::kExplicit)) {
            qFatal("node %d did not open", kNode);
        }
        return window;
    }

    SerialPage* OpenPage(MainWindow& window, int mode)
    {
        window.Action(mode == SerialMode::kView ? Command::kViewSerialInterface : Command::kSetupSerialInterface)
            ->trigger();
        return qobject_cast<SerialPage*>(window.CurrentPage());
    }

    std::size_t Writes() const
    {
        return static_cast<std::size_t>(CallsOf(*environment_->calls, {dispid::kDNSetAttribute}).size());
    }

    std::unique_ptr<ViewerEnvironment> environment_;
    std::unique_ptr<Modals> modals_;
};

void SerialPageTest::lineSettingsReachTheDevice()
{
    auto window = OpenNode();
    OpenPage(*window, SerialMode::kSetup);
    const QSize size = window->size();
    SerialPage* page = OpenPage(*window, SerialMode::kSetup);
    QVERIFY(page != nullptr);
    QCOMPARE(window->size(), size); // the page it replaced left the window first
    QCOMPARE(page->TimerId(), 0x203);
    QCOMPARE(page->PeriodMs(), 100);
    QVERIFY(page->TimerActive());
    QCOMPARE(Find<ValueCombo>(*page, "baudRateCombo")->currentText(), QStringLiteral("9600"));
    QCOMPARE(Field(*page, "postDelimiterEdit")->text(), QStringLiteral("\r"));
    QVERIFY(!Find<QLabel>(*page, "viewTitle")->isVisibleTo(page));

    Module* module = window->DeviceModule();
    const struct {
        std::function<void()> action;
        int attribute;
        int size;
        const char* value; // the device's bytes afterwards
    } rows[] = {
        {[&] { Choose(*page, "baudRateCombo", 6); }, 3, 4, "00960000"},
        {[&] { Choose(*page, "dataBitsCombo", 0); }, 4, 1, "07"},
        {[&] { Choose(*page, "parityCombo", 4); }, 5, 1, "04"},
        {[&] { Choose(*page, "stopBitsCombo", 1); }, 6, 1, "02"},
        {[&] { Choose(*page, "flowControlCombo", 2); }, 7, 1, "02"},
        {[&] { Box(*page, "lengthCheck")->click(); }, 10, 1, "07"},
        {[&] { Type(*page, "preDelimiterEdit", "<<"); }, 11, -1, "023C3C"},
        {[&] { Type(*page, "postDelimiterEdit", ">"); }, 12, -1, "013E"},
        {[&] { Type(*page, "timeoutEdit", "20"); }, 13, 1, "14"},
        {[&] { Type(*page, "lengthEdit", "12"); }, 14, 1, "0C"},
        {[&] { Box(*page, "timeoutCheck")->click(); }, 10, 1, "05"},
    };
    for (const auto& row : rows) {
        row.action();
        QCOMPARE(ReadHex(module, 64, 1, row.attribute, row.size), QString::fromLatin1(row.value));
    }
    QVERIFY(!Field(*page, "lengthEdit")->isReadOnly());
    QVERIFY(Field(*page, "timeoutEdit")->isReadOnly());

    // The next refresh of the stream section shows what the device holds.
    TickAt(*page, 5);
    const struct {
        const char* list;
        const char* text;
    } lists[] = {{"baudRateCombo", "38400"}, {"dataBitsCombo", "7"}, {"parityCombo", "Space"},
                 {"stopBitsCombo", "2"}, {"flowControlCombo", "CTS/RTS (Hardware)"}};
    for (const auto& list : lists) {
        QCOMPARE(Find<ValueCombo>(*page, list.list)->currentText(), QString::fromLatin1(list.text));
    }
    QCOMPARE(Field(*page, "preDelimiterEdit")->text(), QStringLiteral("<<"));
    QCOMPARE(Field(*page, "timeoutEdit")->text(), QStringLiteral("20"));
    QCOMPARE(Field(*page, "pollProduceEdit")->text(), QStringLiteral("17"));
    QVERIFY(Box(*page, "listCheck")->isChecked());
    QVERIFY(!Box(*page, "timeoutCheck")->isChecked());
    QVERIFY(Box(*page, "lengthCheck")->isChecked());
}

void SerialPageTest::channelInstancesAndModeBits()
{
    auto window = OpenNode();
    SerialPage* page = OpenPage(*window, SerialMode::kSetup);
    QVERIFY(page != nullptr);
    auto* receiveSpin = Find<InstanceSpin>(*page, "receiveInstanceSpin");
    auto* transmitSpin = Find<InstanceSpin>(*page, "transmitInstanceSpin");
    QTest::keyClick(receiveSpin, Qt::Key_Right);
    QTest::keyClick(receiveSpin, Qt::Key_Right);
    QCOMPARE(Find<QLineEdit>(*page, "receiveInstanceEdit")->text(), QStringLiteral("3"));
    Find<QToolButton>(*transmitSpin, "down")->click(); // 1 wraps round to 8
    QCOMPARE(Find<QLineEdit>(*page, "transmitInstanceEdit")->text(), QStringLiteral("8"));
    for (int step = 0; step < 8; ++step) {
        transmitSpin->Step(1);
    }
    QCOMPARE(transmitSpin->Value(), 8); // 8 to 1 and round again

    // A click acts on the new instance at once, before the section shows it; the boxes still show
    // instance 1 until the next refresh.
    Module* module = window->DeviceModule();
    const struct {
        std::function<void()> action;
        int cls;
        int inst;
        int attribute;
        const char* value;
    } rows[] = {
        {[&] { Box(*page, "receivePreStringCheck")->click(); }, 65, 3, 6, "03"},
        {[&] { Box(*page, "receiveDataCheck")->click(); }, 65, 3, 6, "02"},
        {[&] { Find<QRadioButton>(*page, "receiveHexRadio")->click(); }, 65, 3, 13, "58"},
        {[&] { Box(*page, "syncCheck")->click(); }, 65, 3, 17, "01"},
        {[&] { Find<QPushButton>(*page, "receiveAckButton")->click(); }, 65, 3, 5, "01"},
        {[&] { TickAt(*page, 15); }, 66, 8, 6, "01"}, // the transmit section shows instance 8
        {[&] { Box(*page, "string2BeforeCheck")->click(); }, 66, 8, 6, "05"},
        {[&] { Box(*page, "string1AfterCheck")->click(); }, 66, 8, 6, "0D"},
        {[&] { Box(*page, "leadingZerosCheck")->click(); }, 66, 8, 13, "80"},
        {[&] { Find<QRadioButton>(*page, "transmitHexRadio")->click(); }, 66, 8, 13, "81"},
        {[&] { Find<QRadioButton>(*page, "transmitDecimalRadio")->click(); }, 66, 8, 13, "80"},
        {[&] { Box(*page, "transmitInPollCheck")->click(); }, 66, 8, 15, "01"},
    };
    for (const auto& row : rows) {
        row.action();
        QCOMPARE(ReadHex(module, row.cls, row.inst, row.attribute), QString::fromLatin1(row.value));
    }
    QCOMPARE(Field(*page, "receiveAckEdit")->text(), QStringLiteral("1"));
    QCOMPARE(ReadHex(module, 65, 1, 6), QStringLiteral("01")); // instance 1 untouched
    QCOMPARE(ReadHex(module, 66, 1, 13), QStringLiteral("00"));
    const std::size_t writes = Writes();
    Find<QPushButton>(*page, "receiveToggleButton")->click(); // the device's own: nothing happens
    Find<QPushButton>(*page, "transmitAckButton")->click();
    QCOMPARE(Writes(), writes);

    TickAt(*page, 10);
    TickAt(*page, 15);
    QVERIFY(Box(*page, "receivePreStringCheck")->isChecked());
    QVERIFY(!Box(*page, "receiveDataCheck")->isChecked());
    QVERIFY(Find<QRadioButton>(*page, "receiveHexRadio")->isChecked());
    QVERIFY(Box(*page, "syncCheck")->isChecked());
    QVERIFY(!Box(*page, "enabledCheck")->isChecked());
    QVERIFY(!Field(*page, "receivePreStringEdit")->isReadOnly());
    QVERIFY(Field(*page, "receivePostStringEdit")->isReadOnly());
    QVERIFY(Box(*page, "string2BeforeCheck")->isChecked() && Box(*page, "string1AfterCheck")->isChecked());
    QVERIFY(Box(*page, "leadingZerosCheck")->isChecked());
    QVERIFY(Find<QRadioButton>(*page, "transmitDecimalRadio")->isChecked());
    QVERIFY(!Field(*page, "string1Edit")->isReadOnly() && !Field(*page, "string2Edit")->isReadOnly());
    QCOMPARE(Field(*page, "receiveDataSizeEdit")->text(), QStringLiteral("8"));
}

void SerialPageTest::stringsLongerThanEightAreRefused()
{
    auto window = OpenNode();
    SerialPage* page = OpenPage(*window, SerialMode::kSetup);
    QVERIFY(page != nullptr);
    auto* status = Find<QLabel>(*page, "statusText");
    const QString refused = QStringLiteral("Not written: a string of at most 8 characters is expected.");
    const std::string seventy(70, 'x'); // beyond the value buffer too
    const struct {
        bool hex;
        const char* field;
        const char* text;
        bool written;
    } rows[] = {
        {false, "preDelimiterEdit", "123456789", false},
        {false, "preDelimiterEdit", "12345678", true},
        {false, "postDelimiterEdit", seventy.c_str(), false},
        {true, "preDelimiterEdit", "09414243444546474849", false},
        {true, "preDelimiterEdit", "084142434445464748", true},
    };
    for (const auto& row : rows) {
        if (page->HexView() != row.hex) {
            Box(*page, "hexViewCheck")->click();
        }
        const std::size_t writes = Writes();
        Type(*page, row.field, QString::fromLatin1(row.text));
        QCOMPARE(Writes(), writes + (row.written ? 1 : 0));
        QCOMPARE(status->text(), row.written ? QString() : refused);
        // A refused text stays for the user to correct; the timer leaves it alone.
        QCOMPARE(Field(*page, row.field)->IsHeld(), !row.written);
        page->RefreshSections(SerialPage::kStreamSection);
        QCOMPARE(Field(*page, row.field)->text(), QString::fromLatin1(row.text));
    }
    // The channel strings have the same limit.
    Box(*page, "receivePreStringCheck")->click();
    const std::size_t writes = Writes();
    Type(*page, "receivePreStringEdit", QStringLiteral("ABCDEFGHI"));
    QCOMPARE(Writes(), writes);
    QCOMPARE(status->text(), refused);
}

void SerialPageTest::viewModeChangesNothing()
{
    auto window = OpenNode();
    SerialPage* page = OpenPage(*window, SerialMode::kView);
    QVERIFY(page != nullptr);
    QCOMPARE(page->Mode(), SerialMode::kView);
    QVERIFY(page->TimerActive());
    QVERIFY(Find<QLabel>(*page, "viewTitle")->isVisibleTo(page));
    QVERIFY(!Find<QLabel>(*page, "setupTitle")->isVisibleTo(page));
    QVERIFY(!Find<QPushButton>(*page, "resetButton")->isVisibleTo(page));
    auto* statusFrame = Find<QGroupBox>(*page, "statusFrame");
    QCOMPARE(statusFrame->size(), QSize(135, 68));
    // The frame encloses its rows whole: nothing of "FIFO Overrun" is cut off.
    QVERIFY2(statusFrame->layout()->minimumSize().height() <= statusFrame->height(),
             qPrintable(QString::number(statusFrame->layout()->minimumSize().height())));
    for (QWidget* part : statusFrame->findChildren<QWidget*>()) {
        if (part->isVisibleTo(page)) {
            QVERIFY2(part->geometry().bottom() < statusFrame->height() - 1, qPrintable(part->objectName()));
            QVERIFY2(part->height() >= part->minimumSizeHint().height(), qPrintable(part->objectName()));
        }
    }
    for (const char* name : {"receiveToggle", "receiveAck", "transmitToggle", "transmitAck"}) {
        QVERIFY(!Find<QPushButton>(*page, (QByteArray(name) + "Button").constData())->isVisibleTo(page));
        QVERIFY(Find<QLabel>(*page, (QByteArray(name) + "Label").constData())->isVisibleTo(page));
    }
    QCOMPARE(page->findChildren<ValueCombo*>().size(), 7);
    QCOMPARE(page->findChildren<ValueEdit*>().size(), 22);
    for (ValueCombo* list : page->findChildren<ValueCombo*>()) {
        QVERIFY(!list->isEnabled());
    }
    for (QLineEdit* field : page->findChildren<QLineEdit*>()) {
        QVERIFY2(field->isReadOnly(), qPrintable(field->objectName()));
    }
    for (QAbstractButton* box : page->findChildren<QAbstractButton*>()) {
        const bool stays = box->objectName() == "hexViewCheck" || box->parent()->inherits("orv::viewer::InstanceSpin");
        QVERIFY2(box->isEnabled() == stays || !box->isVisibleTo(page), qPrintable(box->objectName()));
    }

    // A user's every move in view mode, over two full rounds of the schedule.
    environment_->calls->clear();
    for (ValueEdit* field : page->findChildren<ValueEdit*>()) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        field->clearFocus();
    }
    for (QAbstractButton* box : page->findChildren<QAbstractButton*>()) {
        if (box->isVisibleTo(page)) {
            QTest::mouseClick(box, Qt::LeftButton);
        }
    }
    SerialPage::SetTickCounter(0);
    for (int tick = 0; tick < 32; ++tick) {
        page->Tick();
    }
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kDNSetAttribute}), QStringList());
    QVERIFY(CallsOf(*environment_->calls, {dispid::kDNGetAttribute}).size() >= 2 * (13 + 15 + 13));
    // The clicks reached the two controls that stay usable.
    QVERIFY(page->HexView());
    QCOMPARE(Field(*page, "pollProduceEdit")->text(), QStringLiteral("1100"));
    QCOMPARE(Field(*page, "postDelimiterEdit")->text(), QStringLiteral("010D"));
    QCOMPARE(Field(*page, "timeoutEdit")->text(), QStringLiteral("32"));
    QCOMPARE(Field(*page, "paddingEdit")->text(), QStringLiteral("20"));
}

// The values of the hex view's examples, which the simulated Brelin never reports all at once.
void SerialPageTest::hexViewShowsTheRawBytes()
{
    SerialDevice device;
    device.values[{65, 1, 7}] = {0x02, 'a', 'b'};
    device.values[{65, 1, 14}] = {'*'};
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    QCOMPARE(Field(page, "preDelimiterEdit")->text(), QStringLiteral("abc"));
    QCOMPARE(Field(page, "pollProduceEdit")->text(), QStringLiteral("300"));
    QCOMPARE(Field(page, "paddingEdit")->text(), QStringLiteral("42"));

    Box(page, "hexViewCheck")->click();
    QCOMPARE(page.ByteType(), ValueType::kRaw);
    QCOMPARE(page.StringType(), ValueType::kRaw);
    QCOMPARE(Field(page, "timeoutEdit")->text(), QStringLiteral("10")); // nothing redrawn at once
    page.RefreshSections(SerialPage::kAllSections);
    const struct {
        const char* field;
        const char* text;
    } rows[] = {{"preDelimiterEdit", "03616263"}, {"pollProduceEdit", "2C01"}, {"timeoutEdit", "0A"},
                {"receivePreStringEdit", "026162"},  {"paddingEdit", "2A"},      {"transmitDataEdit", "3412"}};
    for (const auto& row : rows) {
        QCOMPARE(Field(page, row.field)->text(), QString::fromLatin1(row.text));
    }
    // And takes hex bytes in, in either case; what is not hex bytes is refused with a word.
    auto* status = Find<QLabel>(page, "statusText");
    const struct {
        const char* field;
        const char* typed;
        const char* shown; // in the field after Enter
        Bytes written;     // nothing written: empty
        bool refused;
    } typing[] = {
        {"timeoutEdit", "1E", "1E", {0x1E}, false},
        {"timeoutEdit", "2f", "2F", {0x2F}, false},
        {"preDelimiterEdit", "02787a", "02787A", {0x02, 'x', 'z'}, false},
        {"timeoutEdit", "1G", "1G", {}, true},
        {"timeoutEdit", "123", "123", {}, true},
        {"transmitDataEdit", "ab", "AB", {}, true}, // two bytes expected
        {"transmitDataEdit", "abcd", "ABCD", {0xAB, 0xCD}, false},
    };
    for (const auto& row : typing) {
        device.driver.calls.clear();
        Type(page, row.field, QString::fromLatin1(row.typed));
        QCOMPARE(Field(page, row.field)->text(), QString::fromLatin1(row.shown));
        QCOMPARE(status->text().isEmpty(), !row.refused);
        const bool wrote = std::any_of(device.driver.calls.begin(), device.driver.calls.end(),
                                       [](const auto& call) { return call.dispId == dispid::kDNSetAttribute; });
        QCOMPARE(wrote, !row.written.empty());
    }
    QCOMPARE((device.values[{64, 1, 13}]), (Bytes{0x2F}));
    QCOMPARE((device.values[{64, 1, 11}]), (Bytes{0x02, 'x', 'z'}));
    QCOMPARE((device.values[{66, 1, 3}]), (Bytes{0xAB, 0xCD}));

    Box(page, "hexViewCheck")->click();
    page.RefreshSections(SerialPage::kAllSections);
    QCOMPARE(Field(page, "preDelimiterEdit")->text(), QStringLiteral("xz"));
    QCOMPARE(Field(page, "paddingEdit")->text(), QStringLiteral("42"));
}

void SerialPageTest::dataBeyondTheValueBufferIsCut()
{
    SerialDevice device;
    Bytes hundred(100);
    for (std::size_t i = 0; i < hundred.size(); ++i) {
        hundred[i] = static_cast<std::uint8_t>(i);
    }
    device.values[{65, 1, 10}] = {100};
    device.values[{65, 1, 3}] = hundred;
    device.values[{66, 1, 9}] = {0xDA};
    device.values[{66, 1, 10}] = {100};
    device.values[{66, 1, 3}] = hundred;
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    const QString first64 = QString::fromStdString(HexText(hundred.data(), 64));
    for (const char* channel : {"receive", "transmit"}) {
        const QByteArray prefix(channel);
        QCOMPARE(Field(page, (prefix + "DataEdit").constData())->text(), first64);
        auto* cut = Find<QLabel>(page, (prefix + "DataCut").constData());
        QVERIFY(cut->isVisibleTo(&page));
        QCOMPARE(cut->text(), QStringLiteral("first 64 of 100 bytes"));
    }
    QVERIFY2(Field(page, "transmitDataEdit")->isReadOnly(), "cut bytes cannot be written whole");

    device.values[{66, 1, 10}] = {3};
    device.values[{66, 1, 3}] = {1, 2, 3};
    page.RefreshSections(SerialPage::kTransmitSection);
    QCOMPARE(Field(page, "transmitDataEdit")->text(), QStringLiteral("010203"));
    QVERIFY(!Find<QLabel>(page, "transmitDataCut")->isVisibleTo(&page));
    QVERIFY(!Field(page, "transmitDataEdit")->isReadOnly());

    // A channel of 32 bytes shows its 64 digits whole.
    Bytes thirtyTwo(hundred.begin(), hundred.begin() + 32);
    device.values[{65, 1, 10}] = {32};
    device.values[{65, 1, 3}] = thirtyTwo;
    page.RefreshSections(SerialPage::kReceiveSection);
    ValueEdit* received = Field(page, "receiveDataEdit");
    QCOMPARE(received->text(), QString::fromStdString(HexText(thirtyTwo.data(), 32)));
    const QRect area = received->contentsRect();
    const QRect needed = QFontMetrics(received->font()).boundingRect(area, Qt::TextWrapAnywhere, received->text());
    QVERIFY2(needed.height() <= area.height() && needed.width() <= area.width(),
             qPrintable(QStringLiteral("%1 of %2 px").arg(needed.height()).arg(area.height())));

    device.values.erase({65, 1, 10}); // a data size that cannot be read shows no bytes
    page.RefreshSections(SerialPage::kReceiveSection);
    QCOMPARE(Field(page, "receiveDataEdit")->text(), QString());
}

// A failed read shows by one rule, never an old value: "Error" in a field, no entry in a list, a
// box cleared.
void SerialPageTest::failedReadsShowNoOldValue()
{
    SerialDevice device;
    device.values[{64, 1, 15}] = {0x33};
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    const char* const statusBoxes[] = {"rxOverrunCheck", "rxParityCheck", "txOverrunCheck", "txParityCheck"};
    for (const char* box : statusBoxes) {
        QVERIFY2(Box(page, box)->isChecked(), box);
    }
    QVERIFY(Box(page, "listCheck")->isChecked());
    for (const auto& path : {TableDevice::Path{64, 1, 15}, {64, 1, 10}, {64, 1, 3}, {64, 1, 13}}) {
        device.values.erase(path);
    }
    page.RefreshSections(SerialPage::kStreamSection);
    for (const char* box : {"rxOverrunCheck", "rxParityCheck", "txOverrunCheck", "txParityCheck", "listCheck",
                            "timeoutCheck", "lengthCheck"}) {
        QVERIFY2(!Box(page, box)->isChecked(), box);
    }
    QCOMPARE(Find<ValueCombo>(page, "baudRateCombo")->currentIndex(), -1);
    QCOMPARE(Field(page, "timeoutEdit")->text(), QStringLiteral("Error"));
}

void SerialPageTest::scheduleRefreshesOneSectionPerTick()
{
    SerialDevice device;
    SerialPage::SetTickCounter(7);
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    QCOMPARE(SerialPage::TickCounter(), 7); // opening a page does not reset the schedule
    const auto classesRead = [&] {
        std::set<int> classes;
        for (const auto& [cls, inst, attr] : device.TakeReads()) {
            classes.insert(cls);
        }
        return classes;
    };
    std::set<int> opening = classesRead();
    QCOMPARE(opening, (std::set<int>{64, 65, 66}));

    SerialPage::SetTickCounter(0);
    std::map<int, int> sectionAt; // tick -> class refreshed
    for (int tick = 0; tick < 48; ++tick) {
        page.Tick();
        const std::set<int> classes = classesRead();
        QVERIFY2(classes.size() <= 1, "one section per tick");
        if (!classes.empty()) {
            sectionAt[tick] = *classes.begin();
        }
    }
    const std::map<int, int> expected{{5, 64},  {10, 65}, {15, 66}, {21, 64}, {26, 65},
                                      {31, 66}, {37, 64}, {42, 65}, {47, 66}};
    QCOMPARE(sectionAt, expected);

    // Reads per section: 13, 15, 13; a held control reads nothing.
    const struct {
        int counter;
        std::size_t reads;
    } sections[] = {{5, 13}, {10, 15}, {15, 13}};
    for (const auto& section : sections) {
        TickAt(page, section.counter);
        QCOMPARE(device.TakeReads().size(), section.reads);
    }
    Find<ValueCombo>(page, "baudRateCombo")->Hold();
    Field(page, "receiveWidthEdit")->Hold();
    TickAt(page, 5);
    QCOMPARE(device.TakeReads().size(), std::size_t{12});
    TickAt(page, 10);
    QCOMPARE(device.TakeReads().size(), std::size_t{14});

    // A page without a module stays hidden and leaves the schedule alone.
    SerialPage empty({nullptr, 0, 0, SerialMode::kSetup}, nullptr);
    const int counter = SerialPage::TickCounter();
    empty.Tick();
    QVERIFY(!empty.isVisible() && !empty.TimerActive());
    QCOMPARE(SerialPage::TickCounter(), counter);
}

void SerialPageTest::heldControlsKeepTheirHoldAcrossRebinds()
{
    SerialDevice device;
    device.values[{66, 1, 11}] = {0};
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    ValueEdit* width = Field(page, "transmitWidthEdit");
    ValueEdit* data = Field(page, "transmitDataEdit");
    width->setFocus();
    QTest::keyClicks(width, QStringLiteral("7"));
    data->Hold();
    data->setText(QStringLiteral("AB"));
    Find<ValueCombo>(page, "transmitDataTypeCombo")->Hold();
    device.values[{66, 1, 9}] = {0xC2};
    for (int round = 0; round < 3; ++round) {
        page.RefreshSections(SerialPage::kTransmitSection);
    }
    QVERIFY(width->IsHeld() && data->IsHeld());
    QCOMPARE(width->text(), QStringLiteral("07"));
    QCOMPARE(data->text(), QStringLiteral("AB"));
    QCOMPARE(Find<ValueCombo>(page, "transmitDataTypeCombo")->currentIndex(), 3); // still UINT

    // "View Bytes in Hex" re-binds the stream fields released.
    Field(page, "lengthEdit")->Hold();
    Box(page, "hexViewCheck")->click();
    QVERIFY(!Field(page, "lengthEdit")->IsHeld());
}

// Which fields are editable, by the boxes and lists as they stand.
void SerialPageTest::editabilityRules()
{
    SerialDevice device;
    SerialPage page({&device.module, Allocation::kExplicit, 0, SerialMode::kSetup}, nullptr);
    struct Row {
        const char* name;
        std::function<void()> set;         // how the page stands
        std::vector<const char*> editable; // fields that must be editable afterwards
        std::vector<const char*> readOnly;
    };
    const auto checks = [&page](std::vector<std::pair<const char*, bool>> boxes) {
        return [&page, boxes] {
            for (const auto& [box, on] : boxes) {
                Box(page, box)->setChecked(on);
            }
        };
    };
    const auto entry = [&page](const char* list, int index) {
        return [&page, list, index] { Find<ValueCombo>(page, list)->setCurrentIndex(index); };
    };
    const Row rows[] = {
        {"list on", checks({{"listCheck", true}}), {"preDelimiterEdit", "postDelimiterEdit"}, {}},
        {"list off", checks({{"listCheck", false}}), {}, {"preDelimiterEdit", "postDelimiterEdit"}},
        {"length, not timeout", checks({{"lengthCheck", true}, {"timeoutCheck", false}}), {"lengthEdit"},
         {"timeoutEdit"}},
        {"receive strings", checks({{"receivePreStringCheck", false}, {"receivePostStringCheck", true}}),
         {"receivePostStringEdit"}, {"receivePreStringEdit"}},
        {"string 1 after", checks({{"string1BeforeCheck", false}, {"string1AfterCheck", true}}), {"string1Edit"}, {}},
        {"string 1 before", checks({{"string1BeforeCheck", true}, {"string1AfterCheck", false}}), {"string1Edit"}, {}},
        {"string 2 neither", checks({{"string2BeforeCheck", false}, {"string2AfterCheck", false}}), {},
         {"string2Edit"}},
        {"receive short string", entry("receiveDataTypeCombo", 5), {"receiveDataSizeEdit"}, {"receiveWidthEdit"}},
        {"receive number", entry("receiveDataTypeCombo", 2), {"receiveWidthEdit"}, {"receiveDataSizeEdit"}},
        {"transmit short string", entry("transmitDataTypeCombo", 5), {"transmitDataSizeEdit"},
         {"transmitWidthEdit", "precisionEdit"}},
        {"transmit number", entry("transmitDataTypeCombo", 4), {"transmitWidthEdit", "precisionEdit"},
         {"transmitDataSizeEdit"}},
        {"always", [] {}, {"paddingEdit", "transmitDataEdit"},
         {"pollProduceEdit", "pollConsumeEdit", "receiveDataEdit", "receiveToggleEdit", "receiveAckEdit",
          "transmitToggleEdit", "transmitAckEdit", "receiveInstanceEdit", "transmitInstanceEdit"}},
    };
    for (const Row& row : rows) {
        row.set();
        page.ApplyEditability();
        for (const char* field : row.editable) {
            QVERIFY2(!Find<QLineEdit>(page, field)->isReadOnly(), (std::string(row.name) + ": " + field).c_str());
        }
        for (const char* field : row.readOnly) {
            QVERIFY2(Find<QLineEdit>(page, field)->isReadOnly(), (std::string(row.name) + ": " + field).c_str());
        }
    }

    // A click applies its own rule at once, as does the choice of a data type.
    Box(page, "listCheck")->click();
    QVERIFY(!Field(page, "postDelimiterEdit")->isReadOnly());
    Box(page, "string2AfterCheck")->click();
    QVERIFY(!Field(page, "string2Edit")->isReadOnly());
    Choose(page, "receiveDataTypeCombo", 5);
    QVERIFY(!Field(page, "receiveDataSizeEdit")->isReadOnly());
    QCOMPARE((device.values[{65, 1, 9}]), (Bytes{0xDA}));
    QCOMPARE((device.values[{64, 1, 10}]), (Bytes{0x05})); // list and length

    page.ApplyViewMode();
    for (QLineEdit* field : page.findChildren<QLineEdit*>()) {
        QVERIFY(field->isReadOnly());
    }
}

// What the page sets is what the gateway does on its serial line.
void SerialPageTest::endToEndThroughTheSerialLine()
{
    DeviceHost host;
    QVERIFY2(host.Ready(), host.Error().c_str());
    auto window = OpenNode("[DNET]\nDRIVER=1\nDRIVERNAME=" + host.BusString() + "\n");
    SerialPage* page = OpenPage(*window, SerialMode::kSetup);
    QVERIFY(page != nullptr);
    const auto serialOutput = [&] {
        const Bytes bytes = host.SerialOutput();
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    };

    // Transmit channel 2 as an unsigned 16-bit number, in hex with leading zeros, six wide.
    Find<InstanceSpin>(*page, "transmitInstanceSpin")->Step(1);
    TickAt(*page, 15);
    Choose(*page, "transmitDataTypeCombo", 3);
    TickAt(*page, 15);
    QCOMPARE(Field(*page, "transmitDataSizeEdit")->text(), QStringLiteral("2"));
    Type(*page, "transmitWidthEdit", QStringLiteral("6"));
    Find<QRadioButton>(*page, "transmitHexRadio")->click();
    Box(*page, "leadingZerosCheck")->click();
    Type(*page, "transmitDataEdit", QStringLiteral("3412"));
    Find<QPushButton>(*page, "transmitToggleButton")->click();
    QCOMPARE(Field(*page, "transmitToggleEdit")->text(), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(serialOutput(), QByteArray("001234"), 3000);

    // Then as a three-character string after string 1.
    Choose(*page, "transmitDataTypeCombo", 5);
    TickAt(*page, 15);
    Type(*page, "transmitDataSizeEdit", QStringLiteral("3"));
    Box(*page, "string1BeforeCheck")->click();
    Type(*page, "string1Edit", QStringLiteral("<"));
    TickAt(*page, 15);
    QCOMPARE(Field(*page, "transmitDataEdit")->text(), QStringLiteral("341200")); // the device keeps the first bytes
    Type(*page, "transmitDataEdit", QStringLiteral("414243"));
    Find<QPushButton>(*page, "transmitToggleButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(serialOutput(), QByteArray("001234<ABC"), 3000);
    QCOMPARE(Field(*page, "transmitToggleEdit")->text(), QStringLiteral("0"));

    // A line arriving on the serial line lands in receive channel 1, padded to its 16 bytes.
    host.SerialInput({'H', 'I', '\r'});
    TickAt(*page, 10);
    QCOMPARE(Field(*page, "receiveDataEdit")->text(), QStringLiteral("4849") + QStringLiteral("20").repeated(14));
    QCOMPARE(Field(*page, "receiveToggleEdit")->text(), QStringLiteral("1"));

    // Line errors show in the status boxes until "Reset".
    host.WithDevice([](devsim::BrelinDevice& device) { device.InjectSerialErrors(true, true, false); });
    TickAt(*page, 5);
    QVERIFY(Box(*page, "rxParityCheck")->isChecked() && Box(*page, "rxOverrunCheck")->isChecked());
    QVERIFY(!Box(*page, "txOverrunCheck")->isChecked() && !Box(*page, "rxParityCheck")->isEnabled());
    Find<QPushButton>(*page, "resetButton")->click();
    TickAt(*page, 5);
    QVERIFY(!Box(*page, "rxParityCheck")->isChecked() && !Box(*page, "rxOverrunCheck")->isChecked());
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brelinview"));
    SerialPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SerialPageTest.moc"
