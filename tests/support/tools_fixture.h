#pragma once

#include "fakes/fake_dialogs.h"
#include "fakes/fake_network_tools.h"
#include "platform/icmp_echo.h"
#include "resources/string_table.h"

namespace pvx::testing {

/// What the tool windows use, all fake: the test resolves names and
/// answers echoes when it likes.
struct ToolsFixture {
    ToolsFixture()
    {
        resolver.addresses.insert(QStringLiteral("localhost"), QStringLiteral("127.0.0.1"));
        resolver.addresses.insert(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
    }

    /// Answers the only waiting echo from 127.0.0.1 with `data`.
    void answerEcho(const QByteArray &data, int roundTripMs = 1)
    {
        platform::EchoReply reply;
        reply.address = QStringLiteral("127.0.0.1");
        reply.roundTripMs = roundTripMs;
        reply.ttl = 64;
        reply.data = data;
        echo.answer(echo.pending.firstKey(), reply);
    }

    resources::StringTable strings{resources::Language::English};
    fakes::FakeDialogs dialogs;
    fakes::FakeHostResolver resolver;
    fakes::FakeIcmpEcho echo;
};

} // namespace pvx::testing
