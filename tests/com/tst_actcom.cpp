// The COM client for ACT! against the fake ACT! server, under Wine or on Windows:
//
//     tst_actcom members|errors|events|death|timing
//
// The server must be registered (fakeact-server /RegServer).

#include "ComCheck.h"
#include "act/com/ActCom.h"

#include <algorithm>
#include <optional>
#include <vector>

using namespace qm::com;
using namespace qm::com::act;
using qm::test::Checks;
using qm::test::errorOf;
using qm::test::pumpUntil;

namespace {

// The fake's handle: reset, failures, call log, events, death.
struct Control {
    Dispatch d = Dispatch::create(L"ActFake.Control");
    void reset() const { d.call(L"Reset"); }
    std::wstring takeLog() const { return d.call(L"TakeLog").toText(); }
    void fail(std::wstring_view member, std::int32_t code, std::wstring_view description = {}) const {
        d.call(L"Fail", {text(member), i32(code), text(description)});
    }
    void set(std::wstring_view key, std::int32_t value) const { d.call(L"Set", {text(key), i32(value)}); }
};

std::wstring num(std::int32_t n) {
    return std::to_wstring(n);
}

// Every member of ACT!'s objects through IDispatch: the answer converted back, and the call as the
// server received it, with each argument's width.
void members(Checks& t) {
    Control control;
    control.reset();
    control.takeLog();
    std::optional<ComApp> app;
    std::optional<ComViews> views;
    std::optional<ComContactView> view;
    std::optional<ComDatabase> db;
    std::optional<ComContactTable> contact;
    std::optional<ComFields> fields;
    std::optional<ComUsers> users;
    std::optional<ComAuxCmds> aux;
    std::optional<ComEventControl> ev;
    const std::wstring path = L"C:\\ACT\\Database\\Contacts.dbf";
    const std::wstring me = L"Quillmark";
    struct Row {
        const char* name;
        std::function<std::wstring()> call;
        std::wstring answer;
        std::wstring received; // the server's log line, "" for a creation
    };
    const std::vector<Row> rows{
        {"create application", [&] { return app.emplace(ComApp::create()), L""; }, L"", L""},
        {"App.OpenFile", [&] { return app->OpenFile(L""), L""; }, L"", L"App.OpenFile(BSTR:)"},
        {"App.Views", [&] { return views.emplace(app->Views()), L""; }, L"", L"App.Views()"},
        {"Views.Create", [&] { return view.emplace(views->Create(1, L"CV")), L""; }, L"",
         L"Views.Create(I2:1,BSTR:CV)"},
        {"ContactView.CurrentFieldID", [&] { return num(view->CurrentFieldID()); }, L"12",
         L"ContactView.CurrentFieldID()"},
        {"App.GetOpenDBName", [&] { return app->GetOpenDBName(); }, path, L"App.GetOpenDBName()"},
        {"create database", [&] { return db.emplace(ComDatabase::create()), L""; }, L"", L""},
        {"Database.OpenEx", [&] { return db->OpenEx(L""), L""; }, L"", L"Database.OpenEx(BSTR:)"},
        {"Database.Contact", [&] { return contact.emplace(db->Contact()), L""; }, L"", L"Database.Contact()"},
        {"Contact.Fields", [&] { return fields.emplace(contact->Fields()), L""; }, L"", L"Contact.Fields()"},
        {"Database.Users", [&] { return users.emplace(db->Users()), L""; }, L"", L"Database.Users()"},
        {"Fields.Count", [&] { return num(fields->Count()); }, L"4", L"Fields.Count()"},
        {"Fields.ID of an empty slot", [&] { return num(fields->ID(1)); }, L"-1", L"Fields.ID(I2:1)"},
        {"Fields.ID", [&] { return num(fields->ID(5)); }, L"15", L"Fields.ID(I2:5)"},
        {"Fields.Label", [&] { return fields->Label(5); }, L"Référence", L"Fields.Label(I2:5)"},
        {"Fields.EntryRule", [&] { return num(fields->EntryRule(L"12")); }, L"3",
         L"Fields.EntryRule(BSTR:12)"},
        {"Users.CurrentUserSecurity", [&] { return num(users->CurrentUserSecurity()); }, L"5",
         L"Users.CurrentUserSecurity()"},
        {"Users.CurrentUserName", [&] { return users->CurrentUserName(); }, L"Chris Admin",
         L"Users.CurrentUserName()"},
        {"Users.Count", [&] { return num(users->Count()); }, L"3", L"Users.Count()"},
        {"Users.Name", [&] { return users->Name(3); }, L"Zoë Field", L"Users.Name(I2:3)"},
        {"Users.Security, a number read as text", [&] { return users->Security(2); }, L"1",
         L"Users.Security(I2:2)"},
        {"Users.Access", [&] { return users->Access(2); }, L"|S|", L"Users.Access(I2:2)"},
        {"Users.UniqueID", [&] { return users->UniqueID(L"2"); }, L"{0B1C-0002}", L"Users.UniqueID(BSTR:2)"},
        {"create aux commands", [&] { return aux.emplace(ComAuxCmds::create()), L""; }, L"", L""},
        {"AuxCommandExists, absent", [&] { return num(aux->AuxCommandExists(me)); }, L"0",
         L"AuxCmds.AuxCommandExists(BSTR:Quillmark)"},
        {"AddAuxCommandToToolbar before the command exists",
         [&] { return num(aux->AddAuxCommandToToolbar(1, me)); }, L"1",
         L"AuxCmds.AddAuxCommandToToolbar(I2:1,BSTR:Quillmark)"},
        {"AddAuxCommand",
         [&] {
             return num(aux->AddAuxCommand(me, L"C:\\Q\\QUILLMARK.EXE", L"C:\\Q", me,
                                           L"click to launch Quillmark", L"C:\\Q\\quillmark.ico",
                                           L"C:\\Q\\quillmark32.ico", 1));
         },
         L"0",
         L"AuxCmds.AddAuxCommand(BSTR:Quillmark,BSTR:C:\\Q\\QUILLMARK.EXE,BSTR:C:\\Q,BSTR:Quillmark,"
         L"BSTR:click to launch Quillmark,BSTR:C:\\Q\\quillmark.ico,BSTR:C:\\Q\\quillmark32.ico,I2:1)"},
        {"AuxCommandExists, present", [&] { return num(aux->AuxCommandExists(me)); }, L"1",
         L"AuxCmds.AuxCommandExists(BSTR:Quillmark)"},
        {"AddAuxCommandToToolbar", [&] { return num(aux->AddAuxCommandToToolbar(3, me)); }, L"0",
         L"AuxCmds.AddAuxCommandToToolbar(I2:3,BSTR:Quillmark)"},
        {"AuxCommandExistsInToolbar, that view", [&] { return num(aux->AuxCommandExistsInToolbar(3, me)); },
         L"1", L"AuxCmds.AuxCommandExistsInToolbar(I2:3,BSTR:Quillmark)"},
        {"AuxCommandExistsInToolbar, another view",
         [&] { return num(aux->AuxCommandExistsInToolbar(4, me)); }, L"0",
         L"AuxCmds.AuxCommandExistsInToolbar(I2:4,BSTR:Quillmark)"},
        {"RemoveAuxCommandFromToolbar", [&] { return num(aux->RemoveAuxCommandFromToolbar(3, me)); }, L"0",
         L"AuxCmds.RemoveAuxCommandFromToolbar(I2:3,BSTR:Quillmark)"},
        {"AddAuxCommandToToolsMenu", [&] { return num(aux->AddAuxCommandToToolsMenu(6, me)); }, L"0",
         L"AuxCmds.AddAuxCommandToToolsMenu(I2:6,BSTR:Quillmark)"},
        {"AuxCommandExistsInToolsMenu", [&] { return num(aux->AuxCommandExistsInToolsMenu(6, me)); }, L"1",
         L"AuxCmds.AuxCommandExistsInToolsMenu(I2:6,BSTR:Quillmark)"},
        {"RemoveAuxCommandFromToolsMenu", [&] { return num(aux->RemoveAuxCommandFromToolsMenu(6, me)); },
         L"0", L"AuxCmds.RemoveAuxCommandFromToolsMenu(I2:6,BSTR:Quillmark)"},
        {"AuxCommandExistsInToolsMenu after the removal",
         [&] { return num(aux->AuxCommandExistsInToolsMenu(6, me)); }, L"0",
         L"AuxCmds.AuxCommandExistsInToolsMenu(I2:6,BSTR:Quillmark)"},
        {"create event control", [&] { return ev.emplace(ComEventControl::create()), L""; }, L"", L""},
        {"operation 1", [&] { return num(ev->Operation1(0)); }, L"1", L"ActEvent.Operation1(I4:0)"},
        {"operation 3", [&] { return std::wstring(ev->Operation3() ? L"true" : L"false"); }, L"false",
         L"ActEvent.Operation3()"},
        {"operation 2", [&] { return ev->Operation2(), L""; }, L"", L"ActEvent.Operation2()"},
        {"application from a second ProgID call", [&] { return ComApp::create().GetOpenDBName(); }, path,
         L"App.GetOpenDBName()"},
    };
    for (const Row& r : rows) {
        t.run(r.name, [&] {
            const std::wstring answer = r.call();
            const std::wstring received = control.takeLog();
            const std::wstring expected = r.received.empty() ? L"" : r.received + L"\n";
            t.expect(r.name, answer == r.answer && received == expected,
                     L"answer \"" + answer + L"\" (expected \"" + r.answer + L"\"), server received \"" +
                         received + L"\" (expected \"" + expected + L"\")");
        });
    }
    // With ACT! running but its automation unreachable, operation 1 says no and operation 3 yes.
    t.run("operations 1 and 3 with automation unreachable", [&] {
        control.set(L"registered", 0);
        t.equal("operations 1 and 3 with automation unreachable",
                num(ev->Operation1(0)) + L" " + (ev->Operation3() ? L"true" : L"false"), L"0 true");
    });
}

// Failures reported with the run-time's error number and the server's own description.
void errors(Checks& t) {
    Control control;
    control.reset();
    // A ProgID whose class is not registered: the registry names a CLSID that has no server.
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L"ActFake.Orphan\\CLSID", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    const wchar_t orphan[] = L"{5A1F0E1D-0C0D-4E55-8A11-000000000001}";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(orphan), sizeof(orphan));
    RegCloseKey(key);

