#pragma once
// Network Configuration: which card, the master's MAC ID, the data rate, the card's I/O port and
// interrupt, and a driver name (a bus string for the stand-in card libraries), edited in the
// caller's DriverSettings. OK stores every field, or shows "Please enter an integer." and stays
// open when a number field does not hold one; Cancel changes nothing.

#include "driver/automation/DriverSettings.h"

#include <QDialog>

#include <memory>

class QLineEdit;

namespace Ui {
class NetworkConfigDialog;
}

namespace orv::viewer {

class NetworkConfigDialog final : public QDialog {
    Q_OBJECT

public:
    NetworkConfigDialog(automation::DriverSettings& settings, QWidget* parent);
    ~NetworkConfigDialog() override;

    // A whole signed 32-bit decimal integer, blanks around it allowed.
    static bool ParseInteger(const QString& text, int& value);

public slots:
    void accept() override;

private:
    // The number in `edit`, or the invalid-number message with the focus on `edit`.
    bool ReadNumber(QLineEdit* edit, int& value);

    std::unique_ptr<Ui::NetworkConfigDialog> ui_;
    automation::DriverSettings& settings_;
};

} // namespace orv::viewer
