// brelinview_screenshots DIR: renders the viewer's windows offscreen into DIR/*.png, with the
// driver library of this build on the simulated Brelin (node 63), a profile and a class registry of
// its own. scripts/screenshots runs it.

#include "platform/automation/Registration.h"
#include "viewer/app/MainWindow.h"
#include "viewer/app/NetworkConfigDialog.h"
#include "viewer/app/QtPrompts.h"
#include "viewer/app/SelectNodeDialog.h"
#include "viewer/model/Module.h"
#include "viewer/pages/IoMessagingPage.h"
#include "viewer/pages/SerialPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

using namespace orv::viewer;

constexpr int kNode = 63;

// Runs the event loop for `milliseconds`: layouts settle, a page refreshes.
void Settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(QWidget& widget, const QDir& folder, const QString& name)
{
    widget.show();
    Settle(50);
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(file)) {
        std::fprintf(stderr, "brelinview_screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brelinview"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: brelinview_screenshots DIR\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "brelinview_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    // A registry and profile of its own, with this build's driver library registered.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("ORV_REGISTRY", (config.path() + QStringLiteral("/registry.ini")).toLocal8Bit());
    qunsetenv("ORV_CANBUS");
    const std::string library =
        (QApplication::applicationDirPath() + QStringLiteral("/libOrvDeviceNetDriver.so")).toStdString();
    std::string why;
    if (orv::platform::automation::FAILED(orv::platform::automation::RegisterServerLibrary(library, &why))) {
        std::fprintf(stderr, "brelinview_screenshots: cannot register %s: %s\n", library.c_str(), why.c_str());
        return 1;
    }
    QtPrompts prompts;
    const orv::platform::ScopedPromptHandler promptScope(prompts);

    bool saved = true;
    MainWindow window;
    window.resize(720, 520);
    saved = Save(window, folder, QStringLiteral("main-window")) && saved;
    {
        orv::automation::DriverSettings settings = window.Settings();
        settings.SetDriverType(1);
        NetworkConfigDialog dialog(settings, &window);
        saved = Save(dialog, folder, QStringLiteral("network-configuration")) && saved;
    }
    {
        int node = kNode;
        int flags = 0;
        SelectNodeDialog dialog(node, flags, &window);
        saved = Save(dialog, folder, QStringLiteral("select-node-address")) && saved;
    }
    if (!window.ChooseNode(kNode, Allocation::kExplicit | Allocation::kPoll)) {
        std::fprintf(stderr, "brelinview_screenshots: node %d did not open\n", kNode);
        return 1;
    }
    window.OpenPage(PageCode::kIoMessaging);
    if (qobject_cast<IoMessagingPage*>(window.CurrentPage()) != nullptr) {
        Settle(300); // a few poll exchanges
        saved = Save(window, folder, QStringLiteral("io-messaging")) && saved;
    }
    const struct {
        int code;
        const char* name;
    } objectPages[] = {
        {PageCode::kIdentity, "identity"}, {PageCode::kDeviceNet, "devicenet"}, {PageCode::kConnection, "connection"}};
    for (const auto& page : objectPages) {
        window.OpenPage(page.code);
        if (window.CurrentPage() != nullptr) {
            window.resize(720, 520); // as small as the page lets it be
            Settle(300);
            saved = Save(window, folder, QString::fromLatin1(page.name)) && saved;
        }
    }
    // The serial interface page in both modes, and with its bytes in hex.
    window.OpenPage(PageCode::kSerialInterface, SerialMode::kSetup);
    if (qobject_cast<SerialPage*>(window.CurrentPage()) != nullptr) {
        saved = Save(window, folder, QStringLiteral("serial-setup")) && saved;
    }
    window.OpenPage(PageCode::kSerialInterface, SerialMode::kView);
    if (auto* page = qobject_cast<SerialPage*>(window.CurrentPage())) {
        saved = Save(window, folder, QStringLiteral("serial-view")) && saved;
        page->findChild<QCheckBox*>(QStringLiteral("hexViewCheck"))->click();
        page->RefreshSections(SerialPage::kAllSections);
        saved = Save(window, folder, QStringLiteral("serial-hex")) && saved;
    }
    window.close();
    return saved ? 0 : 1;
}
