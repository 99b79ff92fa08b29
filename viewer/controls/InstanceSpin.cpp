#include "viewer/controls/InstanceSpin.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace orv::viewer {

InstanceSpin::InstanceSpin(QWidget* parent)
    : QWidget(parent), down_(new QToolButton(this)), up_(new QToolButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    down_->setArrowType(Qt::LeftArrow);
    up_->setArrowType(Qt::RightArrow);
    for (QToolButton* button : {down_, up_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    down_->setObjectName(QStringLiteral("down"));
    up_->setObjectName(QStringLiteral("up"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(down_);
    layout->addWidget(up_);
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
}

void InstanceSpin::SetRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    SetValue(std::clamp(value_, minimum_, maximum_));
}

void InstanceSpin::SetBuddy(QLineEdit* buddy)
{
    buddy_ = buddy;
    if (buddy_ != nullptr) {
        buddy_->setText(QString::number(value_));
    }
}

void InstanceSpin::SetValue(int value)
{
    const bool changed = value != value_;
    value_ = value;
    if (buddy_ != nullptr) {
        buddy_->setText(QString::number(value_));
    }
    if (changed) {
        emit ValueChanged(value_);
    }
}

void InstanceSpin::Step(int direction)
{
    int next = value_ + direction;
    if (next > maximum_) {
        next = minimum_;
    } else if (next < minimum_) {
        next = maximum_;
    }
    SetValue(next);
}

void InstanceSpin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up: Step(1); break;
    case Qt::Key_Left:
    case Qt::Key_Down: Step(-1); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

} // namespace orv::viewer
