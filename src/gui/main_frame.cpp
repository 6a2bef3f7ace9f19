#include "gui/main_frame.h"

#include "gui/first_show_placement.h"
#include "gui/mdi_arrangement.h"
#include "gui/monitor_widget.h"
#include "gui/session_widget.h"
#include "platform/dialogs.h"
#include "session/session.h"
#include "shell/main_window.h"
#include "shell/session_list.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QShortcutEvent>
#include <QThread>
#include <QTimer>

namespace pvx::gui {

namespace {

/// The longest window name the Window menu shows whole; the title bar
/// always shows all of it.
constexpr qsizetype kWindowListLength = 60;

void showControl(QAction &action, const core::Control &control)
{
    action.setText(control.caption());
    action.setEnabled(control.isEnabled());
    action.setVisible(control.isVisible());
}

/// A window name as a menu entry: cut in the middle when long, its '&'
/// shown rather than taken as a mnemonic.
QString windowListText(const QString &title)
{
    QString text = title;
    if (text.size() > kWindowListLength) {
        const qsizetype head = (kWindowListLength - 1) / 2;
        const qsizetype tail = kWindowListLength - 1 - head;
        text = text.left(head) + QChar(0x2026) + text.right(tail);
    }
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

MainFrame::MainFrame(shell::MainWindow &model, shell::SessionList &sessions, platform::Dialogs &dialogs,
                     session::MonitorWindow::Services monitors, QWidget *parent)
    : QMainWindow(parent), m_model(model), m_sessions(sessions), m_dialogs(dialogs), m_monitors(monitors),
      m_area(new QMdiArea(this))
{
    setObjectName(model.name());
    // A session window larger than the frame scrolls into view; the frame
    // itself may be as small as the user likes.
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);
    setWindowTitle(model.caption());
    connect(&model, &core::Form::changed, this, [this] { setWindowTitle(m_model.caption()); });

    QMenu *file = addMenu(nullptr, model.fileMenu);
    addItem(file, model.fileNewItem, QKeySequence(Qt::CTRL | Qt::Key_N));
    addItem(file, model.fileOpenItem, QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(file, model.fileCloseItem);
    file->addSeparator();
    addItem(file, model.fileSaveItem, QKeySequence(Qt::CTRL | Qt::Key_S));
    addItem(file, model.fileSaveAsItem);
    file->addSeparator();
    addItem(file, model.optionsItem);
    addItem(file, model.passwordItem);
    file->addSeparator();
    addItem(file, model.fileExitItem);

    m_windowMenu = addMenu(nullptr, model.windowMenu);
    addItem(m_windowMenu, model.cascadeItem);
    addItem(m_windowMenu, model.tileHorizontalItem);
    addItem(m_windowMenu, model.tileVerticalItem);
    addItem(m_windowMenu, model.arrangeIconsItem);
    connect(m_windowMenu, &QMenu::aboutToShow, this, &MainFrame::fillWindowList);

    QMenu *tools = addMenu(nullptr, model.toolsMenu);
    addItem(tools, model.pingToolItem);
    addItem(tools, model.resolveToolItem);

    QMenu *help = addMenu(nullptr, model.helpMenu);
    addItem(help, model.helpContentsItem);
    addItem(help, model.helpSearchItem);
    help->addSeparator();
    addItem(help, model.homePageItem);
    help->addSeparator();
    addItem(help, model.helpAboutItem);

    connect(&model, &shell::MainWindow::placementChanged, this, &MainFrame::applyPlacement);
    connect(&model, &shell::MainWindow::showRequested, this, &QWidget::show);
    connect(&model, &shell::MainWindow::visibilityRequested, this, &QWidget::setVisible);
    connect(&model, &shell::MainWindow::windowStateRequested, this, &MainFrame::applyState);
    connect(&model, &shell::MainWindow::foregroundRequested, this, [this] {
        raise();
        activateWindow();
    });
    connect(&model, &shell::MainWindow::arrangeRequested, this, &MainFrame::arrange);
    connect(&model, &shell::MainWindow::closed, this, &QWidget::hide);
    model.setPlacementSource([this] { return placement(); });
    model.setActiveSessionSource([this] { return sessionOf(m_area->currentSubWindow()); });
    // An exit another program asks for may come while a dialog is open.
    model.setCloseRoute([this] { requestClose(); });

    menuBar()->installEventFilter(this);
    // The second press reaches the session's control only right after the
    // menu: once the user has moved on, the letter opens the menu again.
    // Focus passing through the menu bar and its menus is the menu itself.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        const auto inMenus = [this](const QWidget *widget) {
            return widget == menuBar() || qobject_cast<const QMenu *>(widget);
        };
        if (now && !QApplication::activePopupWidget() && !inMenus(old) && !inMenus(now))
            m_menuTookMnemonic = QKeySequence();
    });
    connect(&sessions, &shell::SessionList::created, this, &MainFrame::addSessionWindow);
    connect(&sessions, &shell::SessionList::closing, this, &MainFrame::removeSessionWindow);
    for (const auto &session : sessions.sessions())
        addSessionWindow(*session);
}

