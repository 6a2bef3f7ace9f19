#pragma once

#include "platform/host_resolver.h"
#include "platform/icmp_echo.h"

#include <QMap>
#include <QSet>

#include <utility>

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

/// Names resolved from a table when the test says so.
class FakeHostResolver : public platform::HostResolver {
public:
    int lookup(const QString &hostName, std::function<void(const QString &)> done) override
    {
        const int id = ++m_lastId;
        pending.insert(id, {hostName, std::move(done)});
        return id;
    }
    int lookupAll(const QString &hostName, std::function<void(const QStringList &)> done) override
    {
        const int id = ++m_lastId;
        pendingAll.insert(id, {hostName, std::move(done)});
        return id;
    }
    void cancel(int lookupId) override
    {
        pending.remove(lookupId);
        pendingAll.remove(lookupId);
    }

    /// Answers every waiting look-up from `addresses` (empty for a name not
    /// in it), and every look-up of all addresses from `allAddresses`.
    void resolveAll()
    {
        const auto waiting = std::exchange(pending, {});
        for (const auto &[name, done] : waiting)
            done(addresses.value(name));
        const auto waitingAll = std::exchange(pendingAll, {});
        for (const auto &[name, done] : waitingAll)
            done(allAddresses.value(name));
    }

    QMap<QString, QString> addresses;
    QMap<QString, QStringList> allAddresses;
    QMap<int, std::pair<QString, std::function<void(const QString &)>>> pending;
    QMap<int, std::pair<QString, std::function<void(const QStringList &)>>> pendingAll;

private:
    int m_lastId = 0;
};

} // namespace pvx::fakes
