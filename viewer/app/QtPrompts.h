#pragma once
// The viewer's answers to the driver library's prompts: a message box, and an open-file dialog
// for a card library that was not found.

#include "platform/UserPrompt.h"

#include <QString>

#include <string_view>

class QWidget;

namespace orv::viewer {

class QtPrompts final : public platform::PromptHandler {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}

    void SetParent(QWidget* parent) { parent_ = parent; }

    void MessageBox(const std::string& text) override;
    std::optional<std::string> OpenFile(const platform::OpenFileRequest& request) override;

    // The driver's "Text (*.txt)|*.txt|All Files (*.*)|*.*||" as a Qt file dialog filter.
    static QString QtFilter(std::string_view filter);

private:
    QWidget* parent_;
};

} // namespace orv::viewer