MainFrame::~MainFrame()
{
    // The child windows go with the frame; their sessions stay.
    for (const auto &[session, window] : m_windows)
        disconnect(window, nullptr, this, nullptr);
    m_windows.clear();
    m_model.setPlacementSource({});
    m_model.setActiveSessionSource({});
    m_model.setCloseRoute({});
}

QMenu *MainFrame::addMenu(QMenu *parent, core::Control &control)
{
    QMenu *menu = parent ? parent->addMenu(control.caption()) : menuBar()->addMenu(control.caption());
    menu->setObjectName(control.name());
    menu->menuAction()->setObjectName(control.name());
    const auto show = [menu, &control] { showControl(*menu->menuAction(), control); };
    show();
    connect(&control, &core::Control::changed, menu, show);
    // Opening a menu is its click.
    connect(menu, &QMenu::aboutToShow, &control, [&control] {
        if (control.onClick)
            control.onClick();
    });
    return menu;
}

QAction *MainFrame::addItem(QMenu *menu, core::Control &control, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(control.caption());
    action->setObjectName(control.name());
    action->setShortcut(shortcut);
    const auto show = [action, &control] { showControl(*action, control); };
    show();
    connect(&control, &core::Control::changed, action, show);
    connect(action, &QAction::triggered, &control, [&control] {
        if (control.onClick)
            control.onClick();
    });
    return action;
}

void MainFrame::fillWindowList()
{
    qDeleteAll(m_windowList);
    m_windowList.clear();
    const QList<QMdiSubWindow *> windows = m_area->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    m_windowList.append(m_windowMenu->addSeparator());
    const QMdiSubWindow *current = m_area->currentSubWindow();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *window = windows.at(i);
        const QString number = i < 9 ? QStringLiteral("&") + QString::number(i + 1) : QString::number(i + 1);
        QAction *entry = m_windowMenu->addAction(number + QLatin1Char(' ') + windowListText(window->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(window == current);
        connect(entry, &QAction::triggered, this, [this, window] {
            if (m_area->subWindowList().contains(window)) {
                if (window->isMinimized())
                    window->showNormal();
                m_area->setActiveSubWindow(window);
            }
        });
        m_windowList.append(entry);
    }
}

session::Session *MainFrame::sessionOf(const QMdiSubWindow *window) const
{
    for (const auto &[session, shown] : m_windows) {
        if (shown == window && window)
            return session;
    }
    return nullptr;
}

void MainFrame::addSessionWindow(session::Session &session)
{
    auto *widget = new SessionWidget(session);
    for (QLabel *label : widget->findChildren<QLabel *>()) {
        if (label->buddy())
            label->installEventFilter(this);
    }
    auto *window = m_area->addSubWindow(widget);
    window->setAttribute(Qt::WA_DeleteOnClose);
    placeWhenFirstShown(*window);
    m_windows[&session] = window;
    connect(&session.window(), &session::SessionWindow::monitorRequested, widget,
            [this, &session, widget] { showMonitor(session, *widget); });
    // The user closing the child window discards the session with it.
    connect(window, &QObject::destroyed, this, [this, &session] {
        if (m_windows.erase(&session) > 0)
            m_sessions.close(session);
    });
    window->show();
}

void MainFrame::showMonitor(session::Session &session, QWidget &sessionView)
{
    // A child of the session's view, so that it never outlives the session.
    auto *monitor = sessionView.findChild<MonitorWidget *>(QString(), Qt::FindDirectChildrenOnly);
    if (!monitor) {
        monitor = new MonitorWidget(
            std::make_unique<session::MonitorWindow>(session.trace(), session.name(), m_monitors), &sessionView);
        auto &model = monitor->model();
        connect(&session.window(), &core::Form::changed, monitor,
                [&model, &session] { model.setSessionName(session.name()); });
    }
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
}

void MainFrame::removeSessionWindow(session::Session &session)
{
    const auto found = m_windows.find(&session);
    if (found == m_windows.end())
        return;
    QMdiSubWindow *window = found->second;
    m_windows.erase(found);
    delete window;
}

void MainFrame::applyPlacement(const shell::WindowPlacement &placement)
{
    m_appliedPlacement = placement;
    setWindowState(Qt::WindowNoState);
    move(shell::twipsToPixels(placement.left), shell::twipsToPixels(placement.top));
    resize(std::clamp(shell::twipsToPixels(placement.width), 1, QWIDGETSIZE_MAX),
           std::clamp(shell::twipsToPixels(placement.height), 1, QWIDGETSIZE_MAX));
    applyState(placement.state);
}

void MainFrame::applyState(int state)
{
    Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == shell::kStateMinimized)
        states |= Qt::WindowMinimized;
    else if (state == shell::kStateMaximized)
        states |= Qt::WindowMaximized;
    setWindowState(states);
}

