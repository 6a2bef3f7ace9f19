#pragma once

#include "core/control.h"
#include "core/modal_form.h"

namespace pvx::testing {

/// The ways a user ends a dialog.
enum class Ending {
    Ok,
    Cancel,
    Escape,
    CloseBox,
};

inline constexpr Ending kEveryEnding[] = {Ending::Ok, Ending::Cancel, Ending::Escape, Ending::CloseBox};

inline const char *endingName(Ending ending)
{
    switch (ending) {
    case Ending::Ok:
        return "OK";
    case Ending::Cancel:
        return "Cancel";
    case Ending::Escape:
        return "Esc";
    case Ending::CloseBox:
        return "close box";
    }
    return "?";
}

/// Ends `form` as the user would: its OK or Cancel button, the Esc key or
/// the close box.
inline void endForm(core::ModalForm &form, core::Control &ok, core::Control &cancel, Ending ending)
{
    switch (ending) {
    case Ending::Ok:
        ok.onClick();
        break;
    case Ending::Cancel:
        cancel.onClick();
        break;
    case Ending::Escape:
        form.escapePressed();
        break;
    case Ending::CloseBox:
        form.closeBox();
        break;
    }
}

} // namespace pvx::testing
