#pragma once

#include <QString>

namespace tarsyn::app {

/// Name of the single-instance guard; the lock file is keyed by it and by the user.
inline constexpr const char* kInstanceMutexName = "#kaldekaldeint%#";

/// Keeps a second copy of the program from starting. The guard is an exclusive flock on a lock file
/// in the user's runtime folder (XDG_RUNTIME_DIR, else the temporary folder), named after the mutex
/// name and the user. The lock is held until the process ends; the kernel drops it when the process
/// dies, so a copy that crashed or was killed never blocks the next start.
class SingleInstance {
public:
    /// The guard of the program: the lock file for kInstanceMutexName and the current user.
    SingleInstance() : SingleInstance(QString::fromLatin1(kInstanceMutexName)) {}
    /// The lock file for `name` and the current user.
    explicit SingleInstance(const QString& name);
    /// A guard on an explicit lock file (tests).
    static SingleInstance atPath(const QString& lockFilePath);
    ~SingleInstance();
    SingleInstance(SingleInstance&& other) noexcept;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    SingleInstance& operator=(SingleInstance&&) = delete;

    /// Takes the guard. False only when another process holds it; a lock file that cannot be created
    /// or locked for any other reason lets the program start (errors of the guard itself are ignored).
    bool acquire();
    bool held() const { return m_fd >= 0 && m_held; }
    QString lockFilePath() const { return m_path; }

    /// The lock file for `name` and the current user.
    static QString defaultLockFilePath(const QString& name);

private:
    struct AtPath {};
    SingleInstance(AtPath, const QString& path) : m_path(path) {}
    QString m_path;
    int m_fd = -1;
    bool m_held = false;
};

}  // namespace tarsyn::app
