// brelinview's windows on the offscreen platform, driven as a user drives them, against the built
// driver library and the simulated Brelin: start-up, the two dialogs with the profile, opening and
// closing the node, the page slots, the value controls and the I/O messaging page.

#include "platform/Profile.h"
#include "platform/automation/Registration.h"
#include "tests/viewer/DeviceHost.h"
#include "tests/viewer/ScriptedDriver.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/app/MainWindow.h"
#include "viewer/app/Messages.h"
#include "viewer/app/QtPrompts.h"
#include "viewer/controls/ValueCombo.h"
#include "viewer/controls/ValueEdit.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/model/ValueConversions.h"
#include "viewer/pages/IoMessagingPage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace orv::viewer;
using orv::viewer::test::CallsOf;
using orv::viewer::test::TableDevice;
using orv::viewer::test::DeviceHost;
using orv::viewer::test::Modals;
using orv::viewer::test::ViewerEnvironment;
namespace dispid = orv::automation::dispid;

namespace {

constexpr int kNode = 63;

void ClickOk(QWidget* dialog)
{
    dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttons"))->button(QDialogButtonBox::Ok)->click();
}

// The value of an attribute of the open node, as hex digits.
QString ReadHex(Module* module, int cls, int inst, int attr, int size)
{
    AttributeItem item;
    item.Setup(module, cls, inst, attr, ValueType::kRaw, size, {}, 0);
    std::string text;
    return item.Read() && item.Format(text, -1) ? QString::fromStdString(text) : QStringLiteral("(no answer)");
}

QByteArray Bytes(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

} // namespace

class ViewerTest : public QObject {
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
        const std::string prompts = environment_->prompts.texts.empty() ? "" : environment_->prompts.texts.front();
        QVERIFY2(environment_->prompts.texts.empty(), prompts.c_str());
        modals_.reset();
        environment_.reset();
    }

    void firstStartWithAnEmptyProfile();
    void menusAndTitle();
    void selectNodeOpensTheNodeOnEveryCard_data();
    void selectNodeOpensTheNodeOnEveryCard();
    void noConnectionChosenOpensNothing();
    void networkConfigurationRoundTrip();
    void reopeningClosesTheNodeFirstAndInitsOnce();
    void closingClosesTheModuleThenTheDriverOnce();
    void creationFailureLeavesTheWindowUsable();
    void pageSlotsAndPageClosed();
    void listEntriesCarryTheirValues();
    void promptFilters();
    void heldValueEditKeepsTheTypedText();
    void valueComboWritesTheChosenEntry();
    void ioMessagingSetsTheOutputBytes();
    void ioMessagingRefusesBadCommands();
    void ioMessagingFollowsTheDevice();

private:
    std::unique_ptr<MainWindow> Window()
    {
        auto window = std::make_unique<MainWindow>(
            nullptr, [this](std::string& why) { return environment_->CountedDriver(why); });
        window->show();
        return window;
    }

    // Runs Select Node Address, choosing `node` (-1: none) and the connections, and OK.
    void SelectNode(MainWindow& window, int node, bool explicitConnection, bool poll)
    {
        modals_->Next([=](QWidget* dialog) {
            auto* list = dialog->findChild<QListWidget*>(QStringLiteral("nodeList"));
            if (node < 0) {
                list->clearSelection();
            } else {
                list->setCurrentRow(node);
            }
            dialog->findChild<QCheckBox*>(QStringLiteral("explicitCheck"))->setChecked(explicitConnection);
            dialog->findChild<QCheckBox*>(QStringLiteral("pollCheck"))->setChecked(poll);
            ClickOk(dialog);
        });
        window.Action(Command::kSelectNodeAddress)->trigger();
        QVERIFY(modals_->Idle());
    }

    IoMessagingPage* OpenIoPage(MainWindow& window)
    {
        window.Action(Command::kIoMessaging)->trigger();
        return qobject_cast<IoMessagingPage*>(window.CurrentPage());
    }

    void Command(IoMessagingPage& page, const QString& text)
    {
        auto* field = page.findChild<QPlainTextEdit*>(QStringLiteral("commandField"));
        field->setPlainText(text);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return); // Enter presses Send
    }

    std::unique_ptr<ViewerEnvironment> environment_;
    std::unique_ptr<Modals> modals_;
};

