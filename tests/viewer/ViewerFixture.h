#pragma once
// What the viewer's window tests share: a class registry and profile folder of their own with the
// built driver library registered, prompts recorded instead of shown, modal dialogs answered from a
// script, and a driver client whose calls are counted on their way to the real library.

#include "platform/UserPrompt.h"
#include "platform/automation/Dispatch.h"
#include "tests/platform/TestEnvironment.h"
#include "viewer/app/DriverClient.h"

#include <QLineEdit>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace orv::viewer::test {

// Answers modal windows as they come up: every message box is recorded and closed with OK; any other
// modal dialog is handed to the next scripted handler.
class Modals final : public QObject {
    Q_OBJECT

public:
    Modals();
    // Runs `handler` on the next modal dialog that is not a message box.
    void Next(std::function<void(QWidget*)> handler) { handlers_.push_back(std::move(handler)); }
    // The texts of the message boxes closed so far; cleared by Take.
    QStringList Take();
    const QStringList& Messages() const { return messages_; }
    bool Idle() const { return handlers_.empty(); }
    // How many modal windows came up under a wait cursor.
    int UnderWaitCursor() const { return underWaitCursor_; }

private:
    void Check();

    QTimer timer_;
    QStringList messages_;
    int underWaitCursor_ = 0;
    QWidget* lastSeen_ = nullptr;
    std::deque<std::function<void(QWidget*)>> handlers_;
};

// Prompts of the driver library, recorded.
class RecordedPrompts final : public platform::PromptHandler {
public:
    void MessageBox(const std::string& text) override { texts.push_back(text); }
    std::optional<std::string> OpenFile(const platform::OpenFileRequest& request) override
    {
        texts.push_back("open file: " + request.filter);
        return std::nullopt;
    }
    std::vector<std::string> texts;
};

// Forwards every call to the real driver object and records its DISPID and by-value arguments.
class CountingDispatch final : public platform::automation::IDispatch {
public:
    struct Call {
        platform::automation::DISPID dispId;
        std::vector<std::int32_t> values;
    };

    explicit CountingDispatch(platform::automation::IDispatch* inner) : inner_(inner) {}
    ~CountingDispatch() { inner_->Release(); }

    platform::automation::HRESULT QueryInterface(const platform::automation::IID& iid, void** object) override;
    std::uint32_t AddRef() override { return ++references_; }
    std::uint32_t Release() override;
    platform::automation::HRESULT GetTypeInfoCount(std::uint32_t* count) override { return inner_->GetTypeInfoCount(count); }
    platform::automation::HRESULT GetTypeInfo(std::uint32_t index, const platform::automation::InterfaceInfo** info) override
    {
        return inner_->GetTypeInfo(index, info);
    }
    platform::automation::HRESULT GetIDsOfNames(const char* const* names, std::uint32_t count, platform::automation::DISPID* ids) override
    {
        return inner_->GetIDsOfNames(names, count, ids);
    }
    platform::automation::HRESULT Invoke(platform::automation::DISPID dispId, std::uint16_t flags, platform::automation::DISPPARAMS* params, platform::automation::VARIANT* result,
                        std::uint32_t* argErr) override;

    // Shared with the test, which keeps looking after the window has released the object.
    std::shared_ptr<std::vector<Call>> calls = std::make_shared<std::vector<Call>>();

private:
    platform::automation::IDispatch* inner_;
    std::uint32_t references_ = 1;
};

// The user types `text` over a field's contents and, with `enter`, presses Enter.
void Type(QLineEdit* field, const QString& text, bool enter = true);

// The calls of `dispIds` among `calls`, in order, as "DISPID(values...)" strings.
QStringList CallsOf(const std::vector<CountingDispatch::Call>& calls, std::initializer_list<platform::automation::DISPID> dispIds);

// A fresh registry and profile folder with the built library registered, the default bus, and
// recorded prompts, for the life of the object.
class ViewerEnvironment {
public:
    ViewerEnvironment();
    ~ViewerEnvironment();
    bool Registered() const { return registered_; }
    std::filesystem::path ProfileFile() const { return folder_ / "config" / "brelinview.ini"; }
    void WriteProfile(const std::string& text) { orv::test::WriteText(ProfileFile(), text); }

    // A DriverClient bound to the real object through a CountingDispatch; its calls land in
    // `calls`. Null (with `why`) when the object cannot be created.
    std::unique_ptr<DriverClient> CountedDriver(std::string& why);

    std::shared_ptr<std::vector<CountingDispatch::Call>> calls = std::make_shared<std::vector<CountingDispatch::Call>>();
    RecordedPrompts prompts;

private:
    orv::test::TempFolder folder_;
    orv::test::ScopedEnvironment registry_{"ORV_REGISTRY", (folder_ / "registry.ini").string()};
    orv::test::ScopedEnvironment config_{"XDG_CONFIG_HOME", (folder_ / "config").string()};
    orv::test::ScopedEnvironment bus_{"ORV_CANBUS", std::nullopt};
    orv::test::ScopedEnvironment refuse_{"ORV_CARDLIB_REFUSE", std::nullopt};
    platform::ScopedPromptHandler promptScope_{prompts};
    bool registered_ = false;
};

} // namespace orv::viewer::test
