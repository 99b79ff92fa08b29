// The Identity, DeviceNet and Connection pages on the offscreen platform, opened from the main
// window's menu on the built driver library and the simulated Brelin: what they show, what they
// write, how they follow the node on their schedules, and how they take a node that refuses or goes
// silent. Ticks are run by hand and waits run on a hand-advanced clock. The decoding of the
// attributes is tested on the pages' own functions.

#include "tests/viewer/DeviceHost.h"
#include "tests/viewer/ScriptedDriver.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/app/MainWindow.h"
#include "viewer/controls/ValueCombo.h"
#include "viewer/controls/ValueEdit.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/pages/ConnectionPage.h"
#include "viewer/pages/DeviceNetPage.h"
#include "viewer/pages/IdentityPage.h"
#include "viewer/pages/PageFactory.h"
#include "viewer/pages/RefreshSchedule.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace orv::viewer;
using orv::viewer::test::CallsOf;
using orv::viewer::test::DeviceHost;
using orv::viewer::test::Modals;
using orv::viewer::test::TableDevice;
using orv::viewer::test::Type;
using orv::viewer::test::ViewerEnvironment;
namespace dispid = orv::automation::dispid;

namespace {

constexpr int kNode = 63;
constexpr int kBothConnections = Allocation::kExplicit | Allocation::kPoll;

// A clock that moves only when the code under test pauses; every pause is recorded.
class HandTicks final : public TickSource {
public:
    std::uint32_t Now() override { return now; }
    void Pause(std::uint32_t milliseconds) override
    {
        now += milliseconds;
        pauses.push_back(milliseconds);
        if (onPause) {
            onPause(milliseconds);
        }
    }
    std::uint32_t now = 0;
    std::vector<std::uint32_t> pauses;
    std::function<void(std::uint32_t)> onPause;
};

// An attribute of the open node, read aside from the page: hex digits, or a short string's text.
QString ReadDevice(Module* module, int cls, int inst, int attr, int size, int type = ValueType::kRaw)
{
    AttributeItem item;
    item.Setup(module, cls, inst, attr, type, size, {}, 0);
    std::string text;
    return item.Read() && item.Format(text, -1) ? QString::fromLatin1(text) : QStringLiteral("(no answer)");
}

bool WriteDevice(Module* module, int cls, int inst, int attr, int type, int size, const char* text)
{
    AttributeItem item;
    item.Setup(module, cls, inst, attr, type, size, {}, 0);
    return item.Write(text, ValueKind::kText, size);
}

template <class Widget = QLineEdit>
Widget* Child(QWidget* page, const char* name)
{
    auto* widget = page->findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        qFatal("no %s on the page", name);
    }
    return widget;
}

QString Text(QWidget* page, const char* name)
{
    return Child(page, name)->text();
}

bool Checked(QWidget* page, const char* name)
{
    return Child<QAbstractButton>(page, name)->isChecked();
}

// The process-wide refresh counter of the page that a menu command opens.
int& TickCounterOf(int command)
{
    return command == Command::kIdentity    ? IdentityPage::TickCounter()
           : command == Command::kDeviceNet ? DeviceNetPage::TickCounter()
                                            : ConnectionPage::TickCounter();
}

} // namespace

class ObjectPagesTest : public QObject {
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
        window_.reset();
        host_.reset();
        const std::string prompts = environment_->prompts.texts.empty() ? "" : environment_->prompts.texts.front();
        QVERIFY2(environment_->prompts.texts.empty(), prompts.c_str());
        modals_.reset();
        environment_.reset();
    }

    void pagesOpenFromTheMenuOneAtATime();
    void refreshSchedules_data();
    void refreshSchedules();
    void silentNodeShowsErrorAndThePageGoesOn_data();
    void silentNodeShowsErrorAndThePageGoesOn();
    void restartedNodeIsOpenedAgain();

    void identityDecoding();
    void identityShowsTheNode();
    void identityUnlockedWritesAndFollowsTheNode();
    void identityEnterWhileLocked();
    void identityResetReopensTheNode();

    void deviceNetDecoding();
    void deviceNetShowsTheNode();
    void deviceNetWritesAndFollowsTheNode();

    void connectionDecoding();
    void connectionShowsBothInstances();
    void connectionPathWithoutItsLength();
    void connectionWritesAndFollowsTheNode();

private:
    // The main window with the node open, on the default bus or, with `hosted`, on a device the test
    // hosts itself.
    MainWindow& OpenNode(bool hosted, int flags = kBothConnections)
    {
        if (hosted) {
            host_ = std::make_unique<DeviceHost>();
            if (!host_->Ready()) {
                qFatal("device host: %s", host_->Error().c_str());
            }
            environment_->WriteProfile("[DNET]\nDRIVER=1\nDRIVERNAME=" + host_->BusString() + "\n");
        }
        window_ = std::make_unique<MainWindow>(nullptr,
                                               [this](std::string& why) { return environment_->CountedDriver(why); });
        window_->show();
        if (!window_->ChooseNode(kNode, flags)) {
            qFatal("node %d did not open", kNode);
        }
        return *window_;
    }

    template <class P>
    P* Open(int command)
    {
        window_->Action(command)->trigger();
        return qobject_cast<P*>(window_->CurrentPage());
    }

    // Writes the node's password through the page's (hidden) password box and Enter.
    static void Unlock(IdentityPage& page)
    {
        Child(&page, "passwordField")->setText(QStringLiteral("1234"));
        QTest::keyClick(&page, Qt::Key_Return);
    }

    qsizetype Reads() const { return CallsOf(*environment_->calls, {dispid::kDNGetAttribute}).size(); }

    std::unique_ptr<ViewerEnvironment> environment_;
    std::unique_ptr<Modals> modals_;
    std::unique_ptr<DeviceHost> host_;
    std::unique_ptr<MainWindow> window_;
};