void ViewerTest::firstStartWithAnEmptyProfile()
{
    auto window = Window();
    QCOMPARE(window->NodeAddress(), -1);
    QCOMPARE(window->AllocationFlags(), 0);
    QVERIFY(!window->PageCommandsEnabled());
    QVERIFY(window->SplashShown());
    QVERIFY(window->Driver() != nullptr);
    QCOMPARE(window->Settings().Port(), 760);
    QCOMPARE(window->Settings().Interrupt(), 3);
    QCOMPARE(window->Settings().DriverNameText(), std::string());

    SelectNode(*window, -1, true, false);
    QVERIFY(!window->PageCommandsEnabled());
    QCOMPARE(window->NodeAddress(), -1);
    QCOMPARE(modals_->Take(), QStringList());
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kInit, dispid::kOpenModule}), QStringList());
}

void ViewerTest::menusAndTitle()
{
    auto window = Window();
    QCOMPARE(window->windowTitle(), QStringLiteral("DNV Brelin"));
    const struct {
        int command;
        const char* text;
    } items[] = {
        {Command::kExit, "E&xit"},
        {Command::kConfiguration, "Confi&guration"},
        {Command::kSelectNodeAddress, "Select Node &Address..."},
        {Command::kIdentity, "Ide&ntity"},
        {Command::kDeviceNet, "D&evice Net"},
        {Command::kConnection, "&Connection"},
        {Command::kViewSerialInterface, "&View Serial Interface"},
        {Command::kSetupSerialInterface, "&Setup Serial Interface"},
        {Command::kIoMessaging, "I/O &Messaging"},
        {Command::kAbout, "&About brelinview..."},
    };
    for (const auto& item : items) {
        QAction* action = window->Action(item.command);
        QVERIFY2(action != nullptr, item.text);
        QCOMPARE(action->text(), QString::fromLatin1(item.text));
    }
    QStringList titles;
    for (QAction* menu : window->menuBar()->actions()) {
        titles << menu->text();
    }
    QCOMPARE(titles, (QStringList{"&File", "Net&work", "Class &Objects", "&Tools", "&Help"}));

    modals_->Next([](QWidget* about) {
        QCOMPARE(about->windowTitle(), QStringLiteral("About brelinview"));
        QVERIFY(about->findChild<QLabel*>(QStringLiteral("version"))->text() == "brelinview Version 1.1");
        ClickOk(about);
    });
    window->Action(Command::kAbout)->trigger();
    QVERIFY(modals_->Idle());
}

void ViewerTest::selectNodeOpensTheNodeOnEveryCard_data()
{
    QTest::addColumn<int>("card");
    QTest::newRow("CAN712") << 0;
    QTest::newRow("SST") << 1;
    QTest::newRow("SYSTEC USB-CAN") << 2;
}

void ViewerTest::selectNodeOpensTheNodeOnEveryCard()
{
    QFETCH(int, card);
    environment_->WriteProfile("[DNET]\nDRIVER=" + std::to_string(card) + "\n");
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    QCOMPARE(modals_->Take(), QStringList());
    QVERIFY(window->PageCommandsEnabled());
    QCOMPARE(window->AllocationFlags(), Allocation::kExplicit | Allocation::kPoll);
    QVERIFY(window->DeviceModule()->IsOpen());
    // Out of the box the Brelin consumes 8 bytes and produces 17.
    QCOMPARE(window->DeviceModule()->Poll().OutputSize(), 8);
    QCOMPARE(window->DeviceModule()->Poll().InputSize(), 17);
    QVERIFY(window->DeviceModule()->Poll().Read());
    const auto profile = orv::platform::Profile::AtPath(environment_->ProfileFile());
    QCOMPARE(profile.GetProfileInt("NETWORK", "NODEADDRESS", -1), kNode);
}

void ViewerTest::noConnectionChosenOpensNothing()
{
    environment_->WriteProfile("[NETWORK]\nNODEADDRESS=12\n");
    auto window = Window();
    QCOMPARE(window->NodeAddress(), 12);
    bool checked = false;
    modals_->Next([&](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("nodeList"));
        auto* explicitCheck = dialog->findChild<QCheckBox*>(QStringLiteral("explicitCheck"));
        auto* pollCheck = dialog->findChild<QCheckBox*>(QStringLiteral("pollCheck"));
        QCOMPARE(list->count(), 64);
        QCOMPARE(list->item(63)->text(), QStringLiteral("63"));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("12"));
        QVERIFY(explicitCheck->isChecked());
        QVERIFY(!pollCheck->isChecked());
        explicitCheck->setChecked(false);
        pollCheck->click(); // checking Poll checks Explicit
        QVERIFY(explicitCheck->isChecked());
        explicitCheck->click(); // unchecking Explicit unchecks Poll
        QVERIFY(!pollCheck->isChecked());
        checked = true;
        ClickOk(dialog);
    });
    window->Action(Command::kSelectNodeAddress)->trigger();
    QVERIFY(checked);
    QCOMPARE(window->AllocationFlags(), 0);
    QVERIFY(!window->PageCommandsEnabled());
    QCOMPARE(modals_->Take(), QStringList());
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kInit, dispid::kOpenModule}), QStringList());
}

