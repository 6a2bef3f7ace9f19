#include "resources/form_strings.h"

#include "core/numeric_text.h"

#include <cmath>

namespace pvx::resources {

namespace {

using core::ControlKind;

// Design ids on controls are read like the leading number of a text, so a
// tag "5036 frame" still names 5036 and a fraction rounds to a whole id.
int leadingId(const QString &text)
{
    return core::roundHalfEven(core::numericValue(text));
}

// The form's tag and a tooltip count only when the whole text is a number.
int wholeId(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? core::roundHalfEven(value) : 0;
}

void setCaptionFrom(core::Control &control, int id, const StringTable &strings)
{
    if (strings.contains(id))
        control.setCaption(strings.text(id));
}

// Fonts are left alone: every window draws in the desktop's own UI font and
// size, and fontconfig finds the glyphs that font lacks (Japanese, say).
void localise(core::Control &control, const StringTable &strings)
{
    if (control.kind() == ControlKind::MenuItem) {
        // Menu items carry their id as their design caption.
        const int id = leadingId(control.caption());
        if (id > 0)
            setCaptionFrom(control, id, strings);
        return;
    }
    // A combo box's text is a setting, never a caption.
    if (control.kind() == ControlKind::ComboBox)
        return;
    const int id = leadingId(control.tag());
    if (id > 0)
        setCaptionFrom(control, id, strings);
    if (control.kind() == ControlKind::Label)
        return;
    const int tipId = wholeId(control.toolTip());
    if (tipId > 0 && strings.contains(tipId))
        control.setToolTip(strings.text(tipId));
}

} // namespace

void applyFormStrings(core::Form &form, const StringTable &strings)
{
    const int formId = wholeId(form.tag());
    if (formId > 0 && strings.contains(formId))
        form.setCaption(strings.text(formId));

    for (core::Control *control : form.controls())
        localise(*control, strings);
}

} // namespace pvx::resources
