#pragma once
// Select Node Address: the slave's MAC ID (0 to 63) and which predefined connections to allocate.
// Explicit starts checked and Poll unchecked whatever was chosen before; Poll is only ever chosen
// together with Explicit. OK stores the node (-1 when none is selected) and the allocation flags.

#include <QDialog>

#include <memory>

namespace Ui {
class SelectNodeDialog;
}

namespace orv::viewer {

class SelectNodeDialog final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kNodeCount = 64;

    SelectNodeDialog(int& nodeAddress, int& allocationFlags, QWidget* parent);
    ~SelectNodeDialog() override;

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::SelectNodeDialog> ui_;
    int& nodeAddress_;
    int& allocationFlags_;
};

} // namespace orv::viewer
