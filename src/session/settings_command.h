#pragma once

#include <QString>

namespace pvx::session {

class SessionWindow;

/// Selects the serial choices a settings command names in `fields`
/// ("baud,parity,data bits,stop bits", upper case). Each field counts only
/// when a comma follows it, except the stop bits, and a value that is not
/// offered leaves its list alone.
void selectCommandedSettings(SessionWindow &window, QString fields);

} // namespace pvx::session
