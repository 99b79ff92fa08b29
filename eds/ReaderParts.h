#pragma once
// What the parts of the reader share (Reader.cpp: the sections of the file and the identity;
// ParamsReader.cpp: [Params] and [EnumPar]).

#include "eds/Fields.h"
#include "eds/Model.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace orv::eds::detail {

// The keyword numbers 1 to 65535 seen in one section, in a fixed 8 KiB whatever the file says.
class NumberSet {
public:
    NumberSet() : seen_(65536, false) {}
    // False when `number` was seen before.
    bool Insert(std::uint32_t number)
    {
        if (seen_[number]) {
            return false;
        }
        seen_[number] = true;
        return true;
    }

private:
    std::vector<bool> seen_;
};

// The error for a keyword given twice: where the second one is, and the line of the first.
bool Twice(const Section& section, const Entry& entry, Error& error);

// Reads the numbered entries `prefix`N of `section` in order of N, with `read` for each; a keyword
// that is not of that form is kept as an other entry.
template <class Read>
bool ReadNumbered(const Section& section, std::string_view prefix, std::string_view what, Eds& eds, Error& error,
                  Read read)
{
    NumberSet seen;
    for (const Entry& entry : section.entries) {
        const auto number = KeywordNumber(entry.keyword, prefix);
        if (!number) {
            eds.otherEntries.push_back({section.name, entry});
            continue;
        }
        if (*number == 0) {
            error = {entry.where, "expected " + std::string(what) + " number from 1 to 65535 in " + entry.keyword};
            return false;
        }
        if (!seen.Insert(*number)) {
            return Twice(section, entry, error);
        }
        Fields fields(entry, error);
        if (!read(static_cast<std::uint16_t>(*number), fields)) {
            return false;
        }
    }
    return true;
}

// Sorts `items` by their `number` in time linear in their count (numbers are 1 to 65535 and
// unique).
template <class T>
void SortByNumber(std::vector<T>& items)
{
    bool ordered = true;
    for (std::size_t i = 1; i < items.size() && ordered; ++i) {
        ordered = items[i - 1].number < items[i].number;
    }
    if (ordered) {
        return;
    }
    std::vector<std::uint32_t> slot(65536, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        slot[items[i].number] = static_cast<std::uint32_t>(i + 1);
    }
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const std::uint32_t index : slot) {
        if (index != 0) {
            sorted.push_back(std::move(items[index - 1]));
        }
    }
    items = std::move(sorted);
}

bool ReadParams(const Section& section, Eds& eds, Error& error);
bool ReadEnums(const Section& section, Eds& eds, Error& error);

} // namespace orv::eds::detail
