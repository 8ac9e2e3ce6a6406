#pragma once

// The fake ACT!'s state, one per server process: a small contacts database held in memory, the
// running ACT!'s session (open database, current user and field, registration), the auxiliary
// commands, the failures asked for and the log of every call.

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fakeact {

struct Slot {
    std::int32_t id = -1; // -1: an empty slot
    std::wstring label;
    std::int32_t entryRule = 0;
};

struct User {
    std::wstring name;
    std::int32_t security = 0;
    std::wstring access;
    std::wstring uniqueId;
};

// A failure asked for: `code` below 65536 is an error number of the server's own (wCode),
// anything else an HRESULT (scode).
struct Failure {
    std::int32_t code = 0;
    std::wstring description;
};

struct State {
    bool running = true;
    bool databaseOpen = true;
    bool registered = true;
    std::wstring databasePath = L"C:\\ACT\\Database\\Contacts.dbf";
    std::int32_t currentUser = 1; // position
    std::int32_t currentField = 12;
    std::vector<Slot> slots;
    std::vector<User> users; // position 1 at index 0

    std::set<std::wstring> auxCommands;
    std::array<std::set<std::wstring>, 6> toolbar, toolsMenu; // views 1..6
    std::wstring lastAuxCommand;                              // AddAuxCommand's arguments, "|"-joined

    std::map<std::wstring, Failure> failing; // by member name
    std::wstring log;                        // "Object.Member(I2:1,BSTR:CV)" lines

    // Back to the database and session every test starts from.
    void reset();
    // `count` users instead: "User 1", ... with the unique IDs "{0B1C-0001}", ... (at least four
    // digits), security 1, access "|S|".
    void setUsers(std::int32_t count);
    // The stand-in's demo database (FakeDemo.h, made from standin/demo.sql) open, as the stand-in opens it.
    void loadDemo();
    std::int32_t fieldCount() const;
};

State& state();

// Messages the server's thread handles between calls.
enum : UINT {
    kRaiseUserWantsToClose = WM_APP + 1, // wParam: the event's argument
    kRaiseDatabaseClose = WM_APP + 2,
    kDie = WM_APP + 3,
};
// Posts one of the messages above to the server's thread: it is handled after the current call
// has returned, as a running ACT! raises its events on its own time.
void postToServer(UINT message, WPARAM wParam = 0);

// Raises an event on every event control attached by operation 1.
void raiseUserWantsToClose(std::int32_t argument);
void raiseDatabaseClose();

} // namespace fakeact
