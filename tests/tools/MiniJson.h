#pragma once
// A strict reader of the JSON dnet writes, for the tests: objects, arrays, strings with escapes,
// numbers, true, false and null. Anything else fails the parse.

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::test {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<JsonValue> array;
    std::map<std::string, JsonValue> object;

    bool Has(const std::string& key) const { return type == Type::Object && object.contains(key); }
    const JsonValue& operator[](const std::string& key) const
    {
        static const JsonValue kNull;
        const auto found = object.find(key);
        return found == object.end() ? kNull : found->second;
    }
};

class JsonReader {
public:
    // The value that is all of `text` (blanks around it allowed); nullopt when it is not JSON.
    static std::optional<JsonValue> Parse(std::string_view text)
    {
        JsonReader reader(text);
        JsonValue value;
        if (!reader.Value(value, 0)) {
            return std::nullopt;
        }
        reader.Blanks();
        if (reader.at_ != text.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    void Blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Take(char c)
    {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word)
    {
        if (text_.substr(at_, word.size()) == word) {
            at_ += word.size();
            return true;
        }
        return false;
    }
    bool String(std::string& out)
    {
        if (!Take('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) {
                return false;
            }
            const char e = text_[at_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (at_ + 4 > text_.size()) {
                    return false;
                }
                const std::string hex(text_.substr(at_, 4));
                char* end = nullptr;
                const long code = std::strtol(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4 || code > 0xFF) {
                    return false; // dnet escapes single bytes only
                }
                out += static_cast<char>(code);
                at_ += 4;
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    bool Value(JsonValue& value, int depth)
    {
        if (depth > 32) {
            return false;
        }
        Blanks();
        if (at_ >= text_.size()) {
            return false;
        }
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            value.type = JsonValue::Type::Object;
            if (Take('}')) {
                return true;
            }
            do {
                std::string key;
                JsonValue member;
                if (!String(key) || !Take(':') || !Value(member, depth + 1) || value.object.contains(key)) {
                    return false;
                }
                value.object.emplace(std::move(key), std::move(member));
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++at_;
            value.type = JsonValue::Type::Array;
            if (Take(']')) {
                return true;
            }
            do {
                JsonValue element;
                if (!Value(element, depth + 1)) {
                    return false;
                }
                value.array.push_back(std::move(element));
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') {
            value.type = JsonValue::Type::String;
            return String(value.string);
        }
        if (Word("true") || Word("false")) {
            value.type = JsonValue::Type::Bool;
            value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
            return true;
        }
        if (Word("null")) {
            return true;
        }
        const std::string rest(text_.substr(at_, 40));
        char* end = nullptr;
        value.number = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str() || !(c == '-' || (c >= '0' && c <= '9'))) {
            return false;
        }
        value.type = JsonValue::Type::Number;
        at_ += static_cast<std::size_t>(end - rest.c_str());
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace orv::test
