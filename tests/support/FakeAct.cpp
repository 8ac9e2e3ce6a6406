#include "FakeAct.h"

#include "platform/VbError.h"

#include <QVariant>

#include <algorithm>

namespace qm::test {

namespace {

using i16 = std::int16_t;
using i32 = std::int32_t;

const FakeSlot& slotAt(const FakeActState& s, int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= s.slots.size())
        raise(VbErr::SubscriptOutOfRange);
    return s.slots[static_cast<std::size_t>(slot)];
}

const FakeUser& userAt(const FakeActState& s, int position) {
    if (position < 1 || static_cast<std::size_t>(position) > s.users.size())
        raise(VbErr::SubscriptOutOfRange);
    return s.users[static_cast<std::size_t>(position - 1)];
}

// Every object of the fake works on the test's state. in() logs a member call (given as
// __func__), raises what the test made that member raise (and 462 once ACT! has shut down), and
// hands the state back.
class Base {
public:
    explicit Base(FakeActState& s)
        : st(s) {}

protected:
    template <typename... Args> FakeActState& in(const char* member, const Args&... args) {
        st.calls << QString(member) + '(' + QStringList{QVariant(args).toString()...}.join(", ") + ')';
        if (st.failing.contains(member) || st.failing.contains(st.calls.last()))
            throw VbError(st.failNumber, vbErrorDescription(st.failNumber));
        if (!st.running)
            raise(VbErr::ServerUnavailable);
        return st;
    }

    FakeActState& st;
};

class ContactView : public act::ActContactView, Base {
public:
    using Base::Base;
    i32 CurrentFieldID() override { return in(__func__).currentFieldId; }
};

class Views : public act::ActViews, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActContactView> Create(i32 type, const QString& name) override {
        return std::make_shared<ContactView>(in(__func__, type, name));
    }
};

class App : public act::ActApp, Base {
public:
    using Base::Base;
    void OpenFile(const QString& path) override { in(__func__, path); }
    std::shared_ptr<act::ActViews> Views() override { return std::make_shared<test::Views>(in(__func__)); }
    QString GetOpenDBName() override { return in(__func__).databaseOpen ? st.databasePath : QString(); }
    // 150 shuts ACT! down (in() has made sure that it runs).
    void Command(i16 command) override { in(__func__, command).running = command != 150; }
};

class Fields : public act::ActFields, Base {
public:
    using Base::Base;
    i32 Count() override { return in(__func__).effectiveFieldCount(); }
    i32 ID(i16 slot) override { return slotAt(in(__func__, slot), slot).id; }
    QString Label(i16 slot) override { return slotAt(in(__func__, slot), slot).label; }
    i32 EntryRule(const QString& fieldId) override {
        for (const FakeSlot& s : in(__func__, fieldId).slots) {
            if (s.id != -1 && QString::number(s.id) == fieldId)
                return s.entryRule;
        }
        raise(VbErr::InvalidCall);
    }
};

class ContactTable : public act::ActContactTable, Base {
public:
    using Base::Base;
    std::shared_ptr<act::ActFields> Fields() override { return std::make_shared<test::Fields>(in(__func__)); }
};

class Users : public act::ActUsers, Base {
public:
    using Base::Base;
    i32 CurrentUserSecurity() override { return in(__func__).currentUserSecurity; }
    QString CurrentUserName() override { return in(__func__).currentUserName; }
    i32 Count() override { return static_cast<i32>(in(__func__).users.size()); }
    QString Name(i16 p) override { return userAt(in(__func__, p), p).name; }
    QString Security(i16 p) override { return userAt(in(__func__, p), p).security; }
    QString Access(i16 p) override { return userAt(in(__func__, p), p).access; }
    QString UniqueID(const QString& position) override {
        in(__func__, position);
        bool ok = false;
        const int p = position.toInt(&ok);
        if (!ok)
            raise(VbErr::TypeMismatch);
        return userAt(st, p).uniqueId;
    }
};

class Database : public act::ActDatabase, Base {
public:
    using Base::Base;
    void OpenEx(const QString& path) override { in(__func__, path); }
    std::shared_ptr<act::ActContactTable> Contact() override {
        return std::make_shared<ContactTable>(in(__func__));
    }
    std::shared_ptr<act::ActUsers> Users() override { return std::make_shared<test::Users>(in(__func__)); }
};

class AuxCmds : public act::ActAuxCmds, Base {
public:
    using Base::Base;
    i32 AuxCommandExists(const QString& n) override { return in(__func__, n).registered.contains(n); }
    i32 AuxCommandExistsInToolbar(i16 v, const QString& n) override {
        return in(__func__, v, n).toolbar[n].contains(v);
    }
    i32 AuxCommandExistsInToolsMenu(i16 v, const QString& n) override {
        return in(__func__, v, n).toolsMenu[n].contains(v);
    }
    i32 AddAuxCommandToToolbar(i16 v, const QString& n) override {
        return change(in(__func__, v, n).toolbar[n], v, true);
    }
    i32 RemoveAuxCommandFromToolbar(i16 v, const QString& n) override {
        return change(in(__func__, v, n).toolbar[n], v, false);
    }
    i32 AddAuxCommandToToolsMenu(i16 v, const QString& n) override {
        return change(in(__func__, v, n).toolsMenu[n], v, true);
    }
    i32 RemoveAuxCommandFromToolsMenu(i16 v, const QString& n) override {
        return change(in(__func__, v, n).toolsMenu[n], v, false);
    }
    i32 AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                      const QString& menuText, const QString& toolTip, const QString& icon,
                      const QString& icon32, i16 kind) override {
        in(__func__, name, commandLine, folder, menuText, toolTip, icon, icon32, kind);
        if (st.addAuxAnswer == 0)
            st.registered.insert(name);
        return st.addAuxAnswer;
    }

private:
    // Adds the view to, or removes it from, the views holding a command, unless told to fail.
    i32 change(QSet<int>& views, i16 view, bool add) {
        if (st.addAnswer == 0)
            add ? void(views.insert(view)) : void(views.remove(view));
        return st.addAnswer;
    }
};

} // namespace

i32 FakeActState::effectiveFieldCount() const {
    return fieldCount >= 0
               ? fieldCount
               : i32(std::count_if(slots.begin(), slots.end(), [](const FakeSlot& s) { return s.id != -1; }));
}

void FakeActState::addUsers(int count) {
    for (int i = 1; i <= count; ++i)
        users.push_back({QString("User %1").arg(i), "1", "0", QString("{ID-%1}").arg(i, 4, 10, QChar('0'))});
}

std::shared_ptr<act::ActObject> FakeActFactory::CreateObject(const QString& progId) {
    m_state.calls << "CreateObject(" + progId + ')';
    if (m_state.failing.contains(progId) || !m_state.running || !m_state.automationRegistered)
        raise(VbErr::CantCreateObject);
    if (progId == act::kProgIdApp)
        return std::make_shared<App>(m_state);
    if (progId == act::kProgIdDatabase)
        return std::make_shared<Database>(m_state);
    if (progId == act::kProgIdAuxCmds)
        return std::make_shared<AuxCmds>(m_state);
    raise(VbErr::CantCreateObject);
}

std::unique_ptr<act::ActEvent> FakeActFactory::CreateEventControl() {
    return std::make_unique<FakeActEvent>(m_state);
}

} // namespace qm::test
