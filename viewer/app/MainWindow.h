#pragma once
// The viewer's main window ("DNV Brelin"): its menu, the driver client and the module it owns for
// the whole run, the open-device sequence, the two configuration dialogs with the profile, and the
// one page shown at a time. Closing it closes the module, then the driver.

#include "driver/automation/DriverSettings.h"
#include "viewer/app/DriverClient.h"
#include "viewer/app/ViewerProfile.h"
#include "viewer/model/Module.h"
#include "viewer/pages/Page.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QAction;

namespace Ui {
class MainWindow;
}

namespace orv::viewer {

// Command numbers of the menu items.
namespace Command {
inline constexpr int kExit = 57665;
inline constexpr int kConfiguration = 32774;
inline constexpr int kSelectNodeAddress = 32777;
inline constexpr int kIdentity = 32772;
inline constexpr int kDeviceNet = 32773;
inline constexpr int kConnection = 32781;
inline constexpr int kViewSerialInterface = 32779;
inline constexpr int kSetupSerialInterface = 32780;
inline constexpr int kIoMessaging = 32778;
inline constexpr int kAbout = 0x10;
} // namespace Command

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // Makes the driver client bound to its automation object, or null with the reason in `why`.
    using DriverFactory = std::function<std::unique_ptr<DriverClient>(std::string& why)>;
    // The client of OrvDeviceNetCom created by its ProgID.
    static std::unique_ptr<DriverClient> CreateDriver(std::string& why);

    // Reads the profile and creates the driver object and the module; a failure to create the
    // driver object is reported and leaves the window without a driver.
    explicit MainWindow(QWidget* parent = nullptr, DriverFactory driverFactory = CreateDriver);
    ~MainWindow() override;

    // Opens the chosen node: Init when the driver is not initialised, then the module. True when
    // the node is open; failures are reported in message boxes.
    bool OpenDevice();

    // The menu's action for a command number, null for none.
    QAction* Action(int command) const;
    bool PageCommandsEnabled() const;
    // The open page, null when none.
    Page* CurrentPage() const;
    bool SplashShown() const;

    DriverClient* Driver() const { return driver_.get(); }
    Module* DeviceModule() const { return module_.get(); }
    int NodeAddress() const { return nodeAddress_; }
    int AllocationFlags() const { return allocationFlags_; }
    const automation::DriverSettings& Settings() const { return settings_; }

    // What OK in Select Node Address does with the choice: close the node, store the address in the
    // profile and open the new choice. True when it is open.
    bool ChooseNode(int nodeAddress, int allocationFlags);

public slots:
    void Configuration();
    void SelectNodeAddress();
    // Closes the open page and opens the page of `code` on the open module.
    void OpenPage(int code, int serialMode = SerialMode::kSetup);
    void About();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr std::size_t kPageSlots = 5;

    void InitialiseDriver();
    void EnablePageCommands(bool enabled);
    void ShowSplash();
    // Destroys every open page; each reports PageClosed while it goes.
    void ClosePages();
    // Closes the module and deletes it, then closes and releases the driver; once.
    void CloseDevice();
    Page*& Slot(int code);

    std::unique_ptr<Ui::MainWindow> ui_;
    DriverFactory driverFactory_;
    ViewerProfile profile_;
    automation::DriverSettings settings_;
    std::unique_ptr<DriverClient> driver_;
    std::unique_ptr<Module> module_;
    int nodeAddress_ = ViewerProfile::kNoNode;
    int allocationFlags_ = 0;
    // The card the driver was opened for: where its CANRcv puts a frame's data.
    int initialisedDriverType_ = -1;
    std::array<Page*, kPageSlots> pages_{};
    Page* noSlot_ = nullptr;
};

} // namespace orv::viewer
