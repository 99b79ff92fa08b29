#pragma once
// The I/O messaging page: every 100 ms one poll exchange with the open node, its answer shown as
// hex bytes; "Send" sets the output bytes that the next exchange carries.

#include "viewer/pages/Page.h"

#include <QString>

#include <memory>

namespace Ui {
class IoMessagingPage;
}

namespace orv::viewer {

class IoMessagingPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kTimerId = 0x210;
    static constexpr int kPeriodMs = 100;
    // Without a module the page stays hidden and never polls.
    IoMessagingPage(const PageContext& context, QWidget* parent);
    ~IoMessagingPage() override;

    // The command syntax: one or more two-digit hex groups separated by single spaces (upper case).
    static bool ValidCommand(const QString& text);

    QString CommandText() const;
    QString ResponseText() const;

public slots:
    void Send();

protected:
    void Refresh() override;
    void DefaultAction() override { Send(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::IoMessagingPage> ui_;
    Module* module_;
    bool active_ = false;
};

} // namespace orv::viewer
