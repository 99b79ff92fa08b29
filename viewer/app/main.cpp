// brelinview: the viewer of the Brelin DeviceNet-to-serial gateway. The driver library is reached
// through its automation interface only; the profile is brelinview.ini in $XDG_CONFIG_HOME.

#include "viewer/app/MainWindow.h"
#include "viewer/app/QtPrompts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brelinview"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));

    // The driver library asks through the host's prompts: card library not found, card errors.
    orv::viewer::QtPrompts prompts;
    const orv::platform::ScopedPromptHandler promptScope(prompts);

    orv::viewer::MainWindow window;
    prompts.SetParent(&window);
    window.show();
    return QApplication::exec();
}
