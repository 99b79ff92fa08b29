#include "viewer/app/NetworkConfigDialog.h"

#include "ui_NetworkConfigDialog.h"
#include "viewer/app/Messages.h"

namespace orv::viewer {

NetworkConfigDialog::NetworkConfigDialog(automation::DriverSettings& settings, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::NetworkConfigDialog>()), settings_(settings)
{
    ui_->setupUi(this);
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, &NetworkConfigDialog::accept);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &NetworkConfigDialog::reject);
    ui_->masterIdEdit->setText(QString::number(settings_.ScnId()));
    ui_->portEdit->setText(QString::number(settings_.Port()));
    ui_->interruptEdit->setText(QString::number(settings_.Interrupt()));
    ui_->driverNameEdit->setText(QString::fromLatin1(settings_.DriverNameText()));
    // An index outside a list leaves it without a selection.
    const auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(ui_->driverCombo, settings_.DriverType());
    select(ui_->dataRateCombo, settings_.DataRate());
}

NetworkConfigDialog::~NetworkConfigDialog() = default;

bool NetworkConfigDialog::ParseInteger(const QString& text, int& value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 10);
    if (ok) {
        value = parsed;
    }
    return ok;
}

bool NetworkConfigDialog::ReadNumber(QLineEdit* edit, int& value)
{
    if (ParseInteger(edit->text(), value)) {
        return true;
    }
    ShowMessage(this, kInvalidNumberMessage);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void NetworkConfigDialog::accept()
{
    int scnId = 0;
    int port = 0;
    int interrupt = 0;
    if (!ReadNumber(ui_->masterIdEdit, scnId) || !ReadNumber(ui_->portEdit, port) ||
        !ReadNumber(ui_->interruptEdit, interrupt)) {
        return;
    }
    // The record holds 64 Latin-1 characters: a longer name, or another character, would be stored
    // as something else.
    const QString name = ui_->driverNameEdit->text();
    const QByteArray latin = name.toLatin1();
    if (name.size() > static_cast<qsizetype>(automation::DriverSettings::kDriverNameSize) ||
        QString::fromLatin1(latin) != name) {
        ShowMessage(this, kDriverNameMessage);
        ui_->driverNameEdit->setFocus();
        return;
    }
    settings_.SetDriverType(ui_->driverCombo->currentIndex());
    settings_.SetDataRate(ui_->dataRateCombo->currentIndex());
    settings_.SetInterrupt(interrupt);
    settings_.SetPort(port);
    settings_.SetScnId(scnId);
    settings_.SetDriverNameField(latin.toStdString());
    QDialog::accept();
}

} // namespace orv::viewer