void ObjectPagesTest::pagesOpenFromTheMenuOneAtATime()
{
    OpenNode(false);
    const struct {
        int command;
        int code;
        int timerId;
        int periodMs;
        const char* title;
    } pages[] = {
        {Command::kIdentity, PageCode::kIdentity, 0x202, 200, "I D E N T I T Y   O B J E C T"},
        {Command::kDeviceNet, PageCode::kDeviceNet, 0x201, 100, "D E V I C E   N E T"},
        {Command::kConnection, PageCode::kConnection, 0x205, 200, "C O N N E C T I O N"},
    };
    QPointer<Page> previous;
    for (const auto& row : pages) {
        QPointer<Page> page = Open<Page>(row.command);
        QVERIFY(page);
        QVERIFY2(!previous, "opening a page closes the one before");
        QCOMPARE(page->Code(), row.code);
        QCOMPARE(page->TimerId(), row.timerId);
        QCOMPARE(page->PeriodMs(), row.periodMs);
        QVERIFY(page->isVisible() && page->TimerActive());
        QCOMPARE(Child<QLabel>(page, "title")->text(), QString::fromLatin1(row.title));
        previous = page;
    }
    QTest::keyClick(previous.data(), Qt::Key_Escape);
    QTRY_VERIFY(!previous);
    QVERIFY(window_->CurrentPage() == nullptr);

    // Without a module a page stays hidden and reads nothing.
    const qsizetype before = Reads();
    for (const auto& row : pages) {
        QWidget parent;
        std::unique_ptr<Page> page(CreatePage(row.code, PageContext{}, &parent));
        QVERIFY(page != nullptr);
        QVERIFY(!page->isVisible() && !page->TimerActive());
        page->Tick();
    }
    QCOMPARE(Reads(), before);
}

void ObjectPagesTest::refreshSchedules_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("partialReads");
    QTest::addColumn<int>("fullReads");
    QTest::newRow("Identity") << Command::kIdentity << 5 << 11;
    QTest::newRow("DeviceNet") << Command::kDeviceNet << 3 << 9;
    QTest::newRow("Connection") << Command::kConnection << 3 << 18;
}

// Eleven partial refreshes, then a full one, on the counter of the page kind.
void ObjectPagesTest::refreshSchedules()
{
    QFETCH(int, command);
    QFETCH(int, partialReads);
    QFETCH(int, fullReads);
    OpenNode(false);
    Page* page = Open<Page>(command);
    QVERIFY(page != nullptr);
    int& counter = TickCounterOf(command);
    if (auto* identity = qobject_cast<IdentityPage*>(page)) {
        counter = 3;
        const qsizetype before = Reads();
        page->Tick();
        QCOMPARE(Reads(), before); // locked: nothing is read, the counter stays
        QCOMPARE(counter, 3);
        Unlock(*identity);
        QVERIFY(identity->Unlocked());
    }
    counter = 0;
    QList<qsizetype> reads;
    for (int tick = 0; tick < 13; ++tick) {
        const qsizetype before = Reads();
        page->Tick();
        reads << Reads() - before;
    }
    QList<qsizetype> expected(11, partialReads);
    expected << fullReads << partialReads;
    QCOMPARE(reads, expected);

    // The counter belongs to the page kind: a new page goes on where the last one stopped.
    counter = 7;
    QVERIFY(Open<Page>(command) != nullptr);
    QCOMPARE(counter, 7);
}

void ObjectPagesTest::silentNodeShowsErrorAndThePageGoesOn_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("tickField"); // refreshed on every tick
    QTest::addColumn<QString>("tickValue");
    QTest::addColumn<QString>("fullField"); // refreshed on the full refresh
    QTest::addColumn<QString>("fullValue");
    QTest::newRow("Identity") << Command::kIdentity << "vendorIdEdit" << "1207" << "classRevisionField" << "1";
    QTest::newRow("DeviceNet") << Command::kDeviceNet << "busOffCountEdit" << "0" << "classRevisionField" << "2";
    QTest::newRow("Connection") << Command::kConnection << "expectedPacketRateEdit" << "0" << "stateField"
                                << "Established";
}

