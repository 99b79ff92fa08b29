#include "viewer/pages/Page.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace orv::viewer {

Page::Page(int code, int timerId, int periodMs, QWidget* parent)
    : QWidget(parent), code_(code), timerId_(timerId), mainWindow_(parent != nullptr ? parent->window() : nullptr)
{
    timer_.setSingleShot(true);
    timer_.setInterval(periodMs);
    connect(&timer_, &QTimer::timeout, this, &Page::Tick);
}

Page::~Page()
{
    timer_.stop();
    // Out of the main window's layout before the window shows its splash picture in its place, so
    // that the window never has to hold both at once.
    hide();
    if (mainWindow_ != nullptr) {
        PageClosedEvent closed(code_);
        QCoreApplication::sendEvent(mainWindow_, &closed);
    }
}

void Page::Tick()
{
    Refresh();
    if (isVisible()) {
        timer_.start();
    }
}

void Page::ClosePage()
{
    hide();
    deleteLater();
}

void Page::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    timer_.start();
}

void Page::hideEvent(QHideEvent* event)
{
    timer_.stop();
    QWidget::hideEvent(event);
}

void Page::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        ClosePage();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        DefaultAction();
    }
    // Enter and Esc end at the page: they never reach the main window, which closes on them.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orv::viewer
