#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace pvx::core {

/// What kind of control a value holder stands for; localisation treats the
/// kinds differently.
enum class ControlKind {
    Label,
    MenuItem,
    ComboBox,
    TextBox,
    Button,
    CheckBox,
    OptionButton,
    Frame,
    Shape,
    StatusLine,
};

/// A control of a window model: it holds the values the logic reads and
/// writes (caption, text, list, check value, ...) and raises the same
/// handlers when code changes them as a user's action would. Views bind to
/// `changed`.
class Control : public QObject {
    Q_OBJECT
public:
    Control(ControlKind kind, QString name, int index = -1);

    ControlKind kind() const { return m_kind; }
    const QString &name() const { return m_name; }
    /// Position in a control array, -1 for a single control.
    int index() const { return m_index; }

    const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);
    const QString &tag() const { return m_tag; }
    void setTag(const QString &tag);
    const QString &toolTip() const { return m_toolTip; }
    void setToolTip(const QString &toolTip);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    /// Text of a text box or combo box. Setting it raises onChange; in a
    /// combo box it also selects the entry with exactly that text, or none.
    const QString &text() const { return m_text; }
    void setText(const QString &text);

    /// Check box: 0 or 1; option button: 0 or 1; shape: its colour.
    int value() const { return m_value; }
    /// Sets the value; a check box or option button raises onClick when it
    /// changes, and an option button clears the others of its group.
    void setValue(int value);

    const QStringList &items() const { return m_items; }
    void setItems(const QStringList &items);
    void addItem(const QString &item);
    /// Selected list position, -1 for none.
    int selectedIndex() const { return m_selected; }
    /// Selects position `index` (-1 clears the choice) and raises onClick;
    /// returns false and changes nothing when there is no such position.
    bool select(int index);

    /// Option buttons of one group clear each other.
    void setGroup(std::vector<Control *> group) { m_group = std::move(group); }

    std::function<void()> onClick;
    std::function<void()> onChange;

signals:
    void changed();

private:
    void notify();

    ControlKind m_kind;
    QString m_name;
    int m_index;
    QString m_caption;
    QString m_tag;
    QString m_toolTip;
    bool m_enabled = true;
    bool m_visible = true;
    QString m_text;
    int m_value = 0;
    QStringList m_items;
    int m_selected = -1;
    std::vector<Control *> m_group;
};

/// A control's or window's name as the window designs spell them (plain
/// ASCII). Names are made once and shared by every window that uses them.
QString controlName(const char *text);

} // namespace pvx::core