void ObjectPagesTest::silentNodeShowsErrorAndThePageGoesOn()
{
    QFETCH(int, command);
    QFETCH(QString, tickField);
    QFETCH(QString, tickValue);
    QFETCH(QString, fullField);
    QFETCH(QString, fullValue);
    MainWindow& window = OpenNode(true);
    window.Driver()->SetTimeout(50); // a silent node costs 50 ms a read, not a second
    Page* page = Open<Page>(command);
    QVERIFY(page != nullptr);
    if (auto* identity = qobject_cast<IdentityPage*>(page)) {
        Unlock(*identity);
    }
    const QByteArray tick = tickField.toLatin1();
    const QByteArray full = fullField.toLatin1();
    int& counter = TickCounterOf(command);

    HandTicks moduleTicks;
    window.DeviceModule()->UseTicks(moduleTicks);

    // The refresh stops at its first read without an answer; the fields it did not read say so.
    host_->SetSilent(true);
    counter = kPartialTicksPerCycle; // the next tick is a full refresh
    qsizetype before = Reads();
    page->Tick();
    QCOMPARE(Reads() - before, 1);
    QCOMPARE(Text(page, tick), QStringLiteral("Error"));
    QCOMPARE(Text(page, full), QStringLiteral("Error"));
    QVERIFY(page->isVisible() && page->TimerActive());

    // Back on the bus: the next try, a second later, finds it, and the page reads on.
    host_->SetSilent(false);
    counter = kPartialTicksPerCycle;
    before = Reads();
    page->Tick();
    QCOMPARE(Reads(), before);
    QCOMPARE(Text(page, tick), QStringLiteral("Error"));
    moduleTicks.now += Module::kRetryMs;
    counter = kPartialTicksPerCycle;
    page->Tick();
    QCOMPARE(Text(page, tick), tickValue);
    QCOMPARE(Text(page, full), fullValue);
    QCOMPARE(modals_->Take(), QStringList()); // a failed read is shown in place, never in a box
}

// The node goes off the bus and restarts there, losing its connections: the pages show "Error" and
// ask nothing between the tries, one a second; the try that finds it opens it again with the user's
// allocation, and the values come back.
void ObjectPagesTest::restartedNodeIsOpenedAgain()
{
    MainWindow& window = OpenNode(true);
    window.Driver()->SetTimeout(100);
    HandTicks moduleTicks;
    window.DeviceModule()->UseTicks(moduleTicks);
    auto* page = Open<DeviceNetPage>(Command::kDeviceNet);
    QVERIFY(page != nullptr);
    const auto calls = [this] { return environment_->calls->size(); };
    const auto tick = [&page](bool full) {
        DeviceNetPage::TickCounter() = full ? kPartialTicksPerCycle : 0;
        page->Tick();
    };

    host_->WithDevice([](devsim::BrelinDevice& device) {
        device.SetOffBus(true);
        device.PowerCycle();
    });
    std::size_t before = calls();
    tick(true);
    QCOMPARE(calls() - before, 1u);
    for (const char* field : {"busOffCountEdit", "classRevisionField", "masterIdField", "baudRateValueField"}) {
        QCOMPARE(Text(page, field), QStringLiteral("Error"));
    }
    QCOMPARE(Child<QComboBox>(page, "baudRateCombo")->currentIndex(), -1);

    // Between the tries nothing is asked, also by a page that opens: it shows at once what it
    // cannot read.
    before = calls();
    tick(false);
    auto* connection = Open<ConnectionPage>(Command::kConnection);
    QVERIFY(connection != nullptr);
    QCOMPARE(calls(), before);
    QCOMPARE(Text(connection, "stateField"), QStringLiteral("Error"));
    page = Open<DeviceNetPage>(Command::kDeviceNet);

    // A try a second later: one allocation request, unanswered.
    moduleTicks.now += Module::kRetryMs;
    before = calls();
    tick(false);
    QCOMPARE(CallsOf(std::vector(environment_->calls->begin() + static_cast<std::ptrdiff_t>(before),
                                 environment_->calls->end()),
                     {dispid::kDNAllocate, dispid::kDNGetAttribute, dispid::kOpenModule}),
             QStringList{"3(63,1)"});
    QCOMPARE(Text(page, "busOffCountEdit"), QStringLiteral("Error"));

    // Back on the bus, without its connections: the next try finds it and opens it again.
    host_->SetSilent(false);
    moduleTicks.now += Module::kRetryMs;
    before = calls();
    tick(false);
    const auto since = std::vector(environment_->calls->begin() + static_cast<std::ptrdiff_t>(before),
                                   environment_->calls->end());
    QCOMPARE(CallsOf(since, {dispid::kDNAllocate, dispid::kCloseModule, dispid::kOpenModule}),
             (QStringList{"3(63,1)", "14(63)", "13(63)"}));
    QCOMPARE(Text(page, "busOffCountEdit"), QStringLiteral("0"));
    QCOMPARE(Child<QComboBox>(page, "baudRateCombo")->currentText(), QStringLiteral("125K"));
    // The next tick reads everything, not waiting for the next full refresh; the cycle goes on.
    QCOMPARE(Text(page, "classRevisionField"), QStringLiteral("Error"));
    tick(false);
    QCOMPARE(DeviceNetPage::TickCounter(), 1);
    QCOMPARE(Text(page, "classRevisionField"), QStringLiteral("2"));
    QCOMPARE(Text(page, "masterIdField"), QStringLiteral("0"));
    QVERIFY(Checked(page, "explicitCheck") && Checked(page, "pollCheck")); // the user's allocation
    QCOMPARE(window.DeviceModule()->Poll().OutputSize(), 8);
    QCOMPARE(modals_->Take(), QStringList()); // without a dialog
}

