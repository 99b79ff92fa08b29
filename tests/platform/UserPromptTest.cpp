#include "platform/DynamicLibrary.h"
#include "platform/UserPrompt.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

namespace orv::platform {
namespace {

class ScriptedPrompts final : public PromptHandler {
public:
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override
    {
        requests.push_back(request);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<OpenFileRequest> requests;
    std::deque<std::optional<std::string>> answers;
};

class ThrowingPrompts final : public PromptHandler {
public:
    void MessageBox(const std::string&) override { throw std::runtime_error("no display"); }
    std::optional<std::string> OpenFile(const OpenFileRequest&) override { throw std::runtime_error("no display"); }
};

TEST(UserPrompt, DefaultWritesTheMessageToStandardErrorAndRefusesFiles)
{
    ::testing::internal::CaptureStderr();
    ShowMessageBox("Unable to load \"DRV712.DLL\".\r\nPlease select directory path.");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Unable to load \"DRV712.DLL\".\nPlease select directory path.\n");
    EXPECT_EQ(ShowOpenFileDialog({"All Files (*.*)|*.*||", "dll"}), std::nullopt);
}

TEST(UserPrompt, InstalledHandlerGetsTheCallsUntilRemoved)
{
    ScriptedPrompts prompts;
    prompts.answers = {"/opt/x.dll"};
    {
        ScopedPromptHandler scope(prompts);
        ShowMessageBox("first\r\nsecond");
        EXPECT_EQ(ShowOpenFileDialog({"F (f)|f||", "dll"}), "/opt/x.dll");
    }
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "first\r\nsecond");
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].filter, "F (f)|f||");
    EXPECT_EQ(prompts.requests[0].defaultExtension, "dll");

    ::testing::internal::CaptureStderr();
    ShowMessageBox("back to default");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "back to default\n");
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST(UserPrompt, InstallReturnsThePreviousHandler)
{
    ScriptedPrompts outer;
    ScriptedPrompts inner;
    EXPECT_EQ(InstallPromptHandler(&outer), nullptr);
    EXPECT_EQ(InstallPromptHandler(&inner), &outer);
    {
        ScriptedPrompts nested;
        ScopedPromptHandler scope(nested);
        ShowMessageBox("nested");
        EXPECT_EQ(nested.messages.size(), 1u);
    }
    ShowMessageBox("inner");
    EXPECT_EQ(inner.messages.size(), 1u);
    EXPECT_EQ(InstallPromptHandler(nullptr), &inner);
    EXPECT_TRUE(outer.messages.empty());
}

TEST(UserPrompt, EmptyAnswerAndFailingHandlerCountAsCancel)
{
    ScriptedPrompts prompts;
    prompts.answers = {std::string()};
    ScopedPromptHandler scope(prompts);
    EXPECT_EQ(ShowOpenFileDialog({}), std::nullopt);

    ThrowingPrompts throwing;
    ScopedPromptHandler throwingScope(throwing);
    EXPECT_NO_THROW(ShowMessageBox("lost"));
    EXPECT_EQ(ShowOpenFileDialog({}), std::nullopt);
}

TEST(UserPrompt, LoadedLibrariesUseTheHostsHandler)
{
    ScriptedPrompts prompts;
    prompts.answers = {"/picked"};
    ScopedPromptHandler scope(prompts);

    DynamicLibrary library = DynamicLibrary::Load(ORV_FIXTURE_PROMPT_CALLER);
    ASSERT_TRUE(library) << LastLoadError();
    const auto show = library.FindFunction<void (*)(const char*)>("orv_fixture_show_message");
    const auto ask = library.FindFunction<int (*)()>("orv_fixture_ask_file");
    ASSERT_NE(show, nullptr);
    ASSERT_NE(ask, nullptr);
    show("from the library");
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(ask(), 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "from the library");
    ASSERT_EQ(prompts.requests.size(), 2u);
    EXPECT_EQ(prompts.requests[0].defaultExtension, "txt");
}

TEST(UserPrompt, ParsesWindowsStyleFilters)
{
    EXPECT_EQ(ParseFileFilter("VORA Interface DLL (DRV712.DLL)|Drv712.dll|All Files (*.*)|*.*||"),
              (std::vector<FileFilterEntry>{{"VORA Interface DLL (DRV712.DLL)", {"Drv712.dll"}},
                                            {"All Files (*.*)", {"*.*"}}}));
    EXPECT_EQ(ParseFileFilter("Libraries|*.so;*.dll|"),
              (std::vector<FileFilterEntry>{{"Libraries", {"*.so", "*.dll"}}}));
    // Reading stops at the terminating empty entry; a description without pattern is dropped.
    EXPECT_EQ(ParseFileFilter("A|a||B|b"), (std::vector<FileFilterEntry>{{"A", {"a"}}}));
    EXPECT_EQ(ParseFileFilter("A|;|B|b||"), (std::vector<FileFilterEntry>{{"B", {"b"}}}));
    EXPECT_EQ(ParseFileFilter("Lonely"), std::vector<FileFilterEntry>{});
    EXPECT_EQ(ParseFileFilter(""), std::vector<FileFilterEntry>{});
}

} // namespace
} // namespace orv::platform
