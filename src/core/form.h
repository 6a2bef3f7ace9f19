#pragma once

#include "core/control.h"

#include <QObject>
#include <QString>

#include <vector>

namespace pvx::core {

/// A window model: its caption and tag, and the controls it owns
/// (registered by the concrete window in the order of its design).
class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(QString name);

    const QString &name() const { return m_name; }
    const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);
    const QString &tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    const std::vector<Control *> &controls() const { return m_controls; }
    /// The control named `name` (and `index` for a control array), or null.
    Control *control(const QString &name, int index = -1) const;

signals:
    void changed();

protected:
    void addControl(Control &control) { m_controls.push_back(&control); }

private:
    QString m_name;
    QString m_caption;
    QString m_tag;
    std::vector<Control *> m_controls;
};

} // namespace pvx::core
