#pragma once

#include "resources/string_ids.h"

#include <QString>

#include <functional>

namespace pvx::core {
class Control;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::session {

/// The status line a side of a session shows its state on: a text as it
/// stands, or the line's label and a word ("TCP/IP Status: Listening..."),
/// with the reason as the line's tool tip. The session owns the line: it
/// logs every change and tells the views.
class SideStatus {
public:
    using Show = std::function<void(const QString &text, const QString &reason)>;

    SideStatus(const resources::StringTable &strings, resources::StringId label, const core::Control &line, Show show);

    void show(const QString &text, const QString &reason = {}) const { m_show(text, reason); }
    /// Shows the line's label and `word`.
    void showState(const QString &word, const QString &reason = {}) const { show(labelled(word), reason); }
    /// The line's label and `word`, as showState shows them.
    QString labelled(const QString &word) const;
    /// What the line shows now.
    QString caption() const;
    /// The text `id` of the string table.
    QString text(resources::StringId id) const;

private:
    const resources::StringTable &m_strings;
    resources::StringId m_label;
    const core::Control &m_line;
    Show m_show;
};

} // namespace pvx::session
