#pragma once
// User prompts of the platform layer: a modal message box with an OK button and a modal
// open-file dialog, shown by whichever handler the host process installed. Libraries loaded by
// the host call ShowMessageBox and ShowOpenFileDialog and so use the host's dialogs.
//
// Without an installed handler a default serves: it writes the message to standard error and
// refuses every file dialog, which suits processes without a user interface.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::platform {

// What an open-file dialog is asked to show.
struct OpenFileRequest {
    // Alternating descriptions and patterns separated by '|' and ended by "||", e.g.
    // "Text (*.txt)|*.txt|All Files (*.*)|*.*||"; ParseFileFilter splits it.
    std::string filter;
    // Extension added to a typed name that has none, without the dot ("dll").
    std::string defaultExtension;
};

// One choice of a file filter; `patterns` holds the ';'-separated patterns of the entry.
struct FileFilterEntry {
    std::string description;
    std::vector<std::string> patterns;

    bool operator==(const FileFilterEntry&) const = default;
};

// The entries of a filter in the '|' form above. Reading stops at the first empty description;
// a description without a pattern is dropped.
std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter);

class PromptHandler {
public:
    virtual ~PromptHandler() = default;

    // Shows `text` (lines separated by "\r\n" or "\n") until the user presses OK.
    virtual void MessageBox(const std::string& text) = 0;

    // Asks the user for an existing file. The chosen full path, or nullopt when cancelled.
    virtual std::optional<std::string> OpenFile(const OpenFileRequest& request) = 0;
};

// The handler used when none is installed.
class StandardErrorPromptHandler final : public PromptHandler {
public:
    void MessageBox(const std::string& text) override;
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override;
};

// Makes `handler` the process's handler (null restores the default) and returns the previous one
// (null when it was the default). The caller keeps the handler alive while it is installed.
PromptHandler* InstallPromptHandler(PromptHandler* handler);

// Shows a message box through the installed handler. A failure inside the handler is swallowed.
void ShowMessageBox(const std::string& text);

// Runs the open-file dialog through the installed handler. An empty answer and a failure inside
// the handler count as cancel.
std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request);

// Installs a handler for the life of the object and then puts the previous one back.
class ScopedPromptHandler {
public:
    explicit ScopedPromptHandler(PromptHandler& handler) : previous_(InstallPromptHandler(&handler)) {}
    ~ScopedPromptHandler() { InstallPromptHandler(previous_); }
    ScopedPromptHandler(const ScopedPromptHandler&) = delete;
    ScopedPromptHandler& operator=(const ScopedPromptHandler&) = delete;

private:
    PromptHandler* previous_;
};

} // namespace orv::platform
