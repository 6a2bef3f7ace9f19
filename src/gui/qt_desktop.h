#pragma once

#include "platform/desktop.h"

namespace pvx::gui {

/// Opens web pages and files through the desktop's usual programs.
class QtDesktop final : public platform::Desktop {
public:
    bool openUrl(const QString &url) override;
};

} // namespace pvx::gui
