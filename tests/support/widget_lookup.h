#pragma once

#include <QWidget>

#include <stdexcept>

namespace pvx::testing {

/// The child widget named `name`; a missing one fails the test that asked.
template <typename Widget>
Widget &child(QWidget &parent, const char *name)
{
    auto *widget = parent.findChild<Widget *>(QLatin1String(name));
    if (!widget)
        throw std::runtime_error(std::string("no widget named ") + name);
    return *widget;
}

} // namespace pvx::testing
