#include "platform/UserPrompt.h"

#include <atomic>
#include <cstdio>

namespace orv::platform {

namespace {

std::atomic<PromptHandler*> installed{nullptr};

PromptHandler& CurrentHandler()
{
    static StandardErrorPromptHandler fallback;
    PromptHandler* handler = installed.load();
    return handler != nullptr ? *handler : fallback;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

} // namespace

std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter)
{
    std::vector<FileFilterEntry> entries;
    const auto fields = Split(filter, '|');
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) {
            break;
        }
        FileFilterEntry entry{std::string(fields[i]), {}};
        for (const auto pattern : Split(fields[i + 1], ';')) {
            if (!pattern.empty()) {
                entry.patterns.emplace_back(pattern);
            }
        }
        if (!entry.patterns.empty()) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

void StandardErrorPromptHandler::MessageBox(const std::string& text)
{
    std::string line;
    line.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        line += text[i];
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::optional<std::string> StandardErrorPromptHandler::OpenFile(const OpenFileRequest&)
{
    return std::nullopt;
}

PromptHandler* InstallPromptHandler(PromptHandler* handler)
{
    return installed.exchange(handler);
}

void ShowMessageBox(const std::string& text)
{
    try {
        CurrentHandler().MessageBox(text);
    } catch (...) {
        // The caller's work goes on: a message that could not be shown is not a failure of it.
    }
}

std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request)
{
    try {
        auto path = CurrentHandler().OpenFile(request);
        if (path && path->empty()) {
            return std::nullopt;
        }
        return path;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace orv::platform
