#pragma once

// An in-process ACT! for tests: its state is plain data the test sets, every member call is
// logged, and any member or ProgID can be made to fail.

#include "act/ActObjects.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace qm::test {

struct FakeSlot {
    std::int32_t id = -1; // -1: empty slot
    QString label;
    std::int32_t entryRule = 0;
};

struct FakeUser {
    QString name, security, access, uniqueId;
};

struct FakeActState {
    bool running = true;
    bool databaseOpen = true;
    bool automationRegistered = true;
    QString databasePath = QStringLiteral("C:\\ACT\\Database\\Contacts.dbf");
    std::int32_t currentFieldId = 0;
    std::int32_t currentUserSecurity = 5;
    QString currentUserName; // empty: an ACT! that cannot name its user
    std::vector<FakeSlot> slots;
    std::int32_t fieldCount = -1; // -1: the number of non-empty slots
    std::vector<FakeUser> users;

    // Auxiliary commands: registered names, and per name the views (1-6) holding it.
    QSet<QString> registered;
    std::map<QString, QSet<int>> toolbar, toolsMenu;
    std::int32_t addAnswer = 0;    // answer of every add/remove call (0 success)
    std::int32_t addAuxAnswer = 0; // answer of AddAuxCommand

    // Member names ("Views", "Fields", "UniqueID", ...), single calls as logged ("Name(3)") or
    // ProgIDs that raise an error.
    QSet<QString> failing;
    int failNumber = 440; // the error they raise

    // Every call as "Member(arg, arg)", in order.
    QStringList calls;

    std::int32_t effectiveFieldCount() const;
    void addUsers(int count); // users "User 1".. with unique IDs "{ID-0001}".. and security "1"
};

class FakeActFactory : public act::ObjectFactory {
public:
    explicit FakeActFactory(FakeActState& state)
        : m_state(state) {}
    std::shared_ptr<act::ActObject> CreateObject(const QString& progId) override;
    std::unique_ptr<act::ActEvent> CreateEventControl() override;

private:
    FakeActState& m_state;
};

// The event control of the fake: raise its events from a test.
class FakeActEvent : public act::ActEvent {
public:
    explicit FakeActEvent(FakeActState& state)
        : m_state(state) {}
    std::int32_t Operation1(std::int32_t flags) override {
        m_state.calls << QString("Operation1(%1)").arg(flags);
        attached = true;
        return m_state.running && m_state.automationRegistered && m_state.databaseOpen ? 1 : 0;
    }
    void Operation2() override {
        m_state.calls << "Operation2()";
        attached = false;
    }
    bool Operation3() override {
        m_state.calls << "Operation3()";
        return m_state.running && !m_state.automationRegistered;
    }

    bool attached = false;
    void raiseDatabaseClose() {
        m_state.databaseOpen = false;
        if (attached)
            Q_EMIT OnDatabaseClose();
    }
    void raiseUserWantsToClose() {
        if (attached)
            Q_EMIT OnActUserWantsToClose(0);
    }

private:
    FakeActState& m_state;
};

} // namespace qm::test
