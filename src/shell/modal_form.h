#pragma once

#include "core/form.h"

namespace pvx::shell {

/// A dialog's window model: shown modally by a view, which closes when the
/// model unloads. Closing the view any other way (Esc, the close box, the
/// shutdown) is the dialog's Cancel.
class ModalForm : public core::Form {
    Q_OBJECT
public:
    using core::Form::Form;

    /// True until the dialog unloads.
    bool isLoaded() const { return m_loaded; }
    /// What the dialog's Cancel button does.
    virtual void cancel() = 0;

signals:
    /// The dialog is done; its view closes.
    void unloaded();

protected:
    void unload()
    {
        if (!m_loaded)
            return;
        m_loaded = false;
        emit unloaded();
    }

private:
    bool m_loaded = true;
};

} // namespace pvx::shell
