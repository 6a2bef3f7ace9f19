#pragma once

#include "core/form.h"
#include "resources/string_table.h"

namespace pvx::resources {

/// Replaces a window's design-time string ids with texts of `strings`, at
/// the start of the window's load:
/// - the form's caption, when its tag is a whole number > 0;
/// - the window font (name text 20, character set the number in text 21,
///   8 pt, not bold), set on the form and on every control that gets a text,
///   and on every combo box;
/// - a menu item's caption from the leading number of its caption, a
///   label's and any other control's caption from the leading number of its
///   tag, and any other control's tooltip when the tooltip is a number > 0.
/// Menu items never get the font; combo boxes keep their text and list. An
/// id without text leaves the caption or tooltip as designed; nothing is
/// reported.
void applyFormStrings(core::Form &form, const StringTable &strings);

} // namespace pvx::resources
