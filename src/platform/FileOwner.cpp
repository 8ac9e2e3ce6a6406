#include "platform/FileOwner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm {

namespace {

// As many links as the kernel follows in one name.
constexpr int kMaxHops = 40;

#ifdef Q_OS_WIN

// The token's own user, or nothing when it cannot be asked.
std::vector<char> currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size);
    const bool ok = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return ok ? buffer : std::vector<char>();
}

QString accountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return QStringLiteral("an unknown login");
    }
    return QString::fromWCharArray(domain) + QLatin1Char('\\') + QString::fromWCharArray(name);
}

#endif

} // namespace

#ifdef Q_OS_WIN
namespace {

bool isThisLogin(PSID sid) {
    static const std::vector<char> user = currentUserSid();
    return !user.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

// `use` of the owner of the open `handle`, or nullopt when it cannot be read.
template <typename Use> auto withOwner(HANDLE handle, Use use) -> std::optional<decltype(use(PSID()))> {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    auto result = use(owner);
    LocalFree(descriptor);
    return result;
}

} // namespace

std::optional<QString> otherLoginOfOwner(void* handle) {
    return withOwner(handle,
                     [](PSID owner) {
                         const bool ours = isThisLogin(owner) ||
                                           IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                           IsWellKnownSid(owner, WinLocalSystemSid);
                         return ours ? std::nullopt : std::optional(accountName(owner));
                     })
        .value_or(QStringLiteral("an unknown login")); // whose it is cannot be told: not ours
}

bool ownedByThisLogin(void* handle) {
    return withOwner(handle, [](PSID owner) { return isThisLogin(owner); }).value_or(false);
}
#endif

std::optional<QString> otherLoginOf(const QString& path) {
#ifdef Q_OS_WIN
    // The name itself, not what a link or junction leads to.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(
        name.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        return QStringLiteral("an unknown login"); // whose it is cannot be told: not ours
    }
    std::optional<QString> result = otherLoginOfOwner(file);
    CloseHandle(file);
    return result;
#else
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return otherLoginOfOwner(info.st_uid);
#endif
}

#ifndef Q_OS_WIN
std::optional<QString> otherLoginOfOwner(uid_t owner) {
    if (owner == ::geteuid() || owner == 0) {
        return std::nullopt;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(owner, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return QString::fromLocal8Bit(found->pw_name);
    }
    return QString::number(owner);
}
#endif

QString linkMadeBy(const QString& link, const QString& login) {
    return QDir::toNativeSeparators(link) + QStringLiteral(" is a link made by ") + login;
}

QString LinkWalk::reason() const {
    return linkMadeBy(foreignLink, foreignLogin);
}

LinkWalk walkLinks(const QString& path) {
    LinkWalk walk;
    QString name = path;
    // The same walk as the toolkit's own writer makes (it resolves the links itself, so the
    // kernel's protection of links in shared folders never applies), a maker's check at each hop.
    for (int hop = 0; hop < kMaxHops; ++hop) {
        const QFileInfo info(name);
        if (!info.isSymLink()) {
            walk.target = name;
            return walk;
        }
        if (const std::optional<QString> login = otherLoginOf(name)) {
            walk.foreignLink = name;
            walk.foreignLogin = *login;
            walk.target = path;
            return walk;
        }
        name = info.symLinkTarget();
    }
    walk.target = path; // a writer that replaces the name replaces the link itself
    return walk;
}

} // namespace qm
