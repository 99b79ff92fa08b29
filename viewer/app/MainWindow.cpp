#include "viewer/app/MainWindow.h"

#include "ui_AboutDialog.h"
#include "ui_MainWindow.h"
#include "viewer/app/DriverClient.h"
#include "viewer/app/Messages.h"
#include "viewer/app/NetworkConfigDialog.h"
#include "viewer/app/SelectNodeDialog.h"
#include "viewer/model/Module.h"
#include "viewer/pages/PageFactory.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <algorithm>

// The pictures live in the viewer's library; register them before a window uses them.
static void InitialiseViewerResources()
{
    Q_INIT_RESOURCE(brelinview);
}

namespace orv::viewer {
namespace {

constexpr int kCardWithOwnFrameLayout = 0; // CAN712: a received frame's data at offset 6

} // namespace

std::unique_ptr<DriverClient> MainWindow::CreateDriver(std::string& why)
{
    auto driver = std::make_unique<DriverClient>();
    if (platform::automation::FAILED(driver->Create(&why))) {
        return nullptr;
    }
    return driver;
}

MainWindow::MainWindow(QWidget* parent, DriverFactory driverFactory)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()), driverFactory_(std::move(driverFactory))
{
    InitialiseViewerResources();
    ui_->setupUi(this);

    const struct {
        QAction* action;
        int command;
    } commands[] = {
        {ui_->exitAction, Command::kExit},
        {ui_->configurationAction, Command::kConfiguration},
        {ui_->selectNodeAction, Command::kSelectNodeAddress},
        {ui_->identityAction, Command::kIdentity},
        {ui_->deviceNetAction, Command::kDeviceNet},
        {ui_->connectionAction, Command::kConnection},
        {ui_->viewSerialAction, Command::kViewSerialInterface},
        {ui_->setupSerialAction, Command::kSetupSerialInterface},
        {ui_->ioMessagingAction, Command::kIoMessaging},
        {ui_->aboutAction, Command::kAbout},
    };
    for (const auto& [action, command] : commands) {
        action->setData(command);
    }
    connect(ui_->exitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui_->configurationAction, &QAction::triggered, this, &MainWindow::Configuration);
    connect(ui_->selectNodeAction, &QAction::triggered, this, &MainWindow::SelectNodeAddress);
    connect(ui_->identityAction, &QAction::triggered, this, [this] { OpenPage(PageCode::kIdentity); });
    connect(ui_->deviceNetAction, &QAction::triggered, this, [this] { OpenPage(PageCode::kDeviceNet); });
    connect(ui_->connectionAction, &QAction::triggered, this, [this] { OpenPage(PageCode::kConnection); });
    connect(ui_->viewSerialAction, &QAction::triggered, this,
            [this] { OpenPage(PageCode::kSerialInterface, SerialMode::kView); });
    connect(ui_->setupSerialAction, &QAction::triggered, this,
            [this] { OpenPage(PageCode::kSerialInterface, SerialMode::kSetup); });
    connect(ui_->ioMessagingAction, &QAction::triggered, this, [this] { OpenPage(PageCode::kIoMessaging); });
    connect(ui_->aboutAction, &QAction::triggered, this, &MainWindow::About);

    EnablePageCommands(false);
    ShowSplash();
    profile_.ReadSettings(settings_);
    nodeAddress_ = profile_.ReadNodeAddress();
    InitialiseDriver();
}

MainWindow::~MainWindow()
{
    ClosePages();
    CloseDevice();
}

void MainWindow::InitialiseDriver()
{
    if (!driver_) {
        std::string why;
        driver_ = driverFactory_(why);
        if (!driver_) {
            ShowMessage(this, QString::fromStdString(why));
            return; // no driver and no module: every open reports the network as not configured
        }
    }
    if (!module_) {
        module_ = std::make_unique<Module>();
    }
}

bool MainWindow::OpenDevice()
{
    if (!driver_) {
        ShowMessage(this, kNetworkNotConfiguredMessage);
        return false;
    }
    if (!module_) {
        ShowMessage(this, kCreateModuleFailedMessage);
        return false;
    }
    if (nodeAddress_ < 0 || allocationFlags_ < 1) {
        return false;
    }
    // Settings changed after a successful Init reach the driver only with the next Init.
    if (!driver_->IsInitialized()) {
        if (!driver_->Init(settings_.Data())) {
            ShowMessage(this, kDriverInitFailedMessage);
            return false;
        }
        initialisedDriverType_ = settings_.DriverType();
    } else if (initialisedDriverType_ < 0) {
        initialisedDriverType_ = settings_.DriverType(); // opened by another client of this process
    }
    module_->SetAddress(nodeAddress_);
    module_->SetDriver(driver_.get());
    module_->SetFrameDataOffset(initialisedDriverType_ == kCardWithOwnFrameLayout ? Module::kVoraFrameDataOffset
                                                                                  : Module::kFrameDataOffset);
    if (!module_->Open(allocationFlags_)) {
        ShowMessage(this, kOpenDeviceFailedMessage);
        return false;
    }
    return true;
}