void ViewerTest::networkConfigurationRoundTrip()
{
    environment_->WriteProfile("[DNET]\nINSTALLED=5\nPORT=888\n");
    auto window = Window();
    QCOMPARE(window->Settings().Installed(), 1);
    const std::string name70 = std::string(60, 'n') + "0123456789";
    modals_->Next([&](QWidget* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Network Configuration"));
        auto* driver = dialog->findChild<QComboBox*>(QStringLiteral("driverCombo"));
        auto* rate = dialog->findChild<QComboBox*>(QStringLiteral("dataRateCombo"));
        QCOMPARE(driver->currentText(), QStringLiteral("CAN712"));
        QCOMPARE(rate->currentText(), QStringLiteral("125K"));
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("portEdit"))->text(), QStringLiteral("888"));
        driver->setCurrentIndex(2);
        rate->setCurrentIndex(1);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("driverNameEdit"));
        name->setText(QString::fromStdString(name70));
        auto* master = dialog->findChild<QLineEdit*>(QStringLiteral("masterIdEdit"));
        master->setText(QStringLiteral("12x"));
        ClickOk(dialog); // refused: the dialog stays
        QVERIFY(dialog->isVisible());
        QCOMPARE(window->Settings().DriverType(), 0); // nothing stored yet
        master->setText(QStringLiteral(" -5 "));
        // A name the record cannot hold as it is typed is refused, not stored as something else.
        for (const QString& refused : {QString::fromStdString(name70), QStringLiteral("tcp://h\u00F6st\u20AC/can0")}) {
            name->setText(refused);
            ClickOk(dialog);
            QVERIFY(dialog->isVisible());
        }
        name->setText(QString::fromStdString(name70.substr(0, 64)));
        ClickOk(dialog);
    });
    window->Action(Command::kConfiguration)->trigger();
    QVERIFY(modals_->Idle());
    QCOMPARE(modals_->Take(), (QStringList{kInvalidNumberMessage, kDriverNameMessage, kDriverNameMessage}));

    const auto profile = orv::platform::Profile::AtPath(environment_->ProfileFile());
    const struct {
        const char* key;
        int value;
    } numbers[] = {{"DRIVER", 2}, {"SCNID", -5}, {"DATARATE", 1}, {"PORT", 888}, {"INTERRUPT", 3}, {"INSTALLED", 1}};
    for (const auto& key : numbers) {
        QCOMPARE(profile.GetProfileInt("DNET", key.key, 999), key.value);
    }
    QCOMPARE(profile.GetProfileString("DNET", "DRIVERNAME", ""), name70.substr(0, 64));
    QCOMPARE(window->Settings().DriverNameText(), name70.substr(0, 64));

    // Cancel changes nothing.
    modals_->Next([](QWidget* dialog) {
        dialog->findChild<QComboBox*>(QStringLiteral("driverCombo"))->setCurrentIndex(0);
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttons"))->button(QDialogButtonBox::Cancel)->click();
    });
    window->Action(Command::kConfiguration)->trigger();
    QCOMPARE(window->Settings().DriverType(), 2);
}

void ViewerTest::reopeningClosesTheNodeFirstAndInitsOnce()
{
    auto window = Window();
    SelectNode(*window, kNode, true, false);
    QVERIFY(window->PageCommandsEnabled());
    // A new data rate reaches the driver only with its next Init: none comes while it is open.
    modals_->Next([](QWidget* dialog) {
        dialog->findChild<QComboBox*>(QStringLiteral("dataRateCombo"))->setCurrentIndex(2);
        ClickOk(dialog);
    });
    window->Action(Command::kConfiguration)->trigger();
    SelectNode(*window, kNode, true, true);
    QCOMPARE(modals_->Take(), QStringList());
    QVERIFY(window->PageCommandsEnabled());
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kInit, dispid::kOpenModule, dispid::kCloseModule}),
             (QStringList{"11()", "13(63)", "14(63)", "13(63)"}));
}

