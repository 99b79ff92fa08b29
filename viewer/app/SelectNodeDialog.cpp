#include "viewer/app/SelectNodeDialog.h"

#include "ui_SelectNodeDialog.h"
#include "viewer/model/Module.h"

namespace orv::viewer {

SelectNodeDialog::SelectNodeDialog(int& nodeAddress, int& allocationFlags, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SelectNodeDialog>()), nodeAddress_(nodeAddress),
      allocationFlags_(allocationFlags)
{
    ui_->setupUi(this);
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, &SelectNodeDialog::accept);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &SelectNodeDialog::reject);
    for (int node = 0; node < kNodeCount; ++node) {
        ui_->nodeList->addItem(QString::number(node));
    }
    if (nodeAddress_ >= 0 && nodeAddress_ < kNodeCount) {
        ui_->nodeList->setCurrentRow(nodeAddress_);
    }
    ui_->explicitCheck->setChecked(true);
    ui_->pollCheck->setChecked(false);
    // Poll needs the explicit connection: unchecking Explicit unchecks Poll, checking Poll checks
    // Explicit.
    connect(ui_->explicitCheck, &QCheckBox::toggled, this, [this](bool checked) {
        if (!checked) {
            ui_->pollCheck->setChecked(false);
        }
    });
    connect(ui_->pollCheck, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked) {
            ui_->explicitCheck->setChecked(true);
        }
    });
}

SelectNodeDialog::~SelectNodeDialog() = default;

void SelectNodeDialog::accept()
{
    const QList<QListWidgetItem*> selected = ui_->nodeList->selectedItems();
    nodeAddress_ = selected.isEmpty() ? -1 : ui_->nodeList->row(selected.front());
    allocationFlags_ = (ui_->explicitCheck->isChecked() ? Allocation::kExplicit : 0) |
                       (ui_->pollCheck->isChecked() ? Allocation::kPoll : 0);
    QDialog::accept();
}

} // namespace orv::viewer