void ObjectPagesTest::identityDecoding()
{
    // The status word in its six boxes, at the full refresh of an unlocked page.
    TableDevice device;
    IdentityPage page({&device.module, Allocation::kExplicit, 0}, nullptr);
    Child(&page, "passwordField")->setText(QStringLiteral("1"));
    QTest::keyClick(&page, Qt::Key_Return); // the scripted node takes any password
    QVERIFY(page.Unlocked());
    const char* const boxes[] = {"ownedCheck",           "configuredCheck",         "minorRecoverableCheck",
                                 "minorUnrecoverableCheck", "majorRecoverableCheck", "majorUnrecoverableCheck"};
    const struct {
        std::uint16_t status;
        std::array<bool, 6> checked; // owned, configured, minor recoverable/unrecoverable, major ...
    } statuses[] = {
        {0x00F1, {true, false, false, false, false, false}}, // bits 4..7: extended status, not faults
        {0x0F00, {false, false, true, true, true, true}},
        {0x0005, {true, true, false, false, false, false}},
        {0x0100, {false, false, true, false, false, false}},
        {0x0200, {false, false, false, true, false, false}},
        {0x0400, {false, false, false, false, true, false}},
        {0x0800, {false, false, false, false, false, true}},
        {0xF00A, {false, false, false, false, false, false}},
    };
    for (const auto& row : statuses) {
        device.values[{1, 1, 5}] = {static_cast<std::uint8_t>(row.status), static_cast<std::uint8_t>(row.status >> 8)};
        IdentityPage::TickCounter() = kPartialTicksPerCycle;
        page.Tick();
        QCOMPARE(Text(&page, "statusField"), QString::number(row.status));
        for (std::size_t i = 0; i < std::size(boxes); ++i) {
            QVERIFY2(Checked(&page, boxes[i]) == row.checked[i],
                     qPrintable(QString::number(row.status, 16) + QLatin1Char(' ') + QLatin1String(boxes[i])));
        }
    }

    const struct {
        std::uint8_t state;
        int entry;
    } states[] = {{0, 0}, {3, 3}, {5, 5}, {6, -1}, {7, -1}, {0x0F, -1}, {0x12, 2}, {0xF3, 3}};
    for (const auto& row : states) {
        QCOMPARE(IdentityPage::StateEntry(row.state), row.entry);
    }

    QCOMPARE(IdentityPage::RevisionText({1, 2}), QStringLiteral("001.002"));
    QCOMPARE(IdentityPage::RevisionText({127, 255}), QStringLiteral("127.255"));
    const struct {
        const char* text;
        bool parsed;
        const char* hex; // written; the revision before was 07 09
    } revisions[] = {
        {"1.10", true, "010A"},     {"001.002", true, "0102"}, {" 3.4x", true, "0304"},
        {"2", true, "0209"},        {"1 .5", true, "0109"},    {"300.-1", true, "2CFF"},
        {"Error", false, "0709"},   {"", false, "0709"},       {".5", false, "0709"},
        {"00000000000000000001.5", true, "0109"}, // the minor lies past the first 20 characters
    };
    for (const auto& row : revisions) {
        std::array<std::uint8_t, 2> revision{7, 9};
        QCOMPARE(IdentityPage::ParseRevision(QString::fromLatin1(row.text), revision), row.parsed);
        QCOMPARE(IdentityPage::RevisionHex(revision), QString::fromLatin1(row.hex));
    }
}

void ObjectPagesTest::identityShowsTheNode()
{
    MainWindow& window = OpenNode(false);
    auto* page = Open<IdentityPage>(Command::kIdentity);
    QVERIFY(page != nullptr);
    const struct {
        const char* field;
        const char* text;
    } fields[] = {
        {"classRevisionField", "1"}, {"maxInstanceField", "1"},    {"maxClassAttrField", "7"},
        {"maxInstAttrField", "8"},   {"vendorIdEdit", "1207"},     {"deviceTypeEdit", "12"},
        {"productCodeEdit", "4201"}, {"revisionField", "001.004"}, {"serialNumberEdit", "12050885"},
        {"productNameEdit", "Brelin GW"},
    };
    for (const auto& row : fields) {
        QCOMPARE(Text(page, row.field), QString::fromLatin1(row.text));
    }
    QCOMPARE(Child<QComboBox>(page, "stateList")->currentText(), QStringLiteral("Operational"));
    QVERIFY(!Child<QComboBox>(page, "stateList")->isEnabled());

    // With its connections the node reports an extended device status in bits 4..7 and no fault.
    const QString status = ReadDevice(window.DeviceModule(), 1, 1, 5, 2, ValueType::kUInt16);
    QCOMPARE(Text(page, "statusField"), status);
    QVERIFY((status.toUInt() & 0xF0) != 0);
    QVERIFY(Checked(page, "ownedCheck"));
    for (const char* box :
         {"configuredCheck", "minorRecoverableCheck", "minorUnrecoverableCheck", "majorRecoverableCheck",
          "majorUnrecoverableCheck"}) {
        QVERIFY2(!Checked(page, box), box);
    }

    for (const char* field : {"vendorIdEdit", "deviceTypeEdit", "productCodeEdit", "revisionField", "serialNumberEdit",
                              "productNameEdit"}) {
        QVERIFY2(Child(page, field)->isReadOnly(), field);
    }
    QVERIFY(!Child(page, "passwordField")->isVisibleTo(page));
    QVERIFY(!page->Unlocked());
}