void ViewerTest::closingClosesTheModuleThenTheDriverOnce()
{
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    IoMessagingPage* page = OpenIoPage(*window);
    QVERIFY(page != nullptr);
    page->Tick();
    const auto before = CallsOf(*environment_->calls, {dispid::kCloseModule, dispid::kClose});
    QCOMPARE(before, QStringList());
    window->close();
    window.reset();
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kOpenModule, dispid::kCloseModule, dispid::kClose}),
             (QStringList{"13(63)", "14(63)", "12()"}));
}

void ViewerTest::creationFailureLeavesTheWindowUsable()
{
    std::string why;
    QCOMPARE(orv::platform::automation::UnregisterServerLibrary(ORV_DRIVER_LIBRARY, &why), orv::platform::automation::S_OK);
    MainWindow window(nullptr, MainWindow::CreateDriver);
    QCOMPARE(modals_->Take(), QStringList{QStringLiteral(
                                  "Invalid class string: ProgID \"OrvDeviceNetDriver.OrvDeviceNetCom.1\" is not registered")});
    QVERIFY(window.Driver() == nullptr);
    SelectNode(window, kNode, true, false);
    QCOMPARE(modals_->Take(), QStringList{kNetworkNotConfiguredMessage});
    QCOMPARE(modals_->UnderWaitCursor(), 0); // a box that waits for the user shows no wait cursor
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!window.PageCommandsEnabled());
}

void ViewerTest::pageSlotsAndPageClosed()
{
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    QPointer<Page> first = OpenIoPage(*window);
    QVERIFY(first);
    QVERIFY(!window->SplashShown());
    QCOMPARE(first->TimerId(), 0x210);
    QCOMPARE(first->PeriodMs(), 100);
    QVERIFY(first->TimerActive());
    QPointer<Page> second = OpenIoPage(*window);
    QVERIFY2(!first, "opening a page destroys the open one");
    QCOMPARE(window->CurrentPage(), second.data());

    PageClosedEvent unknown(0x77);
    QApplication::sendEvent(window.get(), &unknown);
    QCOMPARE(modals_->Take(), QStringList{kUnknownPageMessage});
    QCOMPARE(window->CurrentPage(), second.data()); // no slot changes

    QTest::keyClick(second->findChild<QPlainTextEdit*>(QStringLiteral("commandField")), Qt::Key_Escape);
    QTRY_VERIFY(!second);
    QVERIFY(window->CurrentPage() == nullptr);
    QVERIFY(window->SplashShown());
    QVERIFY2(window->isVisible(), "Esc on a page closes the page only");
}

// A list's entries carry the values they stand for: a refresh selects the entry of the value it
// read (none for a value no entry carries, or for a read that fails), a choice writes its value.
void ViewerTest::listEntriesCarryTheirValues()
{
    TableDevice device;
    QWidget form;
    ValueCombo list(&form);
    constexpr ComboEntry kEntries[] = {{"seven", 7}, {"eight", 8}, {"short string", 0xDA}, {"19200", 19200}};
    list.SetEntries(kEntries);
    QCOMPARE(list.count(), 4);
    QCOMPARE(list.itemText(2), QStringLiteral("short string"));
    const struct {
        int type;
        int size;
        int kind;
        std::vector<std::uint8_t> value;
        int entry;
    } rows[] = {
        {ValueType::kByte, 1, ValueKind::kByte, {8}, 1},
        {ValueType::kByte, 1, ValueKind::kByte, {6}, -1},
        {ValueType::kByte, 1, ValueKind::kByte, {0xDA}, 2},
        {ValueType::kInt32, 4, ValueKind::kInt32, {0x00, 0x4B, 0x00, 0x00}, 3},
        {ValueType::kInt32, 4, ValueKind::kInt32, {0x40, 0x38, 0x00, 0x00}, -1}, // 14400
        {ValueType::kUInt16, 2, ValueKind::kUInt16, {0x08, 0x00}, 1},
        {ValueType::kUInt16, 2, ValueKind::kUInt16, {0x08, 0x01}, -1},
        {ValueType::kByte, 1, ValueKind::kText, {8}, -1}, // a kind that reads no number
    };
    for (const auto& row : rows) {
        device.values[{9, 1, 1}] = row.value;
        list.setCurrentIndex(0);
        list.Bind(&device.module, 9, 1, 1, row.type, row.size, false);
        QVERIFY(list.Refresh(row.kind));
        QCOMPARE(list.currentIndex(), row.entry);
    }
    list.Bind(&device.module, 9, 1, 2, ValueType::kByte, 1, false);
    list.setCurrentIndex(0);
    QVERIFY(!list.Refresh(ValueKind::kByte)); // not there: no selection
    QCOMPARE(list.currentIndex(), -1);
    list.setCurrentIndex(2);
    emit list.activated(2);
    QCOMPARE((device.values[{9, 1, 2}]), std::vector<std::uint8_t>{0xDA});
}

