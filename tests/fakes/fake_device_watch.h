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
    void cancel(int id) override { m_watches.erase(id); }

    /// The paths watched now, one entry per watch.
    QStringList watched() const
    {
        QStringList paths;
        for (const auto &[id, watch] : m_watches)
            paths.append(watch.device);
        return paths;
    }
    /// Something happened at `device`: every watch of it hears.
    void changed(const QString &device)
    {
        std::vector<int> ids;
        for (const auto &[id, watch] : m_watches) {
            if (watch.device == device)
                ids.push_back(id);
        }
        for (const int id : ids) {
            if (const auto found = m_watches.find(id); found != m_watches.end()) {
                const auto callback = found->second.mayHaveAppeared;
                callback();
            }
        }
    }

    /// Makes watch() fail.
    std::optional<platform::Error> failure;

private:
    struct Watch {
        QString device;
        std::function<void()> mayHaveAppeared;
    };
    std::map<int, Watch> m_watches;
    int m_nextId = 1;
};

} // namespace pvx::fakes
