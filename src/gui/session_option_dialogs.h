#pragma once

#include "gui/form_dialog.h"

namespace pvx::session {
class ClientOptionsForm;
class LoginOptionsForm;
class ServerOptionsForm;
}

namespace pvx::gui {

/// The view of the server I/O options: the multiple-clients box, two
/// frames of three choices, the RFC 2217 box, the TLS group and the
/// AllowFrom list.
class ServerOptionsDialog : public FormDialog {
    Q_OBJECT
public:
    explicit ServerOptionsDialog(session::ServerOptionsForm &form, QWidget *parent = nullptr);
};

/// The view of the client I/O options: three choices, the virtual-port and
/// RFC 2217 boxes, the TLS group and (over UDP) the AllowFrom list.
class ClientOptionsDialog : public FormDialog {
    Q_OBJECT
public:
    explicit ClientOptionsDialog(session::ClientOptionsForm &form, QWidget *parent = nullptr);
};

/// The view of the client login options: four texts in clear.
class LoginOptionsDialog : public FormDialog {
    Q_OBJECT
public:
    explicit LoginOptionsDialog(session::LoginOptionsForm &form, QWidget *parent = nullptr);
};

} // namespace pvx::gui