void ViewerTest::promptFilters()
{
    // The driver's prompt for a missing card library comes up without the wait cursor of the open
    // that asks for it, which stays for after.
    bool asked = false;
    modals_->Next([&asked](QWidget* dialog) {
        asked = true;
        static_cast<QDialog*>(dialog)->reject();
    });
    {
        const WaitCursor wait;
        QtPrompts prompts;
        QVERIFY(!prompts.OpenFile({"Interface Library (*.dll)|*.dll||", "dll"}));
        QVERIFY(QApplication::overrideCursor() != nullptr);
    }
    QVERIFY(asked);
    QCOMPARE(modals_->UnderWaitCursor(), 0);

    QCOMPARE(QtPrompts::QtFilter("Interface Library (*.dll)|*.dll|All Files (*.*)|*.*||"),
             QStringLiteral("Interface Library (*.dll);;All Files (*.*)"));
    QCOMPARE(QtPrompts::QtFilter("Libraries|*.dll;*.so||"), QStringLiteral("Libraries (*.dll *.so)"));
}

void ViewerTest::heldValueEditKeepsTheTypedText()
{
    auto window = Window();
    SelectNode(*window, kNode, true, false);
    QWidget form;
    ValueEdit edit(&form);
    edit.Bind(window->DeviceModule(), 5, 1, 9, ValueType::kUInt16, 2, false); // expected packet rate
    QVERIFY(edit.Refresh(ValueKind::kUInt16));
    QCOMPARE(edit.text(), QStringLiteral("0"));

    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("5000"));
    QVERIFY(edit.IsHeld());
    for (int tick = 0; tick < 3; ++tick) {
        QVERIFY(!edit.Refresh(ValueKind::kUInt16));
    }
    QCOMPARE(edit.text(), QStringLiteral("5000"));
    QCOMPARE(ReadHex(window->DeviceModule(), 5, 1, 9, 2), QStringLiteral("0000")); // nothing written yet
    // Its context menu (right click, to paste) takes the focus for a moment: the field stays held.
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(&edit, &toMenu);
    QVERIFY(edit.IsHeld());
    QVERIFY(!edit.Refresh(ValueKind::kUInt16));
    QCOMPARE(edit.text(), QStringLiteral("5000"));

    QTest::keyClick(&edit, Qt::Key_Return);
    QVERIFY(!edit.IsHeld());
    QCOMPARE(ReadHex(window->DeviceModule(), 5, 1, 9, 2), QStringLiteral("8813"));

    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("lots"));
    QTest::keyClick(&edit, Qt::Key_Return); // refused without a write; the next refresh shows the device
    QVERIFY(edit.Refresh(ValueKind::kUInt16));
    QCOMPARE(edit.text(), QStringLiteral("5000"));

    ValueEdit unbound(&form);
    QTest::keyClicks(&unbound, QStringLiteral("12"));
    QCOMPARE(unbound.text(), QString()); // an unbound field takes no input
}

void ViewerTest::valueComboWritesTheChosenEntry()
{
    auto window = Window();
    SelectNode(*window, kNode, true, false);
    QWidget form;
    ValueCombo combo(&form);
    constexpr ComboEntry kBaudRates[] = {{"300", 300},   {"1200", 1200},   {"2400", 2400},   {"4800", 4800},
                                         {"9600", 9600}, {"19200", 19200}, {"38400", 38400}, {"57600", 57600}};
    combo.SetEntries(kBaudRates);
    combo.Bind(window->DeviceModule(), 64, 1, 3, ValueType::kInt32, 4, false);
    QVERIFY(combo.Refresh(ValueKind::kInt32));
    QCOMPARE(combo.currentText(), QStringLiteral("9600"));

    QTest::keyClick(&combo, Qt::Key_Down); // the user picks the next entry
    QVERIFY(!combo.IsHeld());
    QCOMPARE(ReadHex(window->DeviceModule(), 64, 1, 3, 4), QStringLiteral("004B0000")); // 19200
    combo.setCurrentIndex(0);
    QVERIFY(combo.Refresh(ValueKind::kInt32));
    QCOMPARE(combo.currentText(), QStringLiteral("19200"));

    combo.Hold();
    combo.setCurrentIndex(0);
    QVERIFY(!combo.Refresh(ValueKind::kInt32));
    QCOMPARE(combo.currentIndex(), 0); // a held list keeps the user's choice
}

