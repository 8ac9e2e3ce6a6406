#include "FakeAct.h"

#include "platform/VbError.h"

namespace qm::test {

namespace {

QString argList(const QStringList& args) {
    return args.join(QStringLiteral(", "));
}

// Logs the call and raises when the test made it fail.
void enter(FakeActState& s, const QString& member, const QStringList& args = {}) {
    s.calls << member + QLatin1Char('(') + argList(args) + QLatin1Char(')');
    if (s.failing.contains(member)) {
        throw VbError(s.failNumber, vbErrorDescription(s.failNumber));
    }
    if (!s.running) {
        raise(VbErr::ServerUnavailable);
    }
}

class Base {
public:
    explicit Base(FakeActState& s)
        : st(s) {}

protected:
    FakeActState& st;
};

class ContactView : public act::ActContactView, Base {
public:
    using Base::Base;
    std::int32_t CurrentFieldID() override {
        enter(st, QStringLiteral("CurrentFieldID"));
        return st.currentFieldId;
    }
};

class Views : public act::ActViews, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActContactView> Create(std::int32_t type, const QString& name) override {
        enter(st, QStringLiteral("Create"), {QString::number(type), name});
        return std::make_shared<ContactView>(st);
    }
};

class App : public act::ActApp, Base {
public:
    using Base::Base;
    void OpenFile(const QString& path) override { enter(st, QStringLiteral("OpenFile"), {path}); }
    std::shared_ptr<act::ActViews> Views() override {
        enter(st, QStringLiteral("Views"));
        return std::make_shared<test::Views>(st);
    }
    QString GetOpenDBName() override {
        enter(st, QStringLiteral("GetOpenDBName"));
        return st.databaseOpen ? st.databasePath : QString();
    }
    void Command(std::int16_t command) override {
        enter(st, QStringLiteral("Command"), {QString::number(command)});
        if (command == 150) {
            st.running = false;
        }
    }
};

class Fields : public act::ActFields, Base {
public:
    using Base::Base;
    std::int32_t Count() override {
        enter(st, QStringLiteral("Count"));
        return st.effectiveFieldCount();
    }
    std::int32_t ID(std::int16_t slot) override {
        enter(st, QStringLiteral("ID"), {QString::number(slot)});
        return at(slot).id;
    }
    QString Label(std::int16_t slot) override {
        enter(st, QStringLiteral("Label"), {QString::number(slot)});
        return at(slot).label;
    }
    std::int32_t EntryRule(const QString& fieldId) override {
        enter(st, QStringLiteral("EntryRule"), {fieldId});
        for (const FakeSlot& s : st.slots) {
            if (s.id != -1 && QString::number(s.id) == fieldId) {
                return s.entryRule;
            }
        }
        raise(VbErr::InvalidCall);
    }

private:
    const FakeSlot& at(std::int16_t slot) const {
        if (slot < 0 || static_cast<std::size_t>(slot) >= st.slots.size()) {
            raise(VbErr::SubscriptOutOfRange);
        }
        return st.slots[static_cast<std::size_t>(slot)];
    }
};

class ContactTable : public act::ActContactTable, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActFields> Fields() override {
        enter(st, QStringLiteral("Fields"));
        return std::make_shared<test::Fields>(st);
    }
};

class Users : public act::ActUsers, Base {
public:
    using Base::Base;
    std::int32_t CurrentUserSecurity() override {
        enter(st, QStringLiteral("CurrentUserSecurity"));
        return st.currentUserSecurity;
    }
    std::int32_t Count() override {
        enter(st, QStringLiteral("Count"));
        return static_cast<std::int32_t>(st.users.size());
    }
    QString Name(std::int16_t p) override {
        enter(st, QStringLiteral("Name"), {QString::number(p)});
        return at(p).name;
    }
    QString Security(std::int16_t p) override {
        enter(st, QStringLiteral("Security"), {QString::number(p)});
        return at(p).security;
    }
    QString Access(std::int16_t p) override {
        enter(st, QStringLiteral("Access"), {QString::number(p)});
        return at(p).access;
    }
    QString UniqueID(const QString& position) override {
        enter(st, QStringLiteral("UniqueID"), {position});
        bool ok = false;
        const int p = position.toInt(&ok);
        if (!ok) {
            raise(VbErr::TypeMismatch);
        }
        return at(p).uniqueId;
    }

private:
    const FakeUser& at(int p) const {
        if (p < 1 || static_cast<std::size_t>(p) > st.users.size()) {
            raise(VbErr::SubscriptOutOfRange);
        }
        return st.users[static_cast<std::size_t>(p - 1)];
    }
};

class Database : public act::ActDatabase, Base {
public:
    using Base::Base;
    void OpenEx(const QString& path) override { enter(st, QStringLiteral("OpenEx"), {path}); }
    std::shared_ptr<act::ActContactTable> Contact() override {
        enter(st, QStringLiteral("Contact"));
        return std::make_shared<ContactTable>(st);
    }
    std::shared_ptr<act::ActUsers> Users() override {
        enter(st, QStringLiteral("Users"));
        return std::make_shared<test::Users>(st);
    }
};

