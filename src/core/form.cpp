#include "core/form.h"

namespace pvx::core {

Form::Form(QString name) : m_name(std::move(name)) {}

void Form::setCaption(const QString &caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    emit changed();
}

Control *Form::control(const QString &name, int index) const
{
    for (Control *control : m_controls) {
        if (control->index() == index && control->name().compare(name, Qt::CaseInsensitive) == 0)
            return control;
    }
    return nullptr;
}

} // namespace pvx::core
