#include "eds/Syntax.h"

#include "eds/Escapes.h"
#include "platform/Hex.h"

#include <iterator>

namespace orv::eds {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsKeywordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// A character of a bare word: printable ASCII but the delimiters.
bool IsWordChar(char c)
{
    return c > ' ' && c < 0x7F && c != ',' && c != ';' && c != '$' && c != '"';
}

std::string Describe(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte > ' ' && byte < 0x7F) {
        return std::string("'") + c + "'";
    }
    return "byte 0x" + platform::HexNumber(byte, 2, true);
}

std::string LineOf(const Position& where)
{
    return "line " + std::to_string(where.line);
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return text_[at_]; }
    Position Here() const { return {line_, column_}; }

    void Advance()
    {
        if (text_[at_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++at_;
    }

    // Past the characters from here to `to`, none of them a line end.
    void SkipTo(std::size_t to)
    {
        column_ += static_cast<std::uint32_t>(to - at_);
        at_ = to;
    }

    // The end of the run of characters from here that `test` accepts (none of them a line end).
    template <class Test>
    std::size_t RunEnd(Test test) const
    {
        std::size_t end = at_;
        while (end < text_.size() && test(text_[end])) {
            ++end;
        }
        return end;
    }

    // Past blanks and comments.
    void SkipBlanks()
    {
        while (!AtEnd()) {
            if (IsBlank(Peek())) {
                Advance();
            } else if (Peek() == '$') {
                const std::size_t end = text_.find('\n', at_);
                SkipTo(end == std::string_view::npos ? text_.size() : end);
            } else {
                return;
            }
        }
    }

    bool Fail(std::string expected)
    {
        error_ = {Here(), std::move(expected)};
        return false;
    }

    const Error& LastError() const { return error_; }

    bool Section(eds::Section& section)
    {
        section.where = Here();
        Advance(); // '['
        std::size_t from = at_;
        while (!AtEnd() && Peek() != ']' && Peek() != '\n') {
            Advance();
        }
        if (AtEnd() || Peek() != ']') {
            return Fail("expected ']' to close the section name begun on " + LineOf(section.where));
        }
        std::string_view name = text_.substr(from, at_ - from);
        while (!name.empty() && IsBlank(name.front())) {
            name.remove_prefix(1);
        }
        while (!name.empty() && IsBlank(name.back())) {
            name.remove_suffix(1);
        }
        if (name.empty()) {
            return Fail("expected a section name between '[' and ']'");
        }
        section.name = std::string(name);
        Advance(); // ']'
        return true;
    }

    bool Entry(eds::Entry& entry)
    {
        entry.where = Here();
        const std::size_t from = at_;
        SkipTo(RunEnd(IsKeywordChar));
        if (at_ == from) {
            return Fail("expected a keyword or a section '[...]', not " + Describe(Peek()));
        }
        entry.keyword = std::string(text_.substr(from, at_ - from));
        SkipBlanks();
        if (AtEnd() || Peek() != '=') {
            return Fail("expected '=' after the keyword " + entry.keyword);
        }
        Advance();
        // Built only for a message: most entries never need it.
        const auto ending = [&] { return "';' to end " + entry.keyword + " (begun on " + LineOf(entry.where) + ")"; };
        // Fields gather in a buffer that keeps its room from entry to entry; each entry then takes
        // exactly its own.
        scratch_.clear();
        for (;;) {
            SkipBlanks();
            Field field;
            field.where = Here();
            if (AtEnd()) {
                return Fail("expected " + ending());
            }
            const char c = Peek();
            if (c == '"') {
                field.kind = Field::Kind::String;
                while (!AtEnd() && Peek() == '"') {
                    if (!String(field.text)) {
                        return false;
                    }
                    SkipBlanks();
                }
            } else if (IsWordChar(c) && c != '[') {
                field.kind = Field::Kind::Word;
                const std::size_t start = at_;
                SkipTo(RunEnd(IsWordChar));
                field.text = std::string(text_.substr(start, at_ - start));
                SkipBlanks();
            } else if (c != ',' && c != ';') {
                return Fail("expected a field or " + ending() + ", not " + Describe(c));
            }
            scratch_.push_back(std::move(field));
            if (AtEnd()) {
                return Fail("expected " + ending());
            }
            if (Peek() == ';') {
                Advance();
                entry.fields.assign(std::make_move_iterator(scratch_.begin()), std::make_move_iterator(scratch_.end()));
                return true;
            }
            if (Peek() != ',') {
                return Fail("expected ',' or " + ending() + ", not " + Describe(Peek()));
            }
            Advance();
        }
    }

private:
    // One quoted piece, appended to `text`.
    bool String(std::string& text)
    {
        const Position begun = Here();
        Advance(); // '"'
        const std::size_t from = at_;
        bool escaped = false;
        for (;;) {
            SkipTo(RunEnd([](char c) { return c != '"' && c != '\n' && c != '\\'; }));
            if (AtEnd() || Peek() != '\\') {
                break;
            }
            // A backslash takes the next character with it, a quote too; not a line end.
            escaped = true;
            SkipTo(at_ + (at_ + 1 < text_.size() && text_[at_ + 1] != '\n' ? 2 : 1));
        }
        if (AtEnd() || Peek() != '"') {
            return Fail("expected '\"' to close the string begun on " + LineOf(begun) + ", column " +
                        std::to_string(begun.column));
        }
        const std::string_view body = text_.substr(from, at_ - from);
        if (escaped) {
            text += Unescape(body);
        } else {
            text += body;
        }
        Advance(); // '"'
        return true;
    }

    std::string_view text_;
    std::vector<Field> scratch_;
    std::size_t at_ = 0;
    std::uint32_t line_ = 1;
    std::uint32_t column_ = 1;
    Error error_;
};

} // namespace

std::string Error::Text() const
{
    if (where.line == 0) {
        return expected;
    }
    return "line " + std::to_string(where.line) + ", column " + std::to_string(where.column) + ": " + expected;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool ReadSections(std::string_view text, std::vector<Section>& sections, Error& error)
{
    Scanner scanner(text);
    for (;;) {
        scanner.SkipBlanks();
        if (scanner.AtEnd()) {
            return true;
        }
        bool ok = true;
        if (scanner.Peek() == '[') {
            sections.emplace_back();
            ok = scanner.Section(sections.back());
        } else if (sections.empty()) {
            ok = scanner.Fail("expected a section such as [File] before the first entry");
        } else {
            sections.back().entries.emplace_back();
            ok = scanner.Entry(sections.back().entries.back());
        }
        if (!ok) {
            error = scanner.LastError();
            return false;
        }
    }
}

} // namespace orv::eds