void ObjectPagesTest::identityUnlockedWritesAndFollowsTheNode()
{
    MainWindow& window = OpenNode(true);
    Module* module = window.DeviceModule();
    auto* page = Open<IdentityPage>(Command::kIdentity);
    QVERIFY(page != nullptr);
    HandTicks ticks;
    page->UseTicks(ticks);

    Child(page, "passwordField")->setText(QStringLiteral("4321"));
    QTest::keyClick(page, Qt::Key_Return);
    QVERIFY(!page->Unlocked()); // a wrong password leaves the page locked
    Unlock(*page);
    QVERIFY(page->Unlocked());
    QCOMPARE(Text(page, "passwordField"), QString());
    QVERIFY(!Child(page, "vendorIdEdit")->isReadOnly() && !Child(page, "revisionField")->isReadOnly());

    // A name longer than nine characters is shown whole.
    const QString name = QStringLiteral("Brelin Gateway Hall 3");
    Type(Child(page, "productNameEdit"), name);
    QCOMPARE(ReadDevice(module, 1, 1, 7, kVariableSize, ValueType::kShortString), name);
    page->Tick();
    QCOMPARE(Text(page, "productNameEdit"), name);

    // The revision as major.minor: 1.10 is written as 01 0A and read back 20 ms later.
    ticks.pauses.clear();
    Type(Child(page, "revisionField"), QStringLiteral("1.10"));
    QCOMPARE(ReadDevice(module, 1, 1, 4, 2), QStringLiteral("010A"));
    QCOMPARE(Text(page, "revisionField"), QStringLiteral("001.010"));
    QCOMPARE(ticks.pauses, std::vector<std::uint32_t>{IdentityPage::kRewriteSettleMs});

    // A held field keeps what the user typed.
    Type(Child(page, "vendorIdEdit"), QStringLiteral("999"), false);
    for (int tick = 0; tick < 3; ++tick) {
        page->Tick();
    }
    QCOMPARE(Text(page, "vendorIdEdit"), QStringLiteral("999"));
    QCOMPARE(ReadDevice(module, 1, 1, 1, 2), QStringLiteral("B704")); // nothing written

    // A serial line error on the node is its minor recoverable fault, shown at the next full refresh.
    host_->WithDevice([](devsim::BrelinDevice& device) { device.InjectSerialErrors(true, false, false); });
    IdentityPage::TickCounter() = 0;
    for (int tick = 0; tick < kPartialTicksPerCycle; ++tick) {
        page->Tick();
    }
    QVERIFY(!Checked(page, "minorRecoverableCheck"));
    page->Tick();
    QVERIFY(Checked(page, "minorRecoverableCheck"));
    QVERIFY(!Checked(page, "majorRecoverableCheck"));
    QVERIFY((Text(page, "statusField").toUInt() & 0x0100) != 0);
}

void ObjectPagesTest::identityEnterWhileLocked()
{
    OpenNode(false);
    auto* page = Open<IdentityPage>(Command::kIdentity);
    QVERIFY(page != nullptr);
    HandTicks ticks;
    page->UseTicks(ticks);
    const auto writes = [this] { return CallsOf(*environment_->calls, {dispid::kDNSetAttribute}); };

    // Locked, Enter sends the revision the box shows back to the node, which refuses it silently.
    // Enter in a read-only field is the page's: the field itself writes nothing.
    QTest::keyClick(Child(page, "vendorIdEdit"), Qt::Key_Return);
    QCOMPARE(writes(), QStringList{QStringLiteral("6(63,1,1,4,2)")});
    QCOMPARE(Text(page, "revisionField"), QStringLiteral("001.004"));

    // With "Error" in the box nothing is written; the revision is only read again.
    Child(page, "revisionField")->setText(QStringLiteral("Error"));
    QTest::keyClick(Child(page, "revisionField"), Qt::Key_Return);
    QCOMPARE(writes().size(), 1);
    QCOMPARE(Text(page, "revisionField"), QStringLiteral("001.004"));
    QCOMPARE(ticks.pauses, (std::vector<std::uint32_t>{20, 20}));
    QVERIFY(!page->Unlocked());
    QCOMPARE(modals_->Take(), QStringList());
}

void ObjectPagesTest::identityResetReopensTheNode()
{
    MainWindow& window = OpenNode(true);
    window.Driver()->SetTimeout(100);
    Module* module = window.DeviceModule();
    auto* page = Open<IdentityPage>(Command::kIdentity);
    QVERIFY(page != nullptr);
    HandTicks ticks;
    page->UseTicks(ticks);
    Unlock(*page);
    QVERIFY(WriteDevice(module, 1, 1, 3, ValueType::kUInt16, 2, "77")); // product code, while unlocked

    ticks.pauses.clear();
    environment_->calls->clear();
    Child<QPushButton>(page, "resetButton")->click();
    QCOMPARE(ticks.pauses, std::vector<std::uint32_t>{IdentityPage::kRestartMs});
    // The raw Reset request (header, service 5, class 1, instance 1, type 0), then the reopen.
    QCOMPARE(CallsOf(*environment_->calls, {dispid::kCANXmit, dispid::kCloseModule, dispid::kOpenModule}),
             (QStringList{"8(1532,5)", "14(63)", "13(63)"}));
    QVERIFY(module->IsOpen());
    QVERIFY(!page->Unlocked());
    QVERIFY(Child(page, "vendorIdEdit")->isReadOnly());
    QCOMPARE(Text(page, "productCodeEdit"), QStringLiteral("77"));
    QVERIFY2(!WriteDevice(module, 1, 1, 3, ValueType::kUInt16, 2, "78"), "the node is locked again after its Reset");
    QCOMPARE(modals_->Take(), QStringList());

    // A node that does not come back: the page says so and shows what it cannot read.
    ticks.onPause = [this](std::uint32_t) { host_->SetSilent(true); };
    Child<QPushButton>(page, "resetButton")->click();
    QCOMPARE(modals_->Take(), QStringList{QStringLiteral("Open Device Failed")});
    QVERIFY(!module->IsOpen());
    QCOMPARE(Text(page, "statusField"), QStringLiteral("Error"));
    QCOMPARE(Text(page, "vendorIdEdit"), QStringLiteral("Error"));
    QCOMPARE(Child<QComboBox>(page, "stateList")->currentIndex(), -1);

    // With the node closed no Reset is sent, and nothing else happens.
    ticks.pauses.clear();
    Child<QPushButton>(page, "resetButton")->click();
    QVERIFY(ticks.pauses.empty());
}

