#pragma once

#include "platform/device_watch.h"

#include <map>
#include <optional>

namespace pvx::fakes {

/// Device paths watched in memory: the test says when something appeared.
class FakeDeviceWatch : public platform::DeviceWatch {
public:
    platform::Result<int> watch(const QString &device, std::function<void()> mayHaveAppeared) override
    {
        if (failure)
            return *failure;
        const int id = m_nextId++;
        m_watches[id] = {device, std::move(mayHaveAppeared)};
        return id;
    }
    platform::Result<int> watchRelease(const QString &device, std::function<void()> mayBeFree) override
    {
        const int id = m_nextId++;
        m_releases[id] = {device, std::move(mayBeFree)};
        return id;
    }
    void cancel(int id) override
    {
        m_watches.erase(id);
        m_releases.erase(id);
    }

    /// The paths watched now, one entry per watch.
    QStringList watched() const { return devicesOf(m_watches); }
    /// The devices watched for their release now.
    QStringList releaseWatched() const { return devicesOf(m_releases); }
    /// Something happened at `device`: every watch of it hears.
    void changed(const QString &device) { notify(m_watches, device); }
    /// A program let go of `device`: every release watch of it hears.
    void released(const QString &device) { notify(m_releases, device); }

    /// Makes watch() fail.
    std::optional<platform::Error> failure;

private:
    struct Watch {
        QString device;
        std::function<void()> callback;
    };
    using Watches = std::map<int, Watch>;

    static QStringList devicesOf(const Watches &watches)
    {
        QStringList paths;
        for (const auto &[id, watch] : watches)
            paths.append(watch.device);
        return paths;
    }
    static void notify(Watches &watches, const QString &device)
    {
        std::vector<int> ids;
        for (const auto &[id, watch] : watches) {
            if (watch.device == device)
                ids.push_back(id);
        }
        // A callback may cancel any watch.
        for (const int id : ids) {
            if (const auto found = watches.find(id); found != watches.end()) {
                const auto callback = found->second.callback;
                callback();
            }
        }
    }

    Watches m_watches;
    Watches m_releases;
    int m_nextId = 1;
};

} // namespace pvx::fakes
