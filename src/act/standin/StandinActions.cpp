#include "act/standin/StandinActions.h"

#include <QDir>
#include <QFileInfo>

namespace qm::act::standin {

namespace {

void requireRunning(const Session& s) {
    if (!s.running) {
        throw StandinError(QStringLiteral("ACT! is not running (start it with: act-standin start)"));
    }
}

void requireDatabase(const Session& s) {
    requireRunning(s);
    if (s.database.isEmpty()) {
        throw StandinError(QStringLiteral("ACT! has no database open"));
    }
}

void openIn(Session& s, const QString& path, const DatabaseContents& db) {
    s.database = path;
    ++s.openSerial;
    s.currentUser = db.administratorPosition();
    s.currentField = db.firstProtectedField();
}

// Index of the only entry whose text matches `wanted`: exactly, else ignoring letter case.
// -1 when none; -2 when several match ignoring case (and none exactly).
template <typename Texts> int matchText(const Texts& texts, const QString& wanted) {
    int found = -1;
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        if (texts[static_cast<std::size_t>(i)] == wanted) {
            return i;
        }
    }
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        if (texts[static_cast<std::size_t>(i)].compare(wanted, Qt::CaseInsensitive) == 0) {
            found = found == -1 ? i : -2;
        }
    }
    return found;
}

} // namespace

QString absoluteDatabasePath(const QString& path) {
    if (path.isEmpty()) {
        throw StandinError(QStringLiteral("no database file given"));
    }
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

Session startActOn(const SessionStore& store, const QString& databasePath,
                   const std::function<void(const QString& path)>& createMissing) {
    const QString path = absoluteDatabasePath(databasePath);
    DatabaseContents db;
    if (!createMissing) {
        db = readDatabase(path);
    }
    return store.update([&](Session& s) {
        if (createMissing) {
            if (!QFileInfo::exists(path)) {
                createMissing(path);
            }
            db = readDatabase(path);
        }
        if (!s.running) {
            s.running = true;
            ++s.runSerial;
            s.database.clear();
        }
        if (s.database != path) {
            openIn(s, path, db);
        }
    });
}

Session openDatabase(const SessionStore& store, const QString& databasePath) {
    const QString path = absoluteDatabasePath(databasePath);
    const DatabaseContents db = readDatabase(path);
    return store.update([&](Session& s) {
        requireRunning(s);
        openIn(s, path, db);
    });
}

Session closeDatabase(const SessionStore& store) {
    return store.update([](Session& s) {
        requireDatabase(s);
        s.database.clear();
    });
}

Session quitAct(const SessionStore& store) {
    return store.update([](Session& s) {
        requireRunning(s);
        s.running = false;
        s.database.clear();
    });
}

int findUser(const DatabaseContents& db, const QString& who) {
    bool isNumber = false;
    const int position = who.toInt(&isNumber);
    if (isNumber) {
        if (position < 1 || position > static_cast<int>(db.users.size())) {
            throw StandinError(QStringLiteral("no user at position %1 (the database has %2 users)")
                                   .arg(position)
                                   .arg(db.users.size()));
        }
        return position;
    }
    QStringList names;
    for (const UserRecord& u : db.users) {
        names << u.name;
    }
    const int index = matchText(names, who);
    if (index == -2) {
        throw StandinError(QStringLiteral("several users are called \"%1\"; give a position").arg(who));
    }
    if (index < 0) {
        throw StandinError(QStringLiteral("no user called \"%1\"").arg(who));
    }
    return index + 1;
}

std::int32_t findField(const DatabaseContents& db, const QString& which) {
    bool isNumber = false;
    const std::int32_t id = which.toInt(&isNumber);
    if (isNumber && id != -1 && db.slotOfField(id) >= 0) {
        return id;
    }
    std::vector<QString> labels;
    std::vector<std::int32_t> ids;
    for (const FieldSlot& s : db.slots) {
        if (s.id != -1) {
            labels.push_back(s.label);
            ids.push_back(s.id);
        }
    }
    const int index = matchText(labels, which);
    int exactCount = 0;
    for (const QString& l : labels) {
        exactCount += l == which ? 1 : 0;
    }
    if (index == -2 || exactCount > 1) {
        throw StandinError(QStringLiteral("several fields are labelled \"%1\"; give a field ID").arg(which));
    }
    if (index < 0) {
        throw StandinError(isNumber ? QStringLiteral("no field with ID %1").arg(which)
                                    : QStringLiteral("no field labelled \"%1\"").arg(which));
    }
    return ids[static_cast<std::size_t>(index)];
}

Session setCurrentUser(const SessionStore& store, const QString& who) {
    Session now = store.load();
    requireDatabase(now);
    const int position = findUser(readDatabase(now.database), who);
    return store.update([&](Session& s) {
        if (s.database != now.database) {
            throw StandinError(QStringLiteral("the open database changed meanwhile; try again"));
        }
        s.currentUser = position;
    });
}

Session setCurrentField(const SessionStore& store, const QString& which) {
    Session now = store.load();
    requireDatabase(now);
    const std::int32_t id = findField(readDatabase(now.database), which);
    return store.update([&](Session& s) {
        if (s.database != now.database) {
            throw StandinError(QStringLiteral("the open database changed meanwhile; try again"));
        }
        s.currentField = id;
    });
}

Session setRegistered(const SessionStore& store, bool registered) {
    return store.update([&](Session& s) { s.registered = registered; });
}

} // namespace qm::act::standin