void ObjectPagesTest::deviceNetDecoding()
{
    const struct {
        std::uint8_t value;
        int entry;
    } macIds[] = {{0, 0}, {63, 63}, {70, 6}, {0xFF, 63}};
    for (const auto& row : macIds) {
        QCOMPARE(DeviceNetPage::MacIdEntry(row.value), row.entry);
    }
    // The allocation choice in its five boxes (bits 3, 6 and 7 have none) and the master's MAC ID,
    // at the full refresh.
    TableDevice device;
    DeviceNetPage page({&device.module}, nullptr);
    const char* const boxes[] = {"explicitCheck", "pollCheck", "strobeCheck", "cosCheck", "cyclicCheck"};
    const struct {
        std::uint8_t choice;
        std::array<bool, 5> checked; // explicit, poll, strobe, COS, cyclic
    } allocations[] = {
        {0x03, {true, true, false, false, false}}, {0x04, {false, false, true, false, false}},
        {0x10, {false, false, false, true, false}}, {0x20, {false, false, false, false, true}},
        {0xC8, {false, false, false, false, false}},
    };
    for (const auto& row : allocations) {
        device.values[{3, 1, 5}] = {row.choice, 12};
        DeviceNetPage::TickCounter() = kPartialTicksPerCycle;
        page.Tick();
        QCOMPARE(Text(&page, "masterIdField"), QStringLiteral("12"));
        for (std::size_t i = 0; i < std::size(boxes); ++i) {
            QVERIFY2(Checked(&page, boxes[i]) == row.checked[i], boxes[i]);
        }
    }
    QCOMPARE(DeviceNetPage::SwitchChangedText(0), QStringLiteral("No Change"));
    QCOMPARE(DeviceNetPage::SwitchChangedText(1), QStringLiteral("Changed"));
    QCOMPARE(DeviceNetPage::SwitchChangedText(2), QStringLiteral("No Change"));
    const QString rates[] = {"125K", "250K", "500K", "Error", "Error"};
    const std::uint8_t rateValues[] = {0, 1, 2, 3, 9};
    for (std::size_t i = 0; i < std::size(rates); ++i) {
        QCOMPARE(DeviceNetPage::BaudRateText(rateValues[i]), rates[i]);
    }
}

void ObjectPagesTest::deviceNetShowsTheNode()
{
    OpenNode(false);
    auto* page = Open<DeviceNetPage>(Command::kDeviceNet);
    QVERIFY(page != nullptr);
    auto* macIds = Child<QListWidget>(page, "macIdList");
    QCOMPARE(macIds->count(), 64);
    QCOMPARE(macIds->item(10)->text(), QStringLiteral("10"));
    QCOMPARE(macIds->currentRow(), kNode);
    QCOMPARE(Child<QComboBox>(page, "baudRateCombo")->currentText(), QStringLiteral("125K"));
    QCOMPARE(Child<QComboBox>(page, "busOffInterruptCombo")->currentText(), QStringLiteral("Disable"));
    const struct {
        const char* field;
        const char* text;
    } fields[] = {
        {"classRevisionField", "2"}, {"busOffCountEdit", "0"},          {"masterIdField", "0"},
        {"macIdSwitchField", "No Change"}, {"baudRateSwitchField", "No Change"}, {"macIdValueField", "63"},
        {"baudRateValueField", "125K"}, // a healthy node shows no "Error"
    };
    for (const auto& row : fields) {
        QCOMPARE(Text(page, row.field), QString::fromLatin1(row.text));
    }
    QVERIFY(Checked(page, "explicitCheck") && Checked(page, "pollCheck"));
    QVERIFY(!Checked(page, "strobeCheck") && !Checked(page, "cosCheck") && !Checked(page, "cyclicCheck"));
}

