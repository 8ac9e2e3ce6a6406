#include "act/standin/StandinSession.h"

#include "act/standin/SessionLock.h"
#include "act/standin/StandinDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <chrono>
#include <ctime>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace qm::act::standin {

namespace {

const QString kRunning = QStringLiteral("running");
const QString kDatabase = QStringLiteral("database");
const QString kCurrentUser = QStringLiteral("currentUser");
const QString kCurrentField = QStringLiteral("currentField");
const QString kRegistered = QStringLiteral("registered");
const QString kRunSerial = QStringLiteral("runSerial");
const QString kOpenSerial = QStringLiteral("openSerial");
const QString kAuxCommands = QStringLiteral("auxCommands");
const QString kToolbar = QStringLiteral("toolbar");
const QString kToolsMenu = QStringLiteral("toolsMenu");

QJsonObject viewsToJson(const std::array<QStringList, kViewCount>& views) {
    QJsonObject o;
    for (int v = 0; v < kViewCount; ++v) {
        if (!views[static_cast<std::size_t>(v)].isEmpty()) {
            o.insert(QString::number(v + 1), QJsonArray::fromStringList(views[static_cast<std::size_t>(v)]));
        }
    }
    return o;
}

bool viewsFromJson(const QJsonValue& value, std::array<QStringList, kViewCount>& views) {
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isObject()) {
        return false;
    }
    const QJsonObject o = value.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        bool ok = false;
        const int v = it.key().toInt(&ok);
        if (!ok || v < 1 || v > kViewCount || !it.value().isArray()) {
            return false;
        }
        QStringList names;
        for (const QJsonValue& n : it.value().toArray()) {
            if (!n.isString()) {
                return false;
            }
            names << n.toString();
        }
        views[static_cast<std::size_t>(v - 1)] = names;
    }
    return true;
}

