#include "viewer/app/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace orv::viewer {

void ShowMessage(QWidget* parent, const QString& text)
{
    const CursorPause pause;
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

CursorPause::CursorPause()
{
    while (const QCursor* cursor = QApplication::overrideCursor()) {
        lifted_.prepend(*cursor);
        QApplication::restoreOverrideCursor();
    }
}

CursorPause::~CursorPause()
{
    for (const QCursor& cursor : lifted_) {
        QApplication::setOverrideCursor(cursor);
    }
}

} // namespace orv::viewer