void ObjectPagesTest::deviceNetWritesAndFollowsTheNode()
{
    MainWindow& window = OpenNode(true);
    Module* module = window.DeviceModule();
    auto* page = Open<DeviceNetPage>(Command::kDeviceNet);
    QVERIFY(page != nullptr);
    HandTicks ticks;
    page->UseTicks(ticks);

    // The lists write the entry the user picks.
    QTest::keyClick(Child<QComboBox>(page, "busOffInterruptCombo"), Qt::Key_Down);
    QCOMPARE(ReadDevice(module, 3, 1, 3, 1), QStringLiteral("01"));
    QTest::keyClick(Child<QComboBox>(page, "baudRateCombo"), Qt::Key_Down);
    QCOMPARE(ReadDevice(module, 3, 1, 2, 1), QStringLiteral("01"));

    // A bus-off on the node shows within one tick; the user clears the counter.
    host_->WithDevice([](devsim::BrelinDevice& device) { device.InjectBusOff(); });
    page->Tick();
    QCOMPARE(Text(page, "busOffCountEdit"), QStringLiteral("1"));
    Type(Child(page, "busOffCountEdit"), QStringLiteral("0"));
    QCOMPARE(ReadDevice(module, 3, 1, 4, 1), QStringLiteral("00"));

    // While the user types, the field keeps the text.
    Type(Child(page, "busOffCountEdit"), QStringLiteral("7"), false);
    host_->WithDevice([](devsim::BrelinDevice& device) { device.InjectBusOff(); });
    page->Tick();
    page->Tick();
    QCOMPARE(Text(page, "busOffCountEdit"), QStringLiteral("7"));

    // A new MAC ID is written, and read back 20 ms later.
    auto* macIds = Child<QListWidget>(page, "macIdList");
    macIds->setCurrentRow(10);
    QCOMPARE(ReadDevice(module, 3, 1, 1, 1), QStringLiteral("0A"));
    QCOMPARE(macIds->currentRow(), 10);
    QCOMPARE(ticks.pauses, std::vector<std::uint32_t>{DeviceNetPage::kRewriteSettleMs});

    // With its switch set the node refuses a MAC ID: the list goes back to what the node holds.
    host_->WithDevice([](devsim::BrelinDevice& device) { device.SetSwitches(12, 9); });
    macIds->setCurrentRow(5);
    QCOMPARE(macIds->currentRow(), 10);
    QCOMPARE(ticks.pauses.size(), 2u);

    // The switch reaches the page at the next full refresh, not before.
    DeviceNetPage::TickCounter() = 0;
    for (int tick = 0; tick < kPartialTicksPerCycle; ++tick) {
        page->Tick();
    }
    QCOMPARE(Text(page, "macIdSwitchField"), QStringLiteral("No Change"));
    page->Tick();
    QCOMPARE(Text(page, "macIdSwitchField"), QStringLiteral("Changed"));
    QCOMPARE(Text(page, "macIdValueField"), QStringLiteral("12"));
    QCOMPARE(macIds->currentRow(), 10); // the timer never reads the MAC ID
}

void ObjectPagesTest::connectionDecoding()
{
    const QString states[] = {"Non-existant", "Configuring",     "Wait for Conn Id", "Established",
                              "Timed Out",    "Deferred Delete", "Error",            "Error"};
    const int stateValues[] = {0, 1, 2, 3, 4, 5, 6, 255};
    for (std::size_t i = 0; i < std::size(states); ++i) {
        QCOMPARE(ConnectionPage::StateName(stateValues[i]), states[i]);
    }

    const struct {
        std::uint8_t value;
        const char* direction;
        const char* trigger;
        const char* transportClass;
    } transports[] = {
        {0x83, "Server", "Cyclic", "3"},          {0x22, "Client", "Application Object", "2"},
        {0x11, "Client", "Change-of-State", "Reserved"}, {0x80, "Server", "Cyclic", "0"},
        {0x30, "Client", "Reserved", "0"},        {0xF4, "Server", "Reserved", "4"},
        {0x06, "Client", "Cyclic", "6"},          {0x07, "Client", "Cyclic", "Reserved"},
        {0x4F, "Client", "Reserved", "Reserved"},
    };
    for (const auto& row : transports) {
        QCOMPARE(ConnectionPage::DirectionText(row.value), QString::fromLatin1(row.direction));
        QCOMPARE(ConnectionPage::TriggerText(row.value), QString::fromLatin1(row.trigger));
        QCOMPARE(ConnectionPage::TransportClassText(row.value), QString::fromLatin1(row.transportClass));
    }

    QCOMPARE(ConnectionPage::IdentifierText(0x03FD), QStringLiteral("03fd"));
    QCOMPARE(ConnectionPage::IdentifierText(0xABCD), QStringLiteral("abcd"));

    const struct {
        std::uint8_t value;
        const char* produced;
        const char* consumed;
    } groups[] = {
        {0x21, "2 (Source)", "2 (Destination)"}, {0xFF, "Default", "Default"}, {0x45, "Reserved", "Reserved"},
        {0x03, "1", "3"},                        {0xE0, "Reserved", "1"},
    };
    for (const auto& row : groups) {
        QCOMPARE(ConnectionPage::MessageGroupName(row.value >> 4), QString::fromLatin1(row.produced));
        QCOMPARE(ConnectionPage::MessageGroupName(row.value & 0x0F), QString::fromLatin1(row.consumed));
    }
}

