#pragma once

#include "resources/language.h"
#include "resources/string_entry.h"
#include "resources/string_ids.h"

#include <QString>

#include <span>
#include <vector>

namespace pvx::resources {

/// The program's user-visible texts in one language, looked up by string
/// id. Cheap to construct and copy: the texts are compiled in.
class StringTable {
public:
    explicit StringTable(Language language);

    Language language() const { return m_language; }
    /// The text of `id`, or an empty (null) string when there is none.
    QString text(int id) const;
    QString text(StringId id) const { return text(static_cast<int>(id)); }
    bool contains(int id) const;
    /// Every id the table holds, ascending.
    std::vector<int> ids() const;

private:
    const StringEntry *find(int id) const;

    Language m_language;
    std::span<const StringEntry> m_entries;
};

} // namespace pvx::resources
