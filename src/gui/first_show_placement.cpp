#include "gui/first_show_placement.h"

#include "gui/mdi_arrangement.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>

#include <algorithm>

namespace pvx::gui {

namespace {

class FirstShowPlacement : public QObject {
public:
    explicit FirstShowPlacement(QMdiSubWindow &window) : QObject(&window), m_window(window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && event->type() == QEvent::Show) {
            m_window.removeEventFilter(this);
            if (auto *area = m_window.mdiArea(); area && !m_window.isMinimized() && !m_window.isMaximized())
                place(*area);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void place(QMdiArea &area)
    {
        const QRect view = area.viewport()->rect();
        QList<QRect> taken;
        for (const QMdiSubWindow *other : area.subWindowList()) {
            if (other != &m_window && other->isVisible())
                taken.append(other->geometry());
        }
        // Sized as Qt sizes a new window, but from the layout as it is now:
        // Qt places a window when it is added, before its size is final, and
        // lets it cover the others when the view is full.
        const QSize size = m_window.sizeHint().boundedTo(view.size()).expandedTo(m_window.minimumSizeHint());
        const QRect place(freePlace(view, size, taken), size);
        m_window.setGeometry(place);
        // The new window is the one the user works with next: scroll its
        // far edge into view, as long as its top-left corner stays in it.
        const auto scroll = [](QScrollBar *bar, int beyond, int slack) {
            if (beyond > 0)
                bar->setValue(bar->value() + std::min(beyond, std::max(slack, 0)));
        };
        scroll(area.horizontalScrollBar(), place.right() - view.right(), place.left() - view.left());
        scroll(area.verticalScrollBar(), place.bottom() - view.bottom(), place.top() - view.top());
    }

    QMdiSubWindow &m_window;
};

} // namespace

void placeWhenFirstShown(QMdiSubWindow &window)
{
    // Owned by the window; it stops watching after the first show.
    new FirstShowPlacement(window);
}

} // namespace pvx::gui
