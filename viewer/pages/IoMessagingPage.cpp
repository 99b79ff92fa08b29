#include "viewer/pages/IoMessagingPage.h"

#include "ui_IoMessagingPage.h"
#include "viewer/app/Messages.h"
#include "viewer/model/Module.h"
#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"

#include <QKeyEvent>

#include <algorithm>
#include <array>

namespace orv::viewer {

IoMessagingPage::IoMessagingPage(const PageContext& context, QWidget* parent)
    : Page(PageCode::kIoMessaging, kTimerId, kPeriodMs, parent), ui_(std::make_unique<Ui::IoMessagingPage>()),
      module_(context.module)
{
    ui_->setupUi(this);
    ui_->commandField->installEventFilter(this);
    connect(ui_->sendButton, &QPushButton::clicked, this, &IoMessagingPage::Send);
    connect(ui_->exitButton, &QPushButton::clicked, this, &Page::ClosePage);
    if (module_ != nullptr) {
        const WaitCursor wait;
        ui_->commandField->clear();
        active_ = true;
        show();
    }
}

IoMessagingPage::~IoMessagingPage() = default;

QString IoMessagingPage::CommandText() const
{
    return ui_->commandField->toPlainText();
}

QString IoMessagingPage::ResponseText() const
{
    return ui_->responseField->toPlainText();
}

bool IoMessagingPage::ValidCommand(const QString& text)
{
    int digits = 0;
    for (const QChar c : text) {
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) {
            if (++digits > 2) {
                return false;
            }
        } else if (c == u' ' && digits == 2) {
            digits = 0;
        } else {
            return false;
        }
    }
    return digits == 2;
}

void IoMessagingPage::Send()
{
    const QString command = ui_->commandField->toPlainText().toUpper();
    ui_->commandField->setPlainText(command);
    if (command.isEmpty()) {
        return;
    }
    if (!ValidCommand(command)) {
        ShowMessage(this, kInvalidPollCommandMessage);
        return;
    }
    // Room for the largest output a poll connection takes; bytes past the command stay 0, groups
    // beyond it are dropped as those beyond the output size are.
    std::array<std::uint8_t, PollItem::kMaxSize> bytes{};
    const QStringList groups = command.split(u' ');
    const QByteArray digits = groups.join(QString()).toLatin1();
    ParseHexBytes(std::string_view(digits.constData(), static_cast<std::size_t>(digits.size())),
                  std::min<std::size_t>(static_cast<std::size_t>(groups.size()), bytes.size()), bytes.data());
    if (module_ != nullptr) {
        module_->Poll().Write(bytes.data(), ValueKind::kRaw, 0);
    }
}

void IoMessagingPage::Refresh()
{
    if (!active_) {
        return;
    }
    PollItem& poll = module_->Poll();
    if (poll.Read()) {
        std::string text;
        poll.Format(text, 0);
        ui_->responseField->setPlainText(QString::fromLatin1(text));
    } else {
        ui_->responseField->setPlainText(kErrorInPollMessage);
    }
}

bool IoMessagingPage::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the command field presses "Send", the page's default button.
    if (watched == ui_->commandField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Send();
            return true;
        }
    }
    return Page::eventFilter(watched, event);
}

} // namespace orv::viewer
