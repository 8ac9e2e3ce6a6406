#include "FakeAct.h"

#include "platform/VbError.h"

#include <algorithm>

namespace qm::test {

namespace {

QString text(const QString& s) {
    return s;
}
QString text(std::int32_t n) {
    return QString::number(n);
}

const FakeSlot& slotAt(const FakeActState& s, int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= s.slots.size()) {
        raise(VbErr::SubscriptOutOfRange);
    }
    return s.slots[static_cast<std::size_t>(slot)];
}

const FakeUser& userAt(const FakeActState& s, int position) {
    if (position < 1 || static_cast<std::size_t>(position) > s.users.size()) {
        raise(VbErr::SubscriptOutOfRange);
    }
    return s.users[static_cast<std::size_t>(position - 1)];
}

// Every object of the fake works on the test's state. in() logs a member call, raises what the
// test made that member raise (and 462 once ACT! has shut down), and hands the state back.
class Base {
public:
    explicit Base(FakeActState& s)
        : st(s) {}

protected:
    template <typename... Args> FakeActState& in(const char* member, const Args&... args) {
        st.calls << QString(member) + '(' + QStringList{text(args)...}.join(", ") + ')';
        if (st.failing.contains(member)) {
            throw VbError(st.failNumber, vbErrorDescription(st.failNumber));
        }
        if (!st.running) {
            raise(VbErr::ServerUnavailable);
        }
        return st;
    }

    FakeActState& st;
};

class ContactView : public act::ActContactView, Base {
public:
    using Base::Base;
    std::int32_t CurrentFieldID() override { return in("CurrentFieldID").currentFieldId; }
};

class Views : public act::ActViews, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActContactView> Create(std::int32_t type, const QString& name) override {
        return std::make_shared<ContactView>(in("Create", type, name));
    }
};

class App : public act::ActApp, Base {
public:
    using Base::Base;
    void OpenFile(const QString& path) override { in("OpenFile", path); }
    std::shared_ptr<act::ActViews> Views() override { return std::make_shared<test::Views>(in("Views")); }
    QString GetOpenDBName() override {
        return in("GetOpenDBName").databaseOpen ? st.databasePath : QString();
    }
    // 150 shuts ACT! down (in() has made sure it runs).
    void Command(std::int16_t command) override { in("Command", command).running = command != 150; }
};

class Fields : public act::ActFields, Base {
public:
    using Base::Base;
    std::int32_t Count() override { return in("Count").effectiveFieldCount(); }
    std::int32_t ID(std::int16_t slot) override { return slotAt(in("ID", slot), slot).id; }
    QString Label(std::int16_t slot) override { return slotAt(in("Label", slot), slot).label; }
    std::int32_t EntryRule(const QString& fieldId) override {
        for (const FakeSlot& s : in("EntryRule", fieldId).slots) {
            if (s.id != -1 && QString::number(s.id) == fieldId) {
                return s.entryRule;
            }
        }
        raise(VbErr::InvalidCall);
    }
};

class ContactTable : public act::ActContactTable, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActFields> Fields() override { return std::make_shared<test::Fields>(in("Fields")); }
};

class Users : public act::ActUsers, Base {
public:
    using Base::Base;
    std::int32_t CurrentUserSecurity() override { return in("CurrentUserSecurity").currentUserSecurity; }
    std::int32_t Count() override { return static_cast<std::int32_t>(in("Count").users.size()); }
    QString Name(std::int16_t p) override { return userAt(in("Name", p), p).name; }
    QString Security(std::int16_t p) override { return userAt(in("Security", p), p).security; }
    QString Access(std::int16_t p) override { return userAt(in("Access", p), p).access; }
    QString UniqueID(const QString& position) override {
        in("UniqueID", position);
        bool ok = false;
        const int p = position.toInt(&ok);
        if (!ok) {
            raise(VbErr::TypeMismatch);
        }
        return userAt(st, p).uniqueId;
    }
};

class Database : public act::ActDatabase, Base {
public:
    using Base::Base;
    void OpenEx(const QString& path) override { in("OpenEx", path); }
    std::shared_ptr<act::ActContactTable> Contact() override {
        return std::make_shared<ContactTable>(in("Contact"));
    }
    std::shared_ptr<act::ActUsers> Users() override { return std::make_shared<test::Users>(in("Users")); }
};

class AuxCmds : public act::ActAuxCmds, Base {
public:
    using Base::Base;
    std::int32_t AuxCommandExists(const QString& name) override {
        return in("AuxCommandExists", name).registered.contains(name);
    }
    std::int32_t AuxCommandExistsInToolbar(std::int16_t view, const QString& name) override {
        return in("AuxCommandExistsInToolbar", view, name).toolbar[name].contains(view);
    }
    std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, const QString& name) override {
        return in("AuxCommandExistsInToolsMenu", view, name).toolsMenu[name].contains(view);
    }
    std::int32_t AddAuxCommandToToolbar(std::int16_t view, const QString& name) override {
        return change(in("AddAuxCommandToToolbar", view, name).toolbar[name], view, true);
    }
    std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, const QString& name) override {
        return change(in("RemoveAuxCommandFromToolbar", view, name).toolbar[name], view, false);
    }
    std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, const QString& name) override {
        return change(in("AddAuxCommandToToolsMenu", view, name).toolsMenu[name], view, true);
    }
    std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, const QString& name) override {
        return change(in("RemoveAuxCommandFromToolsMenu", view, name).toolsMenu[name], view, false);
    }
    std::int32_t AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                               const QString& menuText, const QString& toolTip, const QString& icon,
                               const QString& icon32, std::int16_t kind) override {
        in("AddAuxCommand", name, commandLine, folder, menuText, toolTip, icon, icon32, kind);
        if (st.addAuxAnswer == 0) {
            st.registered.insert(name);
        }
        return st.addAuxAnswer;
    }

private:
    std::int32_t change(QSet<int>& views, std::int16_t view, bool add) {
        if (st.addAnswer == 0) {
            if (add) {
                views.insert(view);
            } else {
                views.remove(view);
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
    return static_cast<std::int32_t>(
        std::count_if(slots.begin(), slots.end(), [](const FakeSlot& s) { return s.id != -1; }));
}

void FakeActState::addUsers(int count) {
    for (int i = 1; i <= count; ++i) {
        users.push_back({QString("User %1").arg(i), "1", "0", QString("{ID-%1}").arg(i, 4, 10, QChar('0'))});
    }
}

std::shared_ptr<act::ActObject> FakeActFactory::CreateObject(const QString& progId) {
    m_state.calls << "CreateObject(" + progId + ')';
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
    m_state.calls << QString("Operation1(%1)").arg(flags);
    attached = true;
    return m_state.running && m_state.automationRegistered && m_state.databaseOpen ? 1 : 0;
}

void FakeActEvent::Operation2() {
    m_state.calls << "Operation2()";
    attached = false;
}

bool FakeActEvent::Operation3() {
    m_state.calls << "Operation3()";
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
