#include "StandinCommands.h"

#include "act/standin/StandinActions.h"
#include "act/standin/StandinDatabase.h"
#include "act/standin/StandinSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <map>

namespace qm::standin {

using namespace qm::act::standin;

namespace {

// Bad input on the command line: the message is printed with the help hint.
class UsageError : public StandinError {
public:
    using StandinError::StandinError;
};

struct Context {
    QStringList args; // after the command name
    SessionStore store;
    QTextStream& out;
};

void expectArgs(const Context& c, int min, int max) {
    if (c.args.size() < min) {
        throw UsageError(QStringLiteral("missing argument"));
    }
    if (c.args.size() > max) {
        throw UsageError(QStringLiteral("unexpected argument \"%1\"").arg(c.args.at(max)));
    }
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString demoPath(const SessionStore& store) {
    return QDir(store.home()).filePath(QStringLiteral("Demo.dbf"));
}

// Describes the open database's current user and field for status and the commands that
// change them.
QString userText(const DatabaseContents& db, int position) {
    if (position < 1 || position > static_cast<int>(db.users.size())) {
        return QStringLiteral("%1 (no such user)").arg(position);
    }
    const UserRecord& u = db.users[static_cast<std::size_t>(position - 1)];
    return QStringLiteral("%1 %2 (security %3)").arg(position).arg(quoted(u.name)).arg(u.security);
}

QString fieldText(const DatabaseContents& db, std::int32_t id) {
    const int slot = db.slotOfField(id);
    if (slot < 0) {
        return QStringLiteral("%1 (no such field)").arg(id);
    }
    const FieldSlot& f = db.slots[static_cast<std::size_t>(slot)];
    return QStringLiteral("%1 %2 (slot %3, entry rule %4)")
        .arg(id)
        .arg(quoted(f.label))
        .arg(slot)
        .arg(f.entryRule);
}

void printOpened(const Context& c, const Session& s) {
    const DatabaseContents db = readDatabase(s.database);
    c.out << "ACT! runs on " << QDir::toNativeSeparators(s.database) << Qt::endl;
    c.out << "Current user: " << userText(db, s.currentUser) << Qt::endl;
    c.out << "Current field: " << fieldText(db, s.currentField) << Qt::endl;
}

int cmdStart(Context& c) {
    expectArgs(c, 0, 1);
    if (!c.args.isEmpty()) {
        printOpened(c, startActOn(c.store, c.args.first()));
        return kExitOk;
    }
    printOpened(c, startActOn(c.store, demoPath(c.store),
                              [](const QString& path) { writeDatabaseFromScript(path, demoScript()); }));
    return kExitOk;
}

int cmdOpen(Context& c) {
    expectArgs(c, 1, 1);
    printOpened(c, openDatabase(c.store, c.args.first()));
    return kExitOk;
}

int cmdClose(Context& c) {
    expectArgs(c, 0, 0);
    closeDatabase(c.store);
    c.out << "ACT! runs with no database open" << Qt::endl;
    return kExitOk;
}

int cmdQuit(Context& c) {
    expectArgs(c, 0, 0);
    quitAct(c.store);
    c.out << "ACT! has shut down" << Qt::endl;
    return kExitOk;
}

int cmdUser(Context& c) {
    expectArgs(c, 1, 1);
    const Session s = setCurrentUser(c.store, c.args.first());
    c.out << "Current user: " << userText(readDatabase(s.database), s.currentUser) << Qt::endl;
    return kExitOk;
}

int cmdField(Context& c) {
    expectArgs(c, 1, 1);
    const Session s = setCurrentField(c.store, c.args.first());
    c.out << "Current field: " << fieldText(readDatabase(s.database), s.currentField) << Qt::endl;
    return kExitOk;
}

int cmdRegister(Context& c, bool registered) {
    expectArgs(c, 0, 0);
    setRegistered(c.store, registered);
    c.out << (registered ? "ACT!'s automation is registered" : "ACT!'s automation is not registered")
          << Qt::endl;
    return kExitOk;
}

int cmdStatus(Context& c) {
    expectArgs(c, 0, 1);
    const bool quiet = c.args.size() == 1;
    if (quiet && c.args.first() != QLatin1String("--quiet")) {
        throw UsageError(QStringLiteral("unexpected argument \"%1\"").arg(c.args.first()));
    }
    const Session s = c.store.load();
    const int code = s.databaseOpen() ? kExitOk : kExitNotRunning;
    if (quiet) {
        return code;
    }
    c.out << "Home: " << QDir::toNativeSeparators(c.store.home()) << Qt::endl;
    c.out << "ACT!: " << (s.running ? "running" : "not running");
    if (s.running) { // each start in this home counts, a restart by the tool included
        c.out << " (started "
              << (s.runSerial == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(s.runSerial))
              << ')';
    }
    c.out << Qt::endl;
    c.out << "Automation: " << (s.registered ? "registered" : "not registered") << Qt::endl;
    if (!s.running) {
        return code;
    }
    if (s.database.isEmpty()) {
        c.out << "Database: none open" << Qt::endl;
        return code;
    }
    c.out << "Database: " << QDir::toNativeSeparators(s.database) << Qt::endl;
    try {
        const DatabaseContents db = readDatabase(s.database);
        c.out << "Fields: " << db.fieldCount() << " in " << db.slots.size()
              << " slots; users: " << db.users.size() << Qt::endl;
        c.out << "Current user: " << userText(db, s.currentUser) << Qt::endl;
        c.out << "Current field: " << fieldText(db, s.currentField) << Qt::endl;
    } catch (const StandinError& e) {
        c.out << "The database cannot be read: " << e.message() << Qt::endl;
    }
    return code;
}

QString viewList(const std::array<QStringList, kViewCount>& views, const QString& name) {
    QStringList places;
    for (int v = 1; v <= kViewCount; ++v) {
        if (views[static_cast<std::size_t>(v - 1)].contains(name)) {
            places << QStringLiteral("%1 %2").arg(v).arg(viewName(v));
        }
    }
    return places.isEmpty() ? QStringLiteral("none") : places.join(QStringLiteral(", "));
}

int cmdAux(Context& c) {
    expectArgs(c, 0, 0);
    const Session s = c.store.load();
    QStringList names = s.auxCommands.keys();
    for (const auto* views : {&s.toolbar, &s.toolsMenu}) {
        for (const QStringList& inView : *views) {
            for (const QString& n : inView) {
                if (!names.contains(n)) {
                    names << n;
                }
            }
        }
    }
    if (names.isEmpty()) {
        c.out << "No auxiliary commands" << Qt::endl;
        return kExitOk;
    }
    for (const QString& name : names) {
        c.out << "Command " << quoted(name) << Qt::endl;
        const auto it = s.auxCommands.constFind(name);
        if (it == s.auxCommands.constEnd()) {
            c.out << "  (not registered)" << Qt::endl;
        } else {
            const AuxCommand& a = it.value();
            c.out << "  command line: " << quoted(a.commandLine) << Qt::endl
                  << "  folder: " << quoted(a.folder) << Qt::endl
                  << "  menu text: " << quoted(a.menuText) << Qt::endl
                  << "  tool tip: " << quoted(a.toolTip) << Qt::endl
                  << "  icon: " << quoted(a.icon) << Qt::endl
                  << "  icon 32: " << quoted(a.icon32) << Qt::endl
                  << "  kind: " << a.kind << Qt::endl;
        }
        c.out << "  toolbar: " << viewList(s.toolbar, name) << Qt::endl;
        c.out << "  tools menu: " << viewList(s.toolsMenu, name) << Qt::endl;
    }
    return kExitOk;
}

int cmdCreateDemo(Context& c) {
    expectArgs(c, 1, 1);
    const QString path = absoluteDatabasePath(c.args.first());
    writeDatabaseFromScript(path, demoScript());
    c.out << "Created " << QDir::toNativeSeparators(path) << Qt::endl;
    return kExitOk;
}

int countOption(const QString& option, const QString& value, int max) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 0 || n > max) {
        throw UsageError(
            QStringLiteral("%1 needs a number from 0 to %2, not \"%3\"").arg(option).arg(max).arg(value));
    }
    return n;
}

int cmdCreateLarge(Context& c) {
    int users = 5000;
    int slots = 30000;
    int seed = 1;
    QString path;
    QStringList given;
    for (qsizetype i = 0; i < c.args.size(); ++i) {
        const QString& a = c.args.at(i);
        if (a == QLatin1String("--users") || a == QLatin1String("--slots") || a == QLatin1String("--seed")) {
            if (i + 1 >= c.args.size()) {
                throw UsageError(a + QStringLiteral(" needs a number"));
            }
            if (given.contains(a)) {
                throw UsageError(a + QStringLiteral(" is given twice"));
            }
            given << a;
            const QString& value = c.args.at(++i);
            if (a == QLatin1String("--users")) {
                users = countOption(a, value, 32767);
            } else if (a == QLatin1String("--slots")) {
                slots = countOption(a, value, 1000000);
            } else {
                seed = countOption(a, value, 1000000000);
            }
        } else if (a.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            throw UsageError(QStringLiteral("unexpected argument \"%1\"").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) {
        throw UsageError(QStringLiteral("missing argument"));
    }
    path = absoluteDatabasePath(path);
    writeDatabase(path, largeContents(users, slots, static_cast<std::uint32_t>(seed)));
    c.out << "Created " << QDir::toNativeSeparators(path) << " (" << users << " users, " << slots << " slots)"
          << Qt::endl;
    return kExitOk;
}

int cmdHelp(Context& c) {
    expectArgs(c, 0, 0);
    c.out << helpText();
    return kExitOk;
}

using Command = std::function<int(Context&)>;

const std::map<QString, Command>& commands() {
    static const std::map<QString, Command> table{
        {QStringLiteral("start"), cmdStart},
        {QStringLiteral("open"), cmdOpen},
        {QStringLiteral("close"), cmdClose},
        {QStringLiteral("quit"), cmdQuit},
        {QStringLiteral("user"), cmdUser},
        {QStringLiteral("field"), cmdField},
        {QStringLiteral("register"), [](Context& c) { return cmdRegister(c, true); }},
        {QStringLiteral("unregister"), [](Context& c) { return cmdRegister(c, false); }},
        {QStringLiteral("status"), cmdStatus},
        {QStringLiteral("aux"), cmdAux},
        {QStringLiteral("create-demo"), cmdCreateDemo},
        {QStringLiteral("create-large"), cmdCreateLarge},
        {QStringLiteral("help"), cmdHelp},
        {QStringLiteral("--help"), cmdHelp},
        {QStringLiteral("-h"), cmdHelp},
    };
    return table;
}

} // namespace

QString helpText() {
    return QStringLiteral(
        "Usage: act-standin COMMAND [ARGUMENTS]\n"
        "Plays a running ACT! for Quillmark. The session lives in $ACT_STANDIN_HOME\n"
        "(default: the per-user data folder + /act-standin).\n"
        "\n"
        "Commands:\n"
        "  start [DATABASE]     start ACT! on DATABASE (a .dbf file); without one, on Demo.dbf\n"
        "                       in the home folder, created from the built-in demo when missing\n"
        "  open DATABASE        open another database in the running ACT!\n"
        "  close                close the open database; ACT! keeps running\n"
        "  quit                 the user quits ACT!\n"
        "  user NAME|POSITION   change the current user\n"
        "  field ID|LABEL       change the field the user stands in\n"
        "  unregister           make ACT!'s automation unreachable (as before actreg.exe runs)\n"
        "  register             make it reachable again\n"
        "  aux                  list the auxiliary commands and the views they are installed in\n"
        "  status [--quiet]     show the session; exit 0 when ACT! runs with a database open,\n"
        "                       1 otherwise\n"
        "  create-demo PATH     write the demo database to PATH\n"
        "  create-large PATH [--users N] [--slots N] [--seed N]\n"
        "                       write a large database (default 5000 users, 30000 slots),\n"
        "                       as varied as the demo; the same seed makes the same database\n"
        "  help, --help         show this text\n"
        "\n"
        "Bad input prints one line on stderr and exits with 2.\n");
}

QString demoScript() {
    QFile file(QStringLiteral(":/act-standin/demo.sql"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw StandinError(QStringLiteral("the built-in demo database is missing from this program"));
    }
    return QString::fromUtf8(file.readAll());
}

int runCommand(const QStringList& args, const QString& home, QTextStream& out, QTextStream& err) {
    if (args.isEmpty()) {
        err << "act-standin: no command given (see act-standin --help)" << Qt::endl;
        return kExitError;
    }
    const auto it = commands().find(args.first());
    if (it == commands().end()) {
        err << "act-standin: unknown command " << quoted(args.first()) << " (see act-standin --help)"
            << Qt::endl;
        return kExitError;
    }
    Context context{args.mid(1), SessionStore(home), out};
    try {
        return it->second(context);
    } catch (const UsageError& e) {
        err << "act-standin " << args.first() << ": " << e.message() << " (see act-standin --help)"
            << Qt::endl;
    } catch (const StandinError& e) {
        err << "act-standin " << args.first() << ": " << e.message() << Qt::endl;
    } catch (const std::exception& e) {
        err << "act-standin " << args.first() << ": " << QString::fromLocal8Bit(e.what()) << Qt::endl;
    }
    return kExitError;
}

} // namespace qm::standin
