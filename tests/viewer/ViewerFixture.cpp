#include "tests/viewer/ViewerFixture.h"

#include "platform/automation/Creation.h"
#include "platform/automation/Registration.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace orv::viewer::test {

Modals::Modals()
{
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &Modals::Check);
    timer_.start();
}

QStringList Modals::Take()
{
    QStringList taken = messages_;
    messages_.clear();
    return taken;
}

void Modals::Check()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return;
    }
    if (modal != lastSeen_) {
        lastSeen_ = modal;
        underWaitCursor_ += QApplication::overrideCursor() != nullptr ? 1 : 0;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages_ << box->text();
        box->button(QMessageBox::Ok)->click();
        return;
    }
    if (!handlers_.empty()) {
        // Outside this timer's own tick, so that it can answer a message box the handler brings up.
        QTimer::singleShot(0, modal, [handler = std::move(handlers_.front()), modal] { handler(modal); });
        handlers_.pop_front();
    }
}

platform::automation::HRESULT CountingDispatch::QueryInterface(const platform::automation::IID& iid, void** object)
{
    if (iid == platform::automation::IID_IUnknown || iid == platform::automation::IID_IDispatch) {
        *object = this;
        AddRef();
        return platform::automation::S_OK;
    }
    *object = nullptr;
    return platform::automation::E_NOINTERFACE;
}

std::uint32_t CountingDispatch::Release()
{
    const std::uint32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

platform::automation::HRESULT CountingDispatch::Invoke(platform::automation::DISPID dispId, std::uint16_t flags, platform::automation::DISPPARAMS* params,
                                      platform::automation::VARIANT* result, std::uint32_t* argErr)
{
    Call call{dispId, {}};
    for (std::uint32_t i = params->cArgs; i-- > 0;) {
        const platform::automation::VARIANT& v = params->rgvarg[i];
        if ((v.vt & platform::automation::VT_BYREF) == 0) {
            call.values.push_back(v.vt == platform::automation::VT_I2 ? v.iVal : v.lVal);
        }
    }
    calls->push_back(call);
    return inner_->Invoke(dispId, flags, params, result, argErr);
}

void Type(QLineEdit* field, const QString& text, bool enter)
{
    field->selectAll();
    QTest::keyClicks(field, text);
    if (enter) {
        QTest::keyClick(field, Qt::Key_Return);
    }
}

QStringList CallsOf(const std::vector<CountingDispatch::Call>& calls, std::initializer_list<platform::automation::DISPID> dispIds)
{
    QStringList listed;
    for (const auto& call : calls) {
        if (std::find(dispIds.begin(), dispIds.end(), call.dispId) == dispIds.end()) {
            continue;
        }
        QStringList values;
        for (const std::int32_t value : call.values) {
            values << QString::number(value);
        }
        listed << QStringLiteral("%1(%2)").arg(call.dispId).arg(values.join(QLatin1Char(',')));
    }
    return listed;
}

ViewerEnvironment::ViewerEnvironment()
{
    std::string why;
    registered_ = platform::automation::RegisterServerLibrary(ORV_DRIVER_LIBRARY, &why) == platform::automation::S_OK;
}

ViewerEnvironment::~ViewerEnvironment()
{
    platform::automation::CoFreeUnusedLibraries();
}

std::unique_ptr<DriverClient> ViewerEnvironment::CountedDriver(std::string& why)
{
    platform::automation::IDispatch* inner = nullptr;
    platform::automation::ComPtr<platform::automation::IDispatch> created;
    if (platform::automation::FAILED(platform::automation::CreateDispatch(DriverClient::kProgId, created, &why))) {
        return nullptr;
    }
    inner = created.Detach();
    auto* counting = new CountingDispatch(inner);
    counting->calls = calls;
    auto client = std::make_unique<DriverClient>();
    client->Attach(counting);
    return client;
}

} // namespace orv::viewer::test