class AuxCmds : public act::ActAuxCmds, Base {
public:
    using Base::Base;
    std::int32_t AuxCommandExists(const QString& name) override {
        enter(st, QStringLiteral("AuxCommandExists"), {name});
        return st.registered.contains(name) ? 1 : 0;
    }
    std::int32_t AuxCommandExistsInToolbar(std::int16_t view, const QString& name) override {
        enter(st, QStringLiteral("AuxCommandExistsInToolbar"), {QString::number(view), name});
        return st.toolbar[name].contains(view) ? 1 : 0;
    }
    std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, const QString& name) override {
        enter(st, QStringLiteral("AuxCommandExistsInToolsMenu"), {QString::number(view), name});
        return st.toolsMenu[name].contains(view) ? 1 : 0;
    }
    std::int32_t AddAuxCommandToToolbar(std::int16_t view, const QString& name) override {
        return change(QStringLiteral("AddAuxCommandToToolbar"), st.toolbar, view, name, true);
    }
    std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, const QString& name) override {
        return change(QStringLiteral("RemoveAuxCommandFromToolbar"), st.toolbar, view, name, false);
    }
    std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, const QString& name) override {
        return change(QStringLiteral("AddAuxCommandToToolsMenu"), st.toolsMenu, view, name, true);
    }
    std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, const QString& name) override {
        return change(QStringLiteral("RemoveAuxCommandFromToolsMenu"), st.toolsMenu, view, name, false);
    }
    std::int32_t AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                               const QString& menuText, const QString& toolTip, const QString& icon,
                               const QString& icon32, std::int16_t kind) override {
        enter(st, QStringLiteral("AddAuxCommand"),
              {name, commandLine, folder, menuText, toolTip, icon, icon32, QString::number(kind)});
        if (st.addAuxAnswer == 0) {
            st.registered.insert(name);
        }
        return st.addAuxAnswer;
    }

private:
    std::int32_t change(const QString& member, std::map<QString, QSet<int>>& where, std::int16_t view,
                        const QString& name, bool add) {
        enter(st, member, {QString::number(view), name});
        if (st.addAnswer == 0) {
            if (add) {
                where[name].insert(view);
            } else {
                where[name].remove(view);
            }
        }
        return st.addAnswer;
    }
};

} // namespace

std::int32_t FakeActState::effectiveFieldCount() const {
    if (fieldCount >= 0) {
        return fieldCount;
    }
    std::int32_t n = 0;
    for (const FakeSlot& s : slots) {
        n += s.id != -1 ? 1 : 0;
    }
    return n;
}

void FakeActState::addUsers(int count) {
    for (int i = 1; i <= count; ++i) {
        users.push_back({QStringLiteral("User %1").arg(i), QStringLiteral("1"), QStringLiteral("0"),
                         QStringLiteral("{ID-%1}").arg(i, 4, 10, QLatin1Char('0'))});
    }
}

std::shared_ptr<act::ActObject> FakeActFactory::CreateObject(const QString& progId) {
    m_state.calls << QStringLiteral("CreateObject(") + progId + QLatin1Char(')');
    if (m_state.failing.contains(progId) || !m_state.running || !m_state.automationRegistered) {
        raise(VbErr::CantCreateObject);
    }
    if (progId == act::kProgIdApp) {
        return std::make_shared<App>(m_state);
    }
    if (progId == act::kProgIdDatabase) {
        return std::make_shared<Database>(m_state);
    }
    if (progId == act::kProgIdAuxCmds) {
        return std::make_shared<AuxCmds>(m_state);
    }
    raise(VbErr::CantCreateObject);
}

std::unique_ptr<act::ActEvent> FakeActFactory::CreateEventControl() {
    return std::make_unique<FakeActEvent>(m_state);
}

std::int32_t FakeActEvent::Operation1(std::int32_t flags) {
    m_state.calls << QStringLiteral("Operation1(%1)").arg(flags);
    attached = true;
    return m_state.running && m_state.automationRegistered && m_state.databaseOpen ? 1 : 0;
}

void FakeActEvent::Operation2() {
    m_state.calls << QStringLiteral("Operation2()");
    attached = false;
}

bool FakeActEvent::Operation3() {
    m_state.calls << QStringLiteral("Operation3()");
    return m_state.running && !m_state.automationRegistered;
}

void FakeActEvent::raiseDatabaseClose() {
    m_state.databaseOpen = false;
    if (attached) {
        Q_EMIT OnDatabaseClose();
    }
}

void FakeActEvent::raiseUserWantsToClose() {
    if (attached) {
        Q_EMIT OnActUserWantsToClose(0);
    }
}

} // namespace qm::test
