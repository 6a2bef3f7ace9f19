#include "platform/linux/qt_host_resolver.h"

#include <QHostInfo>

namespace pvx::platform {

int QtHostResolver::lookup(const QString &hostName, std::function<void(const QString &)> done)
{
    return start(hostName, [done = std::move(done)](const QHostInfo &info) {
        for (const QHostAddress &address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                done(address.toString());
                return;
            }
        }
        done({});
    });
}

int QtHostResolver::lookupAll(const QString &hostName, std::function<void(const QStringList &)> done)
{
    return start(hostName, [done = std::move(done)](const QHostInfo &info) {
        QStringList addresses;
        for (const QHostAddress &address : info.addresses())
            addresses.append(address.toString());
        done(addresses);
    });
}

int QtHostResolver::start(const QString &hostName, std::function<void(const QHostInfo &)> done)
{
    const int id = ++m_lastId;
    m_waiting.emplace(id, std::move(done));
    const QString name = hostName.isEmpty() ? QHostInfo::localHostName() : hostName;
    // Qt may answer a cached name before lookupHost returns: the answer goes
    // through the event loop all the same.
    QHostInfo::lookupHost(name, &m_context, [this, id](const QHostInfo &info) {
        QMetaObject::invokeMethod(
            &m_context, [this, id, info] { finished(id, info); }, Qt::QueuedConnection);
    });
    return id;
}

void QtHostResolver::cancel(int lookupId)
{
    m_waiting.erase(lookupId);
}

void QtHostResolver::finished(int lookupId, const QHostInfo &info)
{
    const auto found = m_waiting.find(lookupId);
    if (found == m_waiting.end())
        return;
    const auto done = std::move(found->second);
    m_waiting.erase(found);
    done(info);
}

} // namespace pvx::platform
