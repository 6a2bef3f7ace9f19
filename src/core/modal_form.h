#pragma once

#include "core/form.h"

#include <functional>
#include <optional>

namespace pvx::core {

/// A dialog's window model, shown modally by a view that closes when the
/// model unloads. OK and Cancel are the dialog's own handlers. The Esc key
/// runs Cancel unless the dialog binds it to something else; the close box
/// (and closing the view at shutdown) unloads the dialog without running
/// either.
class ModalForm : public Form {
    Q_OBJECT
public:
    using Form::Form;

    /// True until the dialog unloads.
    bool isLoaded() const { return m_loaded; }
    /// What the dialog's Cancel button does.
    virtual void cancel() = 0;
    /// The Esc key.
    virtual void escapePressed() { cancel(); }
    /// The close box: the dialog unloads and OK and Cancel do not run.
    void closeBox() { unload(); }

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

/// A dialog that gives back what it edited: a value after OK, none after
/// Cancel or the close box.
template <typename Edited>
class ValueForm : public ModalForm {
public:
    using Value = Edited;
    using ModalForm::ModalForm;

    const std::optional<Value> &result() const { return m_result; }

protected:
    /// OK: keeps `value` as the dialog's result and unloads it.
    void accept(Value value)
    {
        if (!isLoaded())
            return;
        m_result = std::move(value);
        unload();
    }

private:
    std::optional<Value> m_result;
};

/// Shows a dialog modally and returns once it has unloaded.
template <typename FormType>
using FormRunner = std::function<void(FormType &)>;

/// Shows `form` through `run` and returns what it gave back. Without a
/// runner (a face without windows) nothing is shown and nothing comes back.
template <typename FormType>
std::optional<typename FormType::Value> showModal(const FormRunner<FormType> &run, FormType &form)
{
    if (run)
        run(form);
    return form.result();
}

} // namespace pvx::core
