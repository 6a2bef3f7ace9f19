#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QByteArray>
#include <QString>

namespace pvx::platform {

/// A name claimed in the virtual-port folder. The claim is the lock file
/// "<name>.lock", held with flock() for as long as this object lives; the
/// port itself is the symbolic link "<name>" to its device. A link whose lock
/// file nobody holds was left by a process that is gone: it is stale and may
/// be replaced. Nothing else in the folder is ever deleted.
class PortLink {
public:
    /// Claims `name` in `folder`. The folder is created 0755 (with its
    /// parents) when missing and refused when it is a symbolic link, not a
    /// folder, another user's, or writable by group or others. A stale link of that name is removed; a
    /// link whose lock is held (by any port, also of this process) or any
    /// other file of that name fails with a description naming the path.
    static Result<PortLink> claim(const QString &folder, const QString &name);

    PortLink(PortLink &&) noexcept = default;
    PortLink &operator=(PortLink &&) = delete;
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;
    /// Releases as release() does; a link that cannot be removed stays
    /// behind with its lock let go, so it reads as stale.
    ~PortLink();

    /// Makes the link point to `target`.
    Result<void> link(const QString &target);
    /// Removes the link (when it still is the one made here) and the lock
    /// file, then lets go of the lock. When the link cannot be removed it
    /// fails and changes nothing: the claim and the link stay.
    Result<void> release();

    /// The link's full path.
    QString path() const { return m_path; }

private:
    PortLink(UniqueFd folder, UniqueFd lock, QByteArray name, QString path);

    UniqueFd m_folder;
    UniqueFd m_lock;
    QByteArray m_name;
    QString m_path;
    QByteArray m_target;
};

/// Removes every stale link of `folder` with its lock file, and nothing else.
/// A missing or unsafe folder is left alone.
void removeStaleLinks(const QString &folder);

} // namespace pvx::platform
