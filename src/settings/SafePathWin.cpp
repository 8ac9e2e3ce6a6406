#include "settings/SafePathWin.h"

#include "platform/FileOwner.h"
#include "settings/WinHandle.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <winioctl.h>

#include <cstring>
#include <optional>
#include <vector>

namespace qm::win {

namespace {

constexpr int kMaxHops = 40;
constexpr DWORD kMaxReparseData = 16 * 1024;

// The name itself, never what it leads to.
HANDLE openName(const QString& path) {
    return CreateFileW(native(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isReparsePoint(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// "<name> is a link made by <owner>" when another login made the reparse point `name`, opened as
// `h` (the one whose target is then read).
QString foreignLink(const QString& name, HANDLE h) {
    const std::optional<QString> who = otherLoginOfOwner(h);
    return who ? linkMadeBy(name, *who) : QString();
}

// Where a symbolic link or junction leads; empty for another kind of reparse point (a cloud or
// deduplicated file), which the system reads as a file. `relative`: a link relative to its folder.
QString reparseTarget(HANDLE h, bool& relative) {
    std::vector<char> buffer(kMaxReparseData);
    DWORD got = 0;
    if (!DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(), DWORD(buffer.size()), &got,
                         nullptr) ||
        got < 16) {
        return {};
    }
    const auto word = [&](std::size_t at) {
        WORD w = 0;
        std::memcpy(&w, buffer.data() + at, sizeof w);
        return std::size_t(w);
    };
    DWORD tag = 0;
    std::memcpy(&tag, buffer.data(), sizeof tag);
    const bool symlink = tag == IO_REPARSE_TAG_SYMLINK;
    if (!symlink && tag != IO_REPARSE_TAG_MOUNT_POINT) {
        return {};
    }
    constexpr std::size_t header = 8; // tag, data length, reserved
    ULONG flags = 0;
    if (symlink) {
        std::memcpy(&flags, buffer.data() + header + 8, sizeof flags);
    }
    const std::size_t names = header + 8 + (symlink ? 4 : 0);
    const bool printed = word(header + 6) > 0;
    const std::size_t offset = names + word(printed ? header + 4 : header);
    const std::size_t length = word(printed ? header + 6 : header + 2);
    if (offset + length > got) {
        return {};
    }
    std::vector<wchar_t> text(length / sizeof(wchar_t));
    std::memcpy(text.data(), buffer.data() + offset, text.size() * sizeof(wchar_t));
    QString target = QString::fromWCharArray(text.data(), qsizetype(text.size()));
    if (target.startsWith(QLatin1String("\\??\\UNC\\"))) {
        target = QStringLiteral("\\\\") + target.mid(8);
    } else if (target.startsWith(QLatin1String("\\??\\"))) {
        target = target.mid(4);
    }
    relative = symlink && (flags & 1); // SYMLINK_FLAG_RELATIVE
    return QDir::fromNativeSeparators(target);
}

// Each folder of `path` that is a reparse point must be one that may be followed (the system then
// follows it).
QString refusedFolder(const QString& path) {
    const bool unc = path.startsWith(QLatin1String("//"));
    const QStringList parts = path.mid(unc ? 2 : 0).split(QLatin1Char('/'));
    const int first = unc ? 2 : 1; // after "server/share", or after the drive
    QString folder = (unc ? QStringLiteral("//") : QString()) + parts.mid(0, first).join(QLatin1Char('/'));
    for (int i = first; i + 1 < parts.size(); ++i) {
        folder += QLatin1Char('/') + parts[i];
        const Handle h(openName(folder));
        if (h.ok() && isReparsePoint(h.get())) {
            if (QString why = foreignLink(folder, h.get()); !why.isEmpty()) {
                return why;
            }
        }
    }
    return {};
}

} // namespace

SafePath resolve(const QString& path) {
    QString current = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    for (int hops = 0; hops <= kMaxHops; ++hops) {
        if (QString why = refusedFolder(current); !why.isEmpty()) {
            return {current, why, 0};
        }
        const Handle h(openName(current));
        if (!h.ok()) {
            const DWORD error = GetLastError();
            return {current, {}, error == ERROR_FILE_NOT_FOUND ? 0 : error};
        }
        if (!isReparsePoint(h.get())) {
            return {current, {}, 0};
        }
        if (QString why = foreignLink(current, h.get()); !why.isEmpty()) {
            return {current, why, 0};
        }
        bool relative = false;
        const QString target = reparseTarget(h.get(), relative);
        if (target.isEmpty()) {
            return {current, {}, 0};
        }
        current =
            QDir::cleanPath(relative ? QFileInfo(current).absoluteDir().absoluteFilePath(target) : target);
    }
    return {current, {}, ERROR_CANT_RESOLVE_FILENAME};
}

QString refusedFile(const QString& path, HANDLE file) {
    if (isReparsePoint(file)) {
        return QStringLiteral("%1 became a link while it was opened").arg(QDir::toNativeSeparators(path));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks <= 1) {
        return {};
    }
    const Handle folder(openName(QFileInfo(path).absolutePath()));
    if (folder.ok() && ownedByThisLogin(folder.get())) {
        return {};
    }
    return QStringLiteral("%1 has %2 names (hard links) in a folder that other logins may write")
        .arg(QDir::toNativeSeparators(path))
        .arg(info.nNumberOfLinks);
}

} // namespace qm::win
