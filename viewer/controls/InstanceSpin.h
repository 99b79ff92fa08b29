#pragma once
// A horizontal up-down control that picks an instance number: two arrow buttons, the Left/Right
// (and Up/Down) keys, a range whose ends wrap round, and a read-only buddy field that shows the
// position as a number.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace orv::viewer {

class InstanceSpin final : public QWidget {
    Q_OBJECT

public:
    explicit InstanceSpin(QWidget* parent = nullptr);

    // The range; the position is moved into it.
    void SetRange(int minimum, int maximum);
    // The field that shows the position; it gets the current position at once.
    void SetBuddy(QLineEdit* buddy);
    void SetValue(int value);
    int Value() const { return value_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }

    // One step up (+1) or down (-1); past an end the position wraps round to the other end.
    void Step(int direction);

signals:
    void ValueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* down_;
    QToolButton* up_;
    QLineEdit* buddy_ = nullptr;
    int minimum_ = 1;
    int maximum_ = 1;
    int value_ = 1;
};

} // namespace orv::viewer
