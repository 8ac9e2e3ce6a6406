#pragma once

// Names of settings files in a folder that other logins may write (POSIX only). Such a login can
// put a symbolic link or a second hard link where a settings file is expected, and so have this
// login read or write a file of its own choosing. So:
// - a symbolic link is followed only when this login or root made it, at every hop of a chain,
//   the links among the folders of the path included; any other is refused (FileOwner.h says
//   who made a name). The path is walked by descriptors, each name opened without following it,
//   and a link's maker and target are read from the link that was opened: a name given to another
//   link or folder after it was looked at never leads elsewhere;
// - the final name is opened without following a link (O_NOFOLLOW), and what was opened must be
//   what the name names (the same device and inode as its lstat): else it changed meanwhile;
// - a regular file with more than one hard link is refused unless its folder is this login's own
//   (owned by it and writable by nobody else): another name of it may lie anywhere.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace qm::posix {

// A descriptor, closed with this.
class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept
        : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

inline bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct SafePath {
    QByteArray folder; // the final folder, no link among its components (when ok)
    QByteArray name;   // the final name in it, not a link of another login
    int error = 0;     // errno of a folder of the path that could not be looked at
    QString refused;   // "<link> is a link made by <login>", when such a link was met
    Fd dir;            // the final folder, open for reading (when ok): names are opened in it
    bool ok() const { return error == 0 && refused.isEmpty(); }
};

// `path` resolved through the links this login or root made. A missing final name is fine (a
// file to be made); a missing folder is error ENOENT.
SafePath resolve(const QString& path);

// A folder that only this login may write: its own, with no write permission for group or others.
bool ownFolder(const struct stat& folder);

// Why a regular file `file` of folder `folder` is refused, or an empty text: more than one hard
// link outside this login's own folder.
QString refusedLinks(const QString& path, const struct stat& file, const struct stat& folder);

} // namespace qm::posix
