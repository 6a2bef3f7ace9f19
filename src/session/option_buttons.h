#pragma once

#include "core/control.h"

#include <array>
#include <cstddef>
#include <vector>

namespace pvx::session {

/// A row of option buttons of which at most one is selected.
template <std::size_t N>
void groupOptionButtons(std::array<core::Control, N> &buttons)
{
    std::vector<core::Control *> group;
    for (core::Control &button : buttons)
        group.push_back(&button);
    for (core::Control &button : buttons)
        button.setGroup(group);
}

/// Selects the button at `index`; an index outside the row selects none.
template <std::size_t N>
void selectOptionButton(std::array<core::Control, N> &buttons, int index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < N)
        buttons[static_cast<std::size_t>(index)].setValue(1);
}

/// The index of the selected button, or `none` when no button is selected.
template <typename Value, std::size_t N>
Value selectedOptionButton(const std::array<core::Control, N> &buttons, Value none)
{
    for (std::size_t index = 0; index < N; ++index) {
        if (buttons[index].value() != 0)
            return static_cast<Value>(index);
    }
    return none;
}

} // namespace pvx::session