void ViewerTest::ioMessagingSetsTheOutputBytes()
{
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    IoMessagingPage* page = OpenIoPage(*window);
    QVERIFY(page != nullptr);
    const struct {
        const char* command;
        const char* field;
        const char* output;
    } rows[] = {
        {"01 02 0a", "01 02 0A", "01020A0000000000"},
        {"01 02 03 04 05 06 07 08 09", "01 02 03 04 05 06 07 08 09", "0102030405060708"},
        {"ff", "FF", "FF00000000000000"},
    };
    Module* module = window->DeviceModule();
    for (const auto& row : rows) {
        Command(*page, QString::fromLatin1(row.command));
        QCOMPARE(page->CommandText(), QString::fromLatin1(row.field));
        QCOMPARE(QString::fromStdString(HexText(module->Poll().Output().data(), module->Poll().Output().size())),
                 QString::fromLatin1(row.output));
        page->Tick(); // the next exchange carries it to the node
        QCOMPARE(ReadHex(module, 4, 150, 3, 8), QString::fromLatin1(row.output));
    }
    QCOMPARE(modals_->Take(), QStringList());

    // A well-formed command of more groups than any output holds gives its first bytes, silently.
    QStringList many;
    for (int group = 0; group < 300; ++group) {
        many << QString::asprintf("%02X", group & 0xFF);
    }
    Command(*page, many.join(u' '));
    QCOMPARE(modals_->Take(), QStringList());
    QCOMPARE(QString::fromStdString(HexText(module->Poll().Output().data(), module->Poll().Output().size())),
             QStringLiteral("0001020304050607"));

    module->Close();
    page->Tick();
    QCOMPARE(page->ResponseText(), kErrorInPollMessage);
    Command(*page, QStringLiteral("01"));
    QCOMPARE(modals_->Take(), QStringList()); // Send on a closed module changes nothing, silently
}

void ViewerTest::ioMessagingRefusesBadCommands()
{
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    IoMessagingPage* page = OpenIoPage(*window);
    QVERIFY(page != nullptr);
    Command(*page, QStringLiteral("0A 0B"));
    const std::vector<std::uint8_t> output = window->DeviceModule()->Poll().Output();
    const QString invalid[] = {"01  02", "1 02", "012", "01 02 ", " 01", "0G", "01\n02", "01,02"};
    for (const QString& command : invalid) {
        page->findChild<QPlainTextEdit*>(QStringLiteral("commandField"))->setPlainText(command);
        page->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
        QCOMPARE(modals_->Take(), QStringList{kInvalidPollCommandMessage});
        QCOMPARE(window->DeviceModule()->Poll().Output(), output);
    }
    page->findChild<QPlainTextEdit*>(QStringLiteral("commandField"))->clear();
    page->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
    QCOMPARE(modals_->Take(), QStringList());
    QCOMPARE(window->DeviceModule()->Poll().Output(), output);
}

// The node on a bus of the test's own, so that its serial line is at hand.
void ViewerTest::ioMessagingFollowsTheDevice()
{
    DeviceHost host;
    QVERIFY2(host.Ready(), host.Error().c_str());
    environment_->WriteProfile("[DNET]\nDRIVER=1\nDRIVERNAME=" + host.BusString() + "\n");
    auto window = Window();
    SelectNode(*window, kNode, true, true);
    QVERIFY(window->PageCommandsEnabled());
    IoMessagingPage* page = OpenIoPage(*window);
    QVERIFY(page != nullptr);
    page->Tick();
    QCOMPARE(page->ResponseText(), QStringLiteral("00 ").repeated(17));

    // A message on the serial line lands in receive channel 1: its toggle, then its characters padded
    // with blanks.
    host.SerialInput({'H', 'I', '\r'});
    QTRY_VERIFY_WITH_TIMEOUT((page->Tick(), page->ResponseText().startsWith(QStringLiteral("01 48 49 20 "))), 3000);

    // A command whose transmit channel data changed sends that channel's message.
    Command(*page, QStringLiteral("03 41 42 43 00 00 00 00"));
    QTRY_VERIFY_WITH_TIMEOUT((page->Tick(), Bytes(host.SerialOutput()).contains("ABC\r\n")), 3000);
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brelinview"));
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewerTest.moc"
