#pragma once

#include "platform/host_resolver.h"
#include "platform/icmp_echo.h"

#include <QMap>
#include <QSet>

namespace pvx::fakes {

/// Echo requests that the test answers when it likes.
class FakeIcmpEcho : public platform::IcmpEcho {
public:
    struct Request {
        QString address;
        QByteArray data;
        int timeoutMs;
        std::function<void(const platform::EchoReply &)> done;
    };

    int send(const QString &address, const QByteArray &data, int timeoutMs,
             std::function<void(const platform::EchoReply &)> done) override
    {
        const int id = ++m_lastId;
        pending.insert(id, {address, data, timeoutMs, std::move(done)});
        return id;
    }
    void cancel(int requestId) override { pending.remove(requestId); }

    /// Answers request `id` with `reply`.
    void answer(int id, const platform::EchoReply &reply)
    {
        const Request request = pending.take(id);
        if (request.done)
            request.done(reply);
    }

    QMap<int, Request> pending;

private:
    int m_lastId = 0;
};

/// Names resolved from a table.
class FakeHostResolver : public platform::HostResolver {
public:
    void lookup(const QString &hostName, std::function<void(const QString &)> done) override
    {
        done(addresses.value(hostName));
    }
    QMap<QString, QString> addresses;
};

} // namespace pvx::fakes
