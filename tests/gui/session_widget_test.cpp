#include "gui/session_widget.h"

#include "gui/lamp.h"
#include "support/widget_lookup.h"
#include "support/text.h"
#include "support/session_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using pvx::testing::child;
using pvx::testing::s;

using pvx::testing::SessionFixture;

TEST(SessionWidget, ShowsTheModelsDefaults)
{
    SessionFixture f;
    pvx::gui::SessionWidget view(*f.session);
    view.show();
    EXPECT_EQ(child<QComboBox>(view, "Combo2").currentText(), s("None"));
    EXPECT_EQ(child<QComboBox>(view, "Combo10").currentText(), s("9600"));
    EXPECT_EQ(child<QComboBox>(view, "Combo15").currentText(), s("8192"));
    EXPECT_EQ(child<QLineEdit>(view, "PortNumber").text(), s("1000"));
    EXPECT_EQ(child<QLineEdit>(view, "txtTimeoutValue").text(), s("150"));
    EXPECT_TRUE(child<QRadioButton>(view, "TCPOption0").isChecked());
    EXPECT_FALSE(child<QCheckBox>(view, "chkVPort").isChecked());
    EXPECT_EQ(child<QPushButton>(view, "Command1").text(), s("Activate"));
    EXPECT_EQ(child<QLabel>(view, "StatusBar10").text(), s("COM Status:"));
    EXPECT_EQ(child<QLabel>(view, "StatusBar11").text(), s("TCP/IP Status:"));
    EXPECT_EQ(child<QLabel>(view, "Label2").text(), s("Remote Host IP Address"));
    EXPECT_TRUE(child<QLineEdit>(view, "IPAddress").isVisible());
    EXPECT_FALSE(child<QComboBox>(view, "LocalIP").isVisible());
    EXPECT_EQ(child<pvx::gui::Lamp>(view, "Shape10").colourValue(), 65280);
}

TEST(SessionWidget, FollowsTheModelAndHandsUserActionsBack)
{
    SessionFixture f;
    f.ports.devices.insert(2, s("/dev/fake2"));
    pvx::gui::SessionWidget view(*f.session);
    view.show();
    auto &w = f.window();

    child<QRadioButton>(view, "TCPOption1").click();
    EXPECT_EQ(w.serverRoleButton.value(), 1);
    EXPECT_EQ(child<QLabel>(view, "Label2").text(), s("Local IP Address"));
    EXPECT_FALSE(child<QLineEdit>(view, "IPAddress").isVisible());
    EXPECT_TRUE(child<QComboBox>(view, "LocalIP").isVisible());

    auto &connector = child<QComboBox>(view, "Combo2");
    connector.setCurrentIndex(2);
    emit connector.activated(2);
    EXPECT_EQ(w.connector.selectedIndex(), 2);
    EXPECT_EQ(w.linkTopic(), s("COM2"));

    child<QPushButton>(view, "Command1").click();
    EXPECT_TRUE(f.session->isActive());
    EXPECT_EQ(child<QPushButton>(view, "Command1").text(), s("De-Activate"));
    EXPECT_EQ(child<QLabel>(view, "StatusBar10").text(), s("COM Status: Open"));
    EXPECT_EQ(child<QLabel>(view, "StatusBar11").text(), s("TCP/IP Status: Listening..."));
    EXPECT_FALSE(connector.isEnabled());
    EXPECT_EQ(view.windowTitle(), s("COM2 - RS232 to TCP/IP"));

    w.lamp(pvx::session::StatusLine::Network).setValue(255);
    EXPECT_EQ(child<pvx::gui::Lamp>(view, "Shape11").colourValue(), 255);
}

TEST(SessionWidget, LocalAddressListIsBuiltAfreshWhenItDropsDown)
{
    SessionFixture f;
    pvx::gui::SessionWidget view(*f.session);
    view.show();
    child<QRadioButton>(view, "TCPOption1").click();
    auto &box = child<QComboBox>(view, "LocalIP");
    box.setEditText(s("192.0.2.10"));
    f.network.addresses.append(s("198.51.100.7"));
    box.showPopup();
    box.hidePopup();
    EXPECT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(2), s("198.51.100.7"));
    EXPECT_EQ(box.currentText(), s("192.0.2.10"));
}
