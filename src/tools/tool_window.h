#pragma once

#include "core/form.h"

namespace pvx::tools {

/// A tool window's model. It may wait for an answer from the network; the
/// user can close it meanwhile, and what it waited for is then dropped.
class ToolWindow : public core::Form {
    Q_OBJECT
public:
    using core::Form::Form;

    /// True until the window unloads.
    bool isLoaded() const { return m_loaded; }
    /// True while an answer is awaited: the view shows a busy pointer.
    bool isBusy() const { return m_busy; }

    /// Closes the window at once (Cancel, the close box, the shutdown),
    /// dropping any answer still awaited.
    void unload()
    {
        if (!m_loaded)
            return;
        m_loaded = false;
        dropPending();
        setBusy(false);
        emit unloaded();
    }

signals:
    /// The window is done; its view closes.
    void unloaded();
    void busyChanged(bool busy);

protected:
    /// Forgets whatever the window waits for.
    virtual void dropPending() = 0;
    void setBusy(bool busy)
    {
        if (busy == m_busy)
            return;
        m_busy = busy;
        emit busyChanged(busy);
    }

private:
    bool m_loaded = true;
    bool m_busy = false;
};

} // namespace pvx::tools
