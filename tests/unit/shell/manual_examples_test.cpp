// The manual's configuration examples load as the manual says they do: each
// <pre class="example" id=X> is a whole file, and the table with
// data-example=X lists what the loaded session shows.
#include "support/shell_fixture.h"
#include "support/text.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

QString unescaped(QString html)
{
    html.replace(s("&lt;"), s("<")).replace(s("&gt;"), s(">")).replace(s("&quot;"), s("\""));
    return html.replace(s("&amp;"), s("&"));
}

struct Example {
    QString file;
    std::map<QString, QString> stated;
};

std::map<QString, Example> examplesOf(const QString &html)
{
    std::map<QString, Example> examples;
    const QRegularExpression file(s(R"re(<pre class="example" id="([^"]+)">(.*?)</pre>)re"),
                                  QRegularExpression::DotMatchesEverythingOption);
    for (const auto &match : file.globalMatch(html))
        examples[match.captured(1)].file = unescaped(match.captured(2));
    const QRegularExpression table(s(R"re(<table class="example-settings" data-example="([^"]+)">(.*?)</table>)re"),
                                   QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression cell(s(R"re(<td data-setting="([^"]+)">(.*?)</td>)re"));
    for (const auto &match : table.globalMatch(html)) {
        for (const auto &setting : cell.globalMatch(match.captured(2)))
            examples[match.captured(1)].stated[setting.captured(1)] = unescaped(setting.captured(2));
    }
    return examples;
}

/// What the loaded session shows for a setting, in the manual's words.
QString shown(ShellFixture &f, const QString &setting)
{
    const pvx::session::SessionWindow &w = f.sessionWindow(0);
    const auto yesNo = [](const pvx::core::Control &box) { return box.value() == 1 ? s("yes") : s("no"); };
    const std::map<QString, std::function<QString()>> readers = {
        {s("Connector"), [&] { return w.connector.text(); }},
        {s("BaudRate"), [&] { return w.baudRate.text(); }},
        {s("Parity"), [&] { return w.parity.text(); }},
        {s("Databits"), [&] { return w.dataBits.text(); }},
        {s("Stopbits"), [&] { return w.stopBits.text(); }},
        {s("FlowControl"), [&] { return w.flowControl.text(); }},
        {s("BufferSize"), [&] { return w.bufferSize.text(); }},
        {s("CreateVirtualPort"), [&] { return yesNo(w.useVirtualPort); }},
        {s("UseUDP"), [&] { return yesNo(w.useUdp); }},
        {s("WaitForCr"), [&] { return yesNo(w.waitForTimeout); }},
        {s("TimeoutValue"), [&] { return w.timeoutValue.text(); }},
        {s("TCPOption"), [&] { return w.selectedRole() == pvx::session::Role::Server ? s("server") : s("client"); }},
        {s("LocalIP"), [&] { return w.localAddress.text(); }},
        {s("IPAddress"), [&] { return w.remoteHost.text(); }},
        {s("PortNumber"), [&] { return w.portNumber.text(); }},
        {s("AllowMultiConnect"), [&] { return w.options.AllowMultiConnect == 1 ? s("any number") : s("1"); }},
        {s("SessionDescription"), [&] { return w.windowNameButton.tag(); }},
        {s("AutoActivate"), [&] { return f.window->AutoActivateFlags.at(1) == 1 ? s("yes") : s("no"); }},
        {s("Device"), [&] { return f.ports.deviceFor(w.connector.selectedIndex()); }},
        {s("VirtualPortDir"), [&] { return f.ports.virtualPortDirectory; }},
    };
    const auto reader = readers.find(setting);
    return reader == readers.end() ? s("(no such setting: ") + setting + QLatin1Char(')') : reader->second();
}

} // namespace

TEST(ManualExamples, EachLoadsAsTheManualStates)
{
    QFile manual(QStringLiteral(PVX_SOURCE_DIR "/docs/manual.html"));
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    const auto examples = examplesOf(QString::fromUtf8(manual.readAll()));
    ASSERT_EQ(examples.size(), 3u);

    for (const auto &[name, example] : examples) {
        ASSERT_FALSE(example.file.isEmpty()) << name.toStdString();
        ASSERT_GE(example.stated.size(), 10u) << name.toStdString();
        ShellFixture f;
        f.writeFile(s("/examples/") + name + s(".pvx"), example.file.toUtf8().constData());
        f.window->getprofilesettings(s("/examples/") + name + s(".pvx"));
        ASSERT_EQ(f.sessions.size(), 1u) << name.toStdString();
        for (const auto &[setting, value] : example.stated)
            EXPECT_EQ(shown(f, setting).toStdString(), value.toStdString())
                << name.toStdString() << ": " << setting.toStdString();
    }
}
