#include "resources/string_table.h"

#include <algorithm>

namespace pvx::resources {

StringTable::StringTable(Language language)
    : m_language(language),
      m_entries(language == Language::Japanese ? japaneseStrings() : englishStrings())
{
}

const StringEntry *StringTable::find(int id) const
{
    const auto it = std::ranges::lower_bound(m_entries, id, {}, &StringEntry::id);
    return it != m_entries.end() && it->id == id ? &*it : nullptr;
}

QString StringTable::text(int id) const
{
    const StringEntry *entry = find(id);
    return entry ? QString::fromUtf8(entry->text) : QString();
}

bool StringTable::contains(int id) const
{
    return find(id) != nullptr;
}

std::vector<int> StringTable::ids() const
{
    std::vector<int> result;
    result.reserve(m_entries.size());
    for (const StringEntry &entry : m_entries)
        result.push_back(entry.id);
    return result;
}

} // namespace pvx::resources