// The clock that times the collections' trust in the session. The collections read it on each of
// the tens of thousands of calls of a start-up: where the system keeps a coarse clock that ticks
// at least every 4 ms, that one, read in a fraction of the time of the precise clock.
std::int64_t nowNs() {
#ifdef CLOCK_MONOTONIC_COARSE
    static const bool coarse = [] {
        timespec tick{};
        return clock_getres(CLOCK_MONOTONIC_COARSE, &tick) == 0 && tick.tv_sec == 0 &&
               tick.tv_nsec <= 4000000;
    }();
    if (timespec t{}; coarse && clock_gettime(CLOCK_MONOTONIC_COARSE, &t) == 0) {
        return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
    }
#endif
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

QString viewName(int view) {
    switch (view) {
    case 1:
        return QStringLiteral("Contacts");
    case 2:
        return QStringLiteral("Contact List");
    case 3:
        return QStringLiteral("Groups");
    case 4:
        return QStringLiteral("Task List");
    case 5:
        return QStringLiteral("Calendars");
    case 6:
        return QStringLiteral("E-mail");
    default:
        return QStringLiteral("View %1").arg(view);
    }
}

QByteArray Session::toJson() const {
    QJsonObject o;
    o.insert(kRunning, running);
    o.insert(kDatabase, database);
    o.insert(kCurrentUser, currentUser);
    o.insert(kCurrentField, currentField);
    o.insert(kRegistered, registered);
    o.insert(kRunSerial, static_cast<qint64>(runSerial));
    o.insert(kOpenSerial, static_cast<qint64>(openSerial));
    QJsonObject aux;
    for (const AuxCommand& c : auxCommands) {
        aux.insert(c.name, QJsonObject{{QStringLiteral("commandLine"), c.commandLine},
                                       {QStringLiteral("folder"), c.folder},
                                       {QStringLiteral("menuText"), c.menuText},
                                       {QStringLiteral("toolTip"), c.toolTip},
                                       {QStringLiteral("icon"), c.icon},
                                       {QStringLiteral("icon32"), c.icon32},
                                       {QStringLiteral("kind"), c.kind}});
    }
    o.insert(kAuxCommands, aux);
    o.insert(kToolbar, viewsToJson(toolbar));
    o.insert(kToolsMenu, viewsToJson(toolsMenu));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<Session> Session::fromJson(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    if (!o.value(kRunning).isBool()) {
        return std::nullopt;
    }
    Session s;
    s.running = o.value(kRunning).toBool();
    s.database = o.value(kDatabase).toString();
    s.currentUser = o.value(kCurrentUser).toInt();
    s.currentField = o.value(kCurrentField).toInt();
    s.registered = o.value(kRegistered).toBool(true);
    s.runSerial = o.value(kRunSerial).toInteger();
    s.openSerial = o.value(kOpenSerial).toInteger();
    const QJsonObject aux = o.value(kAuxCommands).toObject();
    for (auto it = aux.begin(); it != aux.end(); ++it) {
        const QJsonObject c = it.value().toObject();
        s.auxCommands.insert(it.key(), AuxCommand{it.key(), c.value(QStringLiteral("commandLine")).toString(),
                                                  c.value(QStringLiteral("folder")).toString(),
                                                  c.value(QStringLiteral("menuText")).toString(),
                                                  c.value(QStringLiteral("toolTip")).toString(),
                                                  c.value(QStringLiteral("icon")).toString(),
                                                  c.value(QStringLiteral("icon32")).toString(),
                                                  c.value(QStringLiteral("kind")).toInt()});
    }
    if (!viewsFromJson(o.value(kToolbar), s.toolbar) || !viewsFromJson(o.value(kToolsMenu), s.toolsMenu)) {
        return std::nullopt;
    }
    return s;
}

FileStamp stampOf(const QString& path) {
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    return stamp;
}

SessionStore::SessionStore(QString home)
    : m_home(std::move(home)) {}

QString SessionStore::sessionPath() const {
    return QDir(m_home).filePath(QStringLiteral("session.json"));
}

Session SessionStore::load() const {
    QFile file(sessionPath());
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw StandinError(QDir::toNativeSeparators(file.fileName()) +
                           QStringLiteral(": cannot read the session (") + file.errorString() +
                           QLatin1Char(')'));
    }
    const std::optional<Session> s = Session::fromJson(file.readAll());
    if (!s) {
        throw StandinError(QDir::toNativeSeparators(file.fileName()) +
                           QStringLiteral(": not a session file (delete it to reset the stand-in)"));
    }
    return *s;
}

void SessionStore::save(const Session& session) const {
    if (!QDir().mkpath(m_home)) {
        throw StandinError(QDir::toNativeSeparators(m_home) + QStringLiteral(": cannot create the folder"));
    }
    QSaveFile file(sessionPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(session.toJson()) < 0 || !file.commit()) {
        throw StandinError(QDir::toNativeSeparators(sessionPath()) +
                           QStringLiteral(": cannot write the session (") + file.errorString() +
                           QLatin1Char(')'));
    }
}

SessionStore::Lock::Lock(const SessionStore& store) {
    if (!QDir().mkpath(store.home())) {
        throw StandinError(QDir::toNativeSeparators(store.home()) +
                           QStringLiteral(": cannot create the folder"));
    }
    m_lock = std::make_unique<SessionLock>(QDir(store.home()).filePath(QStringLiteral("session.lock")));
    const SessionLock::Result result = m_lock->lock(std::chrono::seconds(10));
    if (result != SessionLock::Result::Locked) {
        throw StandinError(QDir::toNativeSeparators(store.home()) +
                           (result == SessionLock::Result::Held
                                ? QStringLiteral(": the session is locked by another process")
                                : QStringLiteral(": cannot write in the folder")));
    }
}

SessionStore::Lock::~Lock() = default;

SessionWatch::SessionWatch(QString home)
    : m_store(std::move(home)) {}

const Session& SessionWatch::fresh() {
    m_checkedAtNs = nowNs();
    const FileStamp stamp = stampOf(m_store.sessionPath());
    if (stamp == m_stamp && stamp.exists) {
        return m_session;
    }
    m_stamp = stamp;
    try {
        m_session = m_store.load();
    } catch (const StandinError&) {
        m_session = Session{};
    }
    return m_session;
}

const Session& SessionWatch::recent() {
    constexpr std::int64_t kInterval = 2000000; // 2 ms
    if (m_checkedAtNs >= 0 && nowNs() - m_checkedAtNs < kInterval) {
        return m_session;
    }
    return fresh();
}

} // namespace qm::act::standin
