#include "gui/about_dialog.h"

#include "about/about_form.h"
#include "gui/bound_widgets.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pvx::gui {

namespace {

constexpr int kIconSize = 32;
constexpr int kTextWidth = 360;

QLabel *wrappedLabel(QWidget *parent, core::Control &control)
{
    QLabel *label = boundLabel(parent, control);
    label->setWordWrap(true);
    label->setMinimumWidth(kTextWidth);
    return label;
}

} // namespace

AboutDialog::AboutDialog(about::AboutForm &form, QWidget *parent) : FormDialog(form, parent), m_form(form)
{
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    const QIcon programIcon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_DriveNetIcon)
                                                                  : QApplication::windowIcon();
    icon->setPixmap(programIcon.pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignTop);

    QLabel *title = boundLabel(this, form.titleLabel);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    title->setFont(titleFont);

    // The web address looks and acts like a link: blue, bold, underlined,
    // with the pointing hand.
    m_link = boundLabel(this, form.webAddressLabel);
    QFont linkFont = m_link->font();
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    m_link->setFont(linkFont);
    QPalette linkColours = m_link->palette();
    linkColours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_link->setPalette(linkColours);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->installEventFilter(this);

    auto *texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(boundLabel(this, form.versionLabel));
    texts->addWidget(wrappedLabel(this, form.descriptionLabel));
    texts->addWidget(m_link, 0, Qt::AlignLeft);

    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    QPushButton *ok = boundPushButton(this, form.okButton);
    ok->setDefault(true);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(boundPushButton(this, form.systemInfoButton));
    buttons->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(wrappedLabel(this, form.disclaimerLabel), 1);
    bottom->addLayout(buttons);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line);
    layout->addLayout(bottom);
}

bool AboutDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_link && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // Opening a browser can take a moment.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_form.onWebAddressClicked();
        QApplication::restoreOverrideCursor();
        return true;
    }
    return FormDialog::eventFilter(watched, event);
}

} // namespace pvx::gui