void MainWindow::SelectNodeAddress()
{
    ClosePages();
    int nodeAddress = nodeAddress_;
    int allocationFlags = allocationFlags_;
    SelectNodeDialog dialog(nodeAddress, allocationFlags, this);
    if (dialog.exec() == QDialog::Accepted) {
        ChooseNode(nodeAddress, allocationFlags);
    }
    ShowSplash();
}

bool MainWindow::ChooseNode(int nodeAddress, int allocationFlags)
{
    nodeAddress_ = nodeAddress;
    allocationFlags_ = allocationFlags;
    if (module_) {
        module_->Close();
    }
    profile_.WriteNodeAddress(nodeAddress_);
    const WaitCursor wait;
    const bool open = OpenDevice();
    EnablePageCommands(open);
    return open;
}

void MainWindow::Configuration()
{
    ClosePages();
    NetworkConfigDialog dialog(settings_, this);
    if (dialog.exec() == QDialog::Accepted) {
        profile_.WriteSettings(settings_);
    }
    ShowSplash();
}

void MainWindow::OpenPage(int code, int serialMode)
{
    ClosePages();
    const PageContext context{module_.get(), allocationFlags_, settings_.ScnId(), serialMode};
    Page* page = CreatePage(code, context, ui_->centralWidget);
    if (page == nullptr) {
        return;
    }
    ui_->splashPicture->hide();
    ui_->cornerLogo->show();
    Slot(code) = page;
    ui_->pageArea->addWidget(page);
}

void MainWindow::About()
{
    QDialog dialog(this);
    Ui::AboutDialog about;
    about.setupUi(&dialog);
    dialog.exec();
}

QAction* MainWindow::Action(int command) const
{
    for (QAction* action : findChildren<QAction*>()) {
        if (action->data().toInt() == command && !action->isSeparator()) {
            return action;
        }
    }
    return nullptr;
}

bool MainWindow::PageCommandsEnabled() const
{
    return ui_->identityAction->isEnabled();
}

Page* MainWindow::CurrentPage() const
{
    const auto open = std::find_if(pages_.begin(), pages_.end(), [](Page* page) { return page != nullptr; });
    return open != pages_.end() ? *open : nullptr;
}

bool MainWindow::SplashShown() const
{
    return !ui_->splashPicture->isHidden() && ui_->cornerLogo->isHidden();
}

void MainWindow::EnablePageCommands(bool enabled)
{
    for (QAction* action : {ui_->identityAction, ui_->deviceNetAction, ui_->connectionAction, ui_->viewSerialAction,
                            ui_->setupSerialAction, ui_->ioMessagingAction}) {
        action->setEnabled(enabled);
    }
}

void MainWindow::ShowSplash()
{
    ui_->splashPicture->show();
    ui_->cornerLogo->hide();
}

void MainWindow::ClosePages()
{
    for (Page* page : pages_) {
        delete page; // its PageClosed clears the slot
    }
}

void MainWindow::CloseDevice()
{
    if (module_) {
        module_->Close();
        module_.reset();
    }
    if (driver_) {
        driver_->Close(); // never answers 0
        driver_->Release();
        driver_.reset();
    }
}

Page*& MainWindow::Slot(int code)
{
    switch (code) {
    case PageCode::kIdentity: return pages_[0];
    case PageCode::kDeviceNet: return pages_[1];
    case PageCode::kConnection: return pages_[2];
    case PageCode::kSerialInterface: return pages_[3];
    case PageCode::kIoMessaging: return pages_[4];
    default: noSlot_ = nullptr; return noSlot_;
    }
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == PageClosedEvent::kType) {
        const int code = static_cast<PageClosedEvent*>(event)->Code();
        if (Page*& slot = Slot(code); &slot != &noSlot_) {
            slot = nullptr;
        } else {
            ShowMessage(this, kUnknownPageMessage);
        }
        ShowSplash();
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    CloseDevice();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ClosePages();
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter: close(); break;
    default: QMainWindow::keyPressEvent(event); break;
    }
}

} // namespace orv::viewer
