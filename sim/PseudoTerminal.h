#pragma once

#include <QString>

namespace tarsyn::sim {

/// The simulator's end of a pseudo-terminal. The slave side is put in raw mode (no echo, no CR/LF
/// translation) and kept open here, so the master never sees a hang-up while no client is
/// connected and a client may close and reopen the device at will.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    /// Opens the pair; false with errorString() set on failure.
    bool open();
    /// Makes `linkPath` a symbolic link to the slave device, replacing an earlier symbolic link
    /// (a stale one left by a killed simulator) but never a regular file or folder.
    bool createLink(const QString& linkPath);
    /// Removes the link if it still points at this device.
    void removeLink();

    /// Drops what was sent to the device and nobody read (a client that went away mid-reply).
    void discardUnread();

    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;
};

}  // namespace tarsyn::sim
