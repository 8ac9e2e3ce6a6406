#include "FakeState.h"

#include "FakeDemo.h"

#include <cwchar>

namespace fakeact {

namespace {
DWORD g_serverThread = GetCurrentThreadId();
}

State& state() {
    static State s = [] {
        State fresh;
        fresh.reset();
        return fresh;
    }();
    return s;
}

void State::reset() {
    *this = State{};
    // Slots 0 to 5, two of them empty; the fields 12 and 15 are protected.
    slots = {{10, L"Company", 0}, {-1, L"", 0}, {12, L"Contact", 3},
             {13, L"Phone", 0},   {-1, L"", 0}, {15, L"Référence", 3}};
    users = {{L"Chris Admin", 5, L"|A|", L"{0B1C-0001}"},
             {L"Pat Sales", 1, L"|S|", L"{0B1C-0002}"},
             {L"Zoë Field", 3, L"|F|", L"{0B1C-0003}"}};
}

void State::setUsers(std::int32_t count) {
    users.clear();
    for (std::int32_t p = 1; p <= count; ++p) {
        wchar_t id[32];
        swprintf(id, 32, L"{0B1C-%04d}", static_cast<int>(p));
        users.push_back({L"User " + std::to_wstring(p), 1, L"|S|", id});
    }
}

void State::loadDemo() {
    *this = State{};
    databasePath = demo::kDatabasePath;
    for (const demo::DemoSlot& s : demo::kSlots) {
        slots.push_back({s.id, s.label, s.entryRule});
    }
    for (const demo::DemoUser& u : demo::kUsers) {
        users.push_back({u.name, u.security, u.access, u.uniqueId});
    }
    // As ACT! opens it: the first administrator is the current user, standing in the first
    // protected field.
    for (std::size_t i = 0; i < users.size(); ++i) {
        if (users[i].security == 5) {
            currentUser = static_cast<std::int32_t>(i) + 1;
            break;
        }
    }
    for (const Slot& s : slots) {
        if (s.id != -1 && s.entryRule == 3) {
            currentField = s.id;
            break;
        }
    }
}

std::int32_t State::fieldCount() const {
    std::int32_t n = 0;
    for (const Slot& s : slots) {
        n += s.id != -1 ? 1 : 0;
    }
    return n;
}

void postToServer(UINT message, WPARAM wParam) {
    PostThreadMessageW(g_serverThread, message, wParam, 0);
}

} // namespace fakeact
