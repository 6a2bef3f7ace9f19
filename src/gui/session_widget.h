#pragma once

#include <QWidget>

namespace pvx::session {
class Session;
}

namespace pvx::gui {

/// The view of one session window: every control of the model, both status
/// lines and both lamps, bound to the model.
class SessionWidget : public QWidget {
    Q_OBJECT
public:
    explicit SessionWidget(session::Session &session, QWidget *parent = nullptr);

    session::Session &session() { return m_session; }

private:
    session::Session &m_session;
};

} // namespace pvx::gui
