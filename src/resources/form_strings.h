#pragma once

#include "core/form.h"
#include "resources/string_table.h"

namespace pvx::resources {

/// Replaces a window's design-time string ids with texts of `strings`, at
/// the start of the window's load:
/// - the form's caption, when its tag is a whole number > 0;
/// - a menu item's caption from the leading number of its caption, a
///   label's and any other control's caption from the leading number of its
///   tag, and any other control's tooltip when the tooltip is a number > 0.
/// Combo boxes keep their text and list. Fonts are not touched: windows
/// use the application's font in either language. An id without text leaves
/// the caption or tooltip as designed; nothing is reported.
void applyFormStrings(core::Form &form, const StringTable &strings);

} // namespace pvx::resources
