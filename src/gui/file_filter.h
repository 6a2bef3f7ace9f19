#pragma once

#include <QStringList>

namespace pvx::gui {

/// The name filters of a file dialog for a filter given as pairs of
/// description and patterns, "Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*".
/// A description that already ends in its patterns (in any letter case) is
/// kept word for word; any other gets them appended in parentheses. Several
/// patterns may be separated by ';'. The dialog matches case-insensitively.
QStringList qtFileFilters(const QString &filter);

} // namespace pvx::gui
