#pragma once

#include <span>

namespace pvx::resources {

/// One compiled-in text: its string id and its UTF-8 text.
struct StringEntry {
    int id;
    const char *text;
};

/// True when the ids rise strictly, which the lookup's binary search needs.
constexpr bool strictlyAscending(std::span<const StringEntry> entries)
{
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i - 1].id >= entries[i].id)
            return false;
    }
    return true;
}

/// The English texts, ordered by id.
std::span<const StringEntry> englishStrings();
/// The Japanese texts, ordered by id; the same ids as the English ones.
std::span<const StringEntry> japaneseStrings();

} // namespace pvx::resources