    const ComApp app = ComApp::create();
    const ComDatabase db = ComDatabase::create();
    const ComFields fields = db.Contact().Fields();
    const ComUsers users = db.Users();
    struct Row {
        const char* name;
        std::function<void()> call;
        std::wstring error;
        std::function<void()> setUp = {};
    };
    const std::wstring cannotCreate = L"429 ActiveX component can't create object";
    const std::vector<Row> rows{
        {"unregistered ProgID", [] { Dispatch::create(L"ACTOLE.NOSUCHOBJECT"); }, cannotCreate},
        {"ProgID of a class with no server", [] { Dispatch::create(L"ActFake.Orphan"); }, cannotCreate},
        {"member raising its own error number", [&] { fields.Label(0); }, L"1001 The label is locked",
         [&] { control.fail(L"Label", 1001, L"The label is locked"); }},
        {"member raising a run-time error without a description", [&] { users.Name(1); },
         L"9 Subscript out of range", [&] { control.fail(L"Name", 0x800A0009); }},
        {"member raising an HRESULT", [&] { app.GetOpenDBName(); }, L"-2147467259 Disk gone",
         [&] { control.fail(L"GetOpenDBName", E_FAIL, L"Disk gone"); }},
        {"slot beyond the last", [&] { fields.ID(6); }, L"9 Subscript out of range"},
        {"entry rule of an unknown field", [&] { fields.EntryRule(L"99"); },
         L"5 Invalid procedure call or argument"},
        {"unique ID of a position that is no number", [&] { users.UniqueID(L"two"); }, L"13 Type mismatch"},
        {"an ACT! that cannot name its user: an empty name, no error",
         [&] {
             if (!users.CurrentUserName().empty())
                 raiseError(5);
         },
         L"no error", [&] { control.fail(L"CurrentUserName", DISP_E_MEMBERNOTFOUND); }},
        {"member the object does not have", [&] { app.object().call(L"NoSuchMember"); },
         L"438 Object doesn't support this property or method"},
        {"a 16-bit argument sent as 32-bit", [&] { users.object().call(L"Name", {i32(1)}); },
         L"13 Type mismatch"},
        {"too few arguments", [&] { users.object().call(L"Name"); },
         L"450 Wrong number of arguments or invalid property assignment"},
        {"a number taken as an object", [&] { users.object().call(L"Count").toObject(); },
         L"424 Object required"},
        {"a text taken as a number", [&] { users.object().call(L"Access", {i16(1)}).toInt32(); },
         L"13 Type mismatch"},
        {"database closed in ACT!", [&] { users.Count(); }, L"-2147467259 ACT! has no database open",
         [&] { control.set(L"open", 0); }},
        {"healed member answers again", [&] { fields.Label(0); }, L"no error", [&] { control.reset(); }},
    };
    for (const Row& r : rows) {
        t.run(r.name, [&] {
            if (r.setUp) {
                r.setUp();
            }
            t.equal(r.name, errorOf(r.call), r.error);
        });
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ActFake.Orphan");
}

// Both events reach the callback, found by name in the control's class information, while the
// thread pumps messages; none after operation 2.
void events(Checks& t) {
    Control control;
    control.reset();
    ComEventControl ev = ComEventControl::create();
    std::vector<std::wstring> seen;
    ev.connectEvents([&](ComEventControl::Event e, std::int32_t argument) {
        seen.push_back(e == ComEventControl::Event::DatabaseClose
                           ? L"OnDatabaseClose"
                           : L"OnActUserWantsToClose(" + num(argument) + L")");
    });
    t.expect("events named by the class information", ev.eventsNamedByTypeInfo());
    ev.Operation1(0);
    // Waits long for an event that must come, briefly for one that must not.
    auto arrived = [&](std::size_t n, DWORD ms = 5000) {
        return pumpUntil([&] { return seen.size() >= n; }, ms);
    };

    control.d.call(L"RaiseUserWantsToClose", {i32(7)});
    Sleep(300); // raised meanwhile, but not delivered while this thread does not pump
    t.expect("no event while not pumping", seen.empty());
    t.expect("OnActUserWantsToClose arrives", arrived(1) && seen.back() == L"OnActUserWantsToClose(7)",
             seen.empty() ? L"nothing" : seen.back());
    control.d.call(L"RaiseDatabaseClose");
    t.expect("OnDatabaseClose arrives", arrived(2) && seen.back() == L"OnDatabaseClose",
             seen.size() < 2 ? L"nothing" : seen.back());
    t.equal("the database is closed after the event", ev.Operation1(0) == 0 ? L"closed" : L"open", L"closed");

    ev.Operation2();
    control.d.call(L"RaiseDatabaseClose");
    t.expect("no event after operation 2", !arrived(3, 1000));

    ev.Operation1(0);
    ev.disconnectEvents();
    control.d.call(L"RaiseDatabaseClose");
    t.expect("no event after disconnecting", !arrived(3, 1000));
}

// The server process ends while objects are held: every later call fails as a server that went
// away (462); a new object starts a new server. Command 150 ends ACT! after telling its user.
void death(Checks& t) {
    Control control;
    control.reset();
    const ComApp app = ComApp::create();
    const ComUsers users = ComDatabase::create().Users();
    const ComEventControl ev = ComEventControl::create();
    const std::int32_t firstServer = control.d.call(L"ProcessId").toInt32();
    control.d.call(L"Die");
    pumpUntil([] { return false; }, 500);
    const std::wstring gone = L"462 The remote server machine does not exist or is unavailable";
    t.equal("application call after the server died", errorOf([&] { app.GetOpenDBName(); }), gone);
    t.equal("collection call after the server died", errorOf([&] { users.Name(1); }), gone);
    t.equal("event operation after the server died", errorOf([&] { ev.Operation2(); }), gone);

    std::optional<Control> second; // held: the next server stays up for the last case
    t.run("a new object starts a new server", [&] {
        second.emplace();
        t.expect("a new object starts a new server",
                 second->d.call(L"ProcessId").toInt32() != firstServer &&
                     ComApp::create().GetOpenDBName() == L"C:\\ACT\\Database\\Contacts.dbf");
    });

    t.run("Command 150", [&] {
        ComEventControl ev = ComEventControl::create();
        std::vector<ComEventControl::Event> seen;
        ev.connectEvents([&](ComEventControl::Event e, std::int32_t) { seen.push_back(e); });
        ev.Operation1(0);
        const ComApp restarted = ComApp::create();
        restarted.Command(150);
        const bool told = pumpUntil([&] { return !seen.empty(); }, 5000);
        t.expect("Command 150 tells the user's closing",
                 told && seen.front() == ComEventControl::Event::ActUserWantsToClose);
        pumpUntil([] { return false; }, 500);
        t.equal("Command 150 ends ACT!", errorOf([&] { restarted.GetOpenDBName(); }), gone);
    });
}

// A field switch's worth of users (5,000) asked for their unique IDs through COM, once: what
// one automation call costs when it crosses into the ACT! process, printed for the README (the
// stand-in plays that cost with ACT_STANDIN_CALL_DELAY_US). The fake answers from memory, so
// the time is COM's: marshalling, the local server's message loop and the way back.
void timing(Checks& t) {
    constexpr int kUsers = 5000;
    Control control;
    control.reset();
    control.set(L"users", kUsers);
    const ComUsers users = ComDatabase::create().Users();
    control.takeLog();
    t.run("5,000 unique IDs through COM", [&] {
        users.UniqueID(L"1"); // the proxy's first call, not timed
        // The calls in blocks of 500: on a shared machine the fastest block shows the cost of a
        // call undisturbed, the whole run what a user would have waited.
        constexpr int kBlock = 500;
        LARGE_INTEGER frequency, start, mark, now;
        QueryPerformanceFrequency(&frequency);
        const auto ms = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
            return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
                   static_cast<double>(frequency.QuadPart);
        };
        double fastest = 1e300;
        double slowest = 0;
        int right = 0;
        QueryPerformanceCounter(&start);
        mark = start;
        for (int p = 1; p <= kUsers; ++p) {
            wchar_t id[32];
            swprintf(id, 32, L"{0B1C-%04d}", p);
            right += users.UniqueID(num(p)) == id ? 1 : 0;
            if (p % kBlock == 0) {
                QueryPerformanceCounter(&now);
                fastest = std::min(fastest, ms(mark, now));
                slowest = std::max(slowest, ms(mark, now));
                mark = now;
            }
        }
        const double total = ms(start, now);
        std::printf("%d UniqueID calls through COM to the fake ACT! server: %.1f ms, %.1f us per call "
                    "(blocks of %d: %.1f..%.1f us per call)\n",
                    kUsers, total, 1000.0 * total / kUsers, kBlock, 1000.0 * fastest / kBlock,
                    1000.0 * slowest / kBlock);
        std::fflush(stdout);
        t.equal("every unique ID answered", num(right), num(kUsers));
    });
    control.reset();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const Apartment apartment;
    Checks t;
    const std::wstring group = argc > 1 ? argv[1] : L"";
    try {
        if (group == L"members") {
            members(t);
        } else if (group == L"errors") {
            errors(t);
        } else if (group == L"events") {
            events(t);
        } else if (group == L"death") {
            death(t);
        } else if (group == L"timing") {
            timing(t);
        } else {
            std::fprintf(stderr, "usage: tst_actcom members|errors|events|death|timing\n");
            return 2;
        }
    } catch (const ComError& e) {
        t.expect("unexpected error", false, num(e.number()) + L" " + e.description());
    }
    return t.finish();
}
