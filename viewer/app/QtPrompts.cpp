#include "viewer/app/QtPrompts.h"

#include "viewer/app/Messages.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace orv::viewer {

void QtPrompts::MessageBox(const std::string& text)
{
    ShowMessage(parent_, QString::fromStdString(text));
}

std::optional<std::string> QtPrompts::OpenFile(const platform::OpenFileRequest& request)
{
    QString path;
    {
        const CursorPause pause;
        path = QFileDialog::getOpenFileName(parent_, QString(), QString(), QtFilter(request.filter));
    }
    if (path.isEmpty()) {
        return std::nullopt;
    }
    if (!request.defaultExtension.empty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) {
        path += QLatin1Char('.') + QString::fromStdString(request.defaultExtension);
    }
    return path.toStdString();
}

QString QtPrompts::QtFilter(std::string_view filter)
{
    QStringList entries;
    for (const platform::FileFilterEntry& entry : platform::ParseFileFilter(filter)) {
        QStringList patterns;
        for (const std::string& pattern : entry.patterns) {
            patterns << QString::fromStdString(pattern);
        }
        // Qt reads the patterns from the parentheses after the description.
        const QString description = QString::fromStdString(entry.description).section(QLatin1Char('('), 0, 0);
        entries << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

} // namespace orv::viewer