shell::WindowPlacement MainFrame::placement() const
{
    // A value the window still shows as the file gave it goes back as the
    // file had it: 7000 twips are 467 pixels, and 467 pixels are 7005 twips.
    const auto twips = [](int pixels, int applied) {
        return shell::twipsToPixels(applied) == pixels ? applied : shell::pixelsToTwips(pixels);
    };
    shell::WindowPlacement current;
    current.left = twips(pos().x(), m_appliedPlacement.left);
    current.top = twips(pos().y(), m_appliedPlacement.top);
    current.width = twips(width(), m_appliedPlacement.width);
    current.height = twips(height(), m_appliedPlacement.height);
    current.state = isMinimized() ? shell::kStateMinimized
                                  : isMaximized() ? shell::kStateMaximized : shell::kStateNormal;
    return current;
}

void MainFrame::arrange(shell::Arrangement arrangement)
{
    if (arrangement == shell::Arrangement::Cascade) {
        m_area->cascadeSubWindows();
        return;
    }
    QList<QMdiSubWindow *> open;
    QList<QMdiSubWindow *> minimised;
    for (QMdiSubWindow *window : m_area->subWindowList(QMdiArea::CreationOrder))
        (window->isMinimized() ? minimised : open).append(window);

    if (arrangement == shell::Arrangement::ArrangeIcons) {
        if (minimised.isEmpty())
            return;
        const QList<QPoint> corners = iconPositions(m_area->viewport()->rect(), minimised.first()->size(),
                                                    static_cast<int>(minimised.size()));
        for (qsizetype i = 0; i < minimised.size(); ++i)
            minimised.at(i)->move(corners.at(i));
        return;
    }
    const auto orientation = arrangement == shell::Arrangement::TileHorizontal ? Qt::Horizontal : Qt::Vertical;
    QSize minimum(0, 0);
    for (const QMdiSubWindow *window : open)
        minimum = minimum.expandedTo(window->minimumSizeHint());
    const QList<QRect> places =
        tileRects(m_area->viewport()->rect(), static_cast<int>(open.size()), orientation, minimum);
    for (qsizetype i = 0; i < open.size(); ++i) {
        if (open.at(i)->isMaximized())
            open.at(i)->showNormal();
        open.at(i)->setGeometry(places.at(i));
    }
}

void MainFrame::requestClose()
{
    if (m_model.isClosing())
        return;
    m_dialogs.closeAll();
    // A dialog's own event loop is still on the stack until its handler
    // returns; the sessions must outlive that handler.
    if (QThread::currentThread()->loopLevel() > 1) {
        QTimer::singleShot(0, this, &MainFrame::requestClose);
        return;
    }
    m_model.close();
}

void MainFrame::closeEvent(QCloseEvent *event)
{
    requestClose();
    if (!m_model.isClosing()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Shortcut) {
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        if (shortcut->isAmbiguous() && routeMnemonic(shortcut->key()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Alt+F names both the File menu and "Flow Control" in the session window.
// Qt takes turns between the owners of one mnemonic in an order of its own;
// here the menu always comes first and the session window's control second.
bool MainFrame::routeMnemonic(const QKeySequence &key)
{
    QMenu *menu = nullptr;
    for (QAction *entry : menuBar()->actions()) {
        if (entry->menu() && entry->isVisible() && QKeySequence::mnemonic(entry->text()) == key)
            menu = entry->menu();
    }
    if (!menu)
        return false;
    QLabel *control = nullptr;
    if (const QMdiSubWindow *active = m_area->activeSubWindow(); active && active->widget()) {
        for (QLabel *label : active->widget()->findChildren<QLabel *>()) {
            if (label->buddy() && label->isVisible() && QKeySequence::mnemonic(label->text()) == key)
                control = label;
        }
    }
    if (control && m_menuTookMnemonic == key) {
        m_menuTookMnemonic = QKeySequence();
        control->buddy()->setFocus(Qt::ShortcutFocusReason);
    } else {
        m_menuTookMnemonic = key;
        menuBar()->setActiveAction(menu->menuAction());
        // As the menu bar's own mnemonic does: the first item is ready for Enter.
        for (QAction *item : menu->actions()) {
            if (!item->isSeparator() && item->isVisible() && item->isEnabled()) {
                menu->setActiveAction(item);
                break;
            }
        }
    }
    return true;
}

void MainFrame::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !m_model.isClosing())
        m_model.onWindowStateChanged();
}

} // namespace pvx::gui
