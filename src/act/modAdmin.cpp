#include "act/modAdmin.h"

#include "platform/ErrorReport.h"

#include <algorithm>

namespace qm::modAdmin {

using act::deref;

void Create_Database(ActObjects& o, act::ObjectFactory& factory, MessageBox& box) {
    ErrorTrap trap(box, {"modAdmin", ProcKind::Sub, "Create_Database"});
    trap.run([&] {
        trap.line = 1;
        o.objApp = act::createAs<act::ActApp>(factory, act::kProgIdApp);
        trap.line = 2;
        o.objApp->OpenFile(QString());
        trap.line = 3;
        o.objViews = o.objApp->Views();
        trap.line = 4;
        o.objContactView = deref(o.objViews).Create(1, QStringLiteral("CV"));
        trap.line = 5;
        o.objDatabase = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase);
        trap.line = 6;
        o.objDatabase->OpenEx(QString());
        trap.line = 7;
        o.objContact = o.objDatabase->Contact();
        trap.line = 8;
        o.objFields = deref(o.objContact).Fields();
        trap.line = 9;
        o.objUsers = o.objDatabase->Users();
    });
}

QString genericNameFromPath(const QString& path, QChar separator) {
    qsizetype slash = path.lastIndexOf(separator);
    if (separator == QLatin1Char('\\')) {
        // Windows takes "/" for a folder separator as well. Cut at "\" alone, "C:\Data\x/Sales.dbf"
        // would give "x/Sales": the field settings files named after it would go into a folder
        // "x" inside the settings folder, which in a shared folder another login may have made and
        // own. This goes beyond cutting at "\" alone on purpose: a generic name never names a
        // folder.
        slash = std::max(slash, path.lastIndexOf(QLatin1Char('/')));
    }
    const QString name = slash < 0 ? path : path.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        raise(VbErr::InvalidCall); // Left$ asked for a length of -1
    }
    const QString generic = name.left(dot);
    // A CR or LF in the section name would end the section line of the authorized-users file and
    // write a section of another database (a file name may hold them on Linux); other control
    // characters are no better. Refused as a name without a dot is.
    if (std::any_of(generic.cbegin(), generic.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; })) {
        raise(VbErr::InvalidCall);
    }
    return generic;
}

QString Get_Generic_Name(const ActObjects& o, MessageBox& box, QChar separator) {
    QString result;
    ErrorTrap trap(box, {"modAdmin", ProcKind::Function, "Get_Generic_Name"});
    trap.run([&] {
        trap.line = 1;
        const QString path = deref(o.objApp).GetOpenDBName();
        trap.line = 2;
        result = genericNameFromPath(path, separator);
    });
    return result;
}

QString Current_User_Name(const ActObjects& o, MessageBox& box) {
    QString result;
    ErrorTrap trap(box, {"modAdmin", ProcKind::Function, "Current_User_Name"});
    trap.run([&] {
        trap.line = 1;
        result = deref(o.objUsers).CurrentUserName();
    });
    return result;
}

bool Refuse_Without_Database(act::ActEvent& event, MessageBox& box) {
    if (event.Operation1(0) >= 1) {
        return false;
    }
    if (event.Operation3()) {
        box.show(QStringLiteral("Unable to communicate with ACT!") + QChar(13) +
                     QStringLiteral("Please run actreg.exe located in the ACT folder and try again"),
                 vbCritical, kAppTitle);
    } else {
        box.show(QStringLiteral("Please open an ACT database prior to running ") + kAppTitle +
                     QStringLiteral("!"),
                 vbExclamation, kAppTitle);
    }
    return true;
}

bool Refuse_Non_Administrator(const ActObjects& objects, MessageBox& box) {
    if (deref(objects.objUsers).CurrentUserSecurity() == 5) {
        return false;
    }
    box.show(QStringLiteral("Sorry! This program may only be run by an administrator of the database!"),
             vbOKOnly, QStringLiteral("Insufficient Security Level"));
    return true;
}

} // namespace qm::modAdmin