void ObjectPagesTest::connectionShowsBothInstances()
{
    OpenNode(false);
    auto* page = Open<ConnectionPage>(Command::kConnection);
    QVERIFY(page != nullptr);
    QVERIFY(Checked(page, "explicitRadio"));
    for (const char* disabled : {"strobeRadio", "cosRadio", "cyclicRadio"}) {
        QVERIFY(!Child<QRadioButton>(page, disabled)->isEnabled());
    }
    struct Shown {
        const char* field;
        const char* text;
    };
    const auto check = [page](std::initializer_list<Shown> fields) {
        for (const auto& row : fields) {
            QCOMPARE(Text(page, row.field), QString::fromLatin1(row.text));
        }
    };
    check({{"classRevisionEdit", "1"}, {"stateField", "Established"}, {"directionField", "Server"},
           {"triggerField", "Cyclic"}, {"transportClassField", "3"}, {"producedIdField", "05fb"},
           {"consumedIdField", "05fc"}, {"producedGroupField", "2 (Source)"}, {"consumedGroupField", "2 (Destination)"},
           {"producedSizeEdit", "64"}, {"consumedSizeEdit", "64"}, {"producedPathLengthEdit", "0"},
           {"producedPathEdit", ""}, {"consumedPathLengthEdit", "0"}, {"consumedPathEdit", ""},
           {"expectedPacketRateEdit", "0"}, {"productionInhibitTimeEdit", "0"}});
    QVERIFY(Checked(page, "explicitMessageRadio") && !Checked(page, "ioMessageRadio"));
    QCOMPARE(Child<QComboBox>(page, "watchdogCombo")->currentText(), QStringLiteral("Auto Delete"));

    // The user's click on the instance type does not change it.
    Child<QRadioButton>(page, "ioMessageRadio")->click();
    QVERIFY(Checked(page, "explicitMessageRadio") && !Checked(page, "ioMessageRadio"));

    // Poll: the next tick shows all of the poll connection, never the explicit one's values in
    // its boxes; the schedule of the full refreshes goes on as it was.
    Child<QRadioButton>(page, "pollRadio")->click();
    QCOMPARE(page->SelectedInstance(), ConnectionPage::kPollInstance);
    ConnectionPage::TickCounter() = 0;
    const qsizetype before = Reads();
    page->Tick();
    QCOMPARE(Reads() - before, 18);
    QCOMPARE(ConnectionPage::TickCounter(), 1);
    QCOMPARE(Child<QComboBox>(page, "watchdogCombo")->currentText(), QStringLiteral("Timeout"));
    check({{"stateField", "Established"}, {"transportClassField", "2"}, {"producedIdField", "03ff"},
           {"consumedIdField", "05fd"}, {"producedGroupField", "1"}, {"consumedGroupField", "2 (Destination)"},
           {"producedSizeEdit", "17"}, {"consumedSizeEdit", "8"}, {"producedPathLengthEdit", "6"},
           {"producedPathEdit", "200424643003"}, {"consumedPathLengthEdit", "6"},
           {"consumedPathEdit", "200424963003"}});
    QVERIFY(!Checked(page, "explicitMessageRadio") && Checked(page, "ioMessageRadio"));
}

// A path is as long as its length says: a length that cannot be read leaves the path unread, and
// it says so.
void ObjectPagesTest::connectionPathWithoutItsLength()
{
    TableDevice device;
    device.values[{5, 1, 13}] = {0x02, 0x00};
    device.values[{5, 1, 14}] = {0x20, 0x04};
    device.values[{5, 1, 16}] = {0x20, 0x05}; // its length, attribute 15, is not there
    ConnectionPage page({&device.module}, nullptr);
    QCOMPARE(Text(&page, "producedPathEdit"), QStringLiteral("2004"));
    QCOMPARE(Text(&page, "consumedPathLengthEdit"), QStringLiteral("Error"));
    QCOMPARE(Text(&page, "consumedPathEdit"), QStringLiteral("Error"));

    device.values.erase({5, 1, 13});
    device.TakeReads();
    ConnectionPage::TickCounter() = kPartialTicksPerCycle;
    page.Tick();
    QCOMPARE(Text(&page, "producedPathEdit"), QStringLiteral("Error")); // not the path read before
    const auto reads = device.TakeReads();
    QVERIFY(std::find(reads.begin(), reads.end(), TableDevice::Path{5, 1, 14}) == reads.end());
}

void ObjectPagesTest::connectionWritesAndFollowsTheNode()
{
    MainWindow& window = OpenNode(true);
    Module* module = window.DeviceModule();
    auto* page = Open<ConnectionPage>(Command::kConnection);
    QVERIFY(page != nullptr);

    Type(Child(page, "expectedPacketRateEdit"), QStringLiteral("5000"));
    QCOMPARE(ReadDevice(module, 5, 1, 9, 2), QStringLiteral("8813"));
    Type(Child(page, "productionInhibitTimeEdit"), QStringLiteral("100"));
    QCOMPARE(ReadDevice(module, 5, 1, 17, 2), QStringLiteral("6400"));

    // "Auto Reset" is refused for the explicit connection: the next tick shows the node's choice.
    auto* watchdog = Child<ValueCombo>(page, "watchdogCombo");
    QTest::keyClick(watchdog, Qt::Key_Down);
    QCOMPARE(watchdog->currentText(), QStringLiteral("Auto Reset"));
    page->Tick();
    QCOMPARE(watchdog->currentText(), QStringLiteral("Auto Delete"));
    QTest::keyClick(watchdog, Qt::Key_Down);
    QTest::keyClick(watchdog, Qt::Key_Down);
    QCOMPARE(ReadDevice(module, 5, 1, 12, 1), QStringLiteral("03"));

    // A change made elsewhere shows at the next tick; a field the user is typing in keeps its text.
    Type(Child(page, "productionInhibitTimeEdit"), QStringLiteral("77"), false);
    QVERIFY(WriteDevice(module, 5, 1, 9, ValueType::kUInt16, 2, "1234"));
    page->Tick();
    page->Tick();
    QCOMPARE(Text(page, "expectedPacketRateEdit"), QStringLiteral("1234"));
    QCOMPARE(Text(page, "productionInhibitTimeEdit"), QStringLiteral("77"));
    QVERIFY(Child<ValueEdit>(page, "productionInhibitTimeEdit")->IsHeld());
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brelinview"));
    ObjectPagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ObjectPagesTest.moc"
