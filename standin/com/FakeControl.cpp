// fakeact-control: plays the person at a running fake ACT! (fakeact-server /Demo) for scripts,
// through its ActFake.Control object:
//
//     fakeact-control status        the open database, its users and fields, the current user
//     fakeact-control user N        makes user N (a position) the current user
//     fakeact-control open          opens the database again
//     fakeact-control close-db      ACT! closes its database (the event control's OnDatabaseClose)
//     fakeact-control quit-act N    ACT!'s user closes ACT! (OnActUserWantsToClose with N)
//     fakeact-control time N        the time of one automation call from this process to ACT!'s:
//                                   rounds of N calls of three members against an in-process
//                                   object's, median and spread
//     fakeact-control die           ends the server
//
// Exit 0 on success, 1 when a call failed (its error printed), 2 on a wrong command line.

#include "act/com/ComDispatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qm::com;

namespace {

int status() {
    const Dispatch app = Dispatch::create(L"ACTOLE.APPOBJECT");
    const Dispatch db = Dispatch::create(L"ACTOLE.DATABASE");
    const std::wstring name = app.call(L"GetOpenDBName").toText();
    std::printf("Database: %s\n", name.empty() ? "none open" : utf8(name).c_str());
    if (name.empty()) {
        return 0;
    }
    db.call(L"OpenEx", {text(L"")});
    const Dispatch users = db.call(L"Users").toObject();
    const Dispatch fields = db.call(L"Contact").toObject().call(L"Fields").toObject();
    std::printf("Fields: %d; users: %d\n", fields.call(L"Count").toInt32(), users.call(L"Count").toInt32());
    std::printf("Current user's security: %d\n", users.call(L"CurrentUserSecurity").toInt32());
    return 0;
}

// Rounds of `calls` calls of each member in turn, against the same call of an in-process object
// (the scripting run-time's dictionary, through the same client code) in each round; prints the
// median time per call of each, with the lowest and highest round, and the median ratio to the
// in-process call.
int timeCalls(int calls) {
    const Dispatch db = Dispatch::create(L"ACTOLE.DATABASE");
    db.call(L"OpenEx", {text(L"")});
    const Dispatch users = db.call(L"Users").toObject();
    const Dispatch fields = db.call(L"Contact").toObject().call(L"Fields").toObject();
    const Dispatch local = Dispatch::create(L"Scripting.Dictionary");
    struct Contender {
        const char* what;
        std::function<void()> call;
        std::vector<double> perCall; // microseconds, one per round
        std::vector<double> ratio;   // to the in-process call of the same round
    };
    std::vector<Contender> contenders = {
        {"in process: Dictionary.Count()", [&] { local.call(L"Count"); }, {}, {}},
        {"Users.Count()", [&] { users.call(L"Count"); }, {}, {}},
        {"Fields.Label(I2)", [&] { fields.call(L"Label", {i16(8)}); }, {}, {}},
        {"Users.UniqueID(BSTR)", [&] { users.call(L"UniqueID", {text(L"2")}); }, {}, {}},
    };
    const int rounds = 7;
    for (int round = 0; round < rounds; ++round) {
        for (Contender& c : contenders) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < calls; ++i) {
                c.call();
            }
            const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
            c.perCall.push_back(took.count() / calls);
            c.ratio.push_back(c.perCall.back() / contenders.front().perCall.back());
        }
    }
    std::printf("Automation calls, %d rounds of %d calls each (median, lowest and highest round):\n", rounds,
                calls);
    for (Contender& c : contenders) {
        std::sort(c.perCall.begin(), c.perCall.end());
        std::sort(c.ratio.begin(), c.ratio.end());
        std::printf("  %-31s %9.2f us per call (%.2f to %.2f)", c.what, c.perCall[rounds / 2],
                    c.perCall.front(), c.perCall.back());
        if (&c != &contenders.front()) {
            std::printf("  x%.0f the in-process call (x%.0f to x%.0f)", c.ratio[rounds / 2], c.ratio.front(),
                        c.ratio.back());
        }
        std::printf("\n");
    }
    return 0;
}

int run(const std::vector<std::wstring>& args) {
    const std::wstring command = args.empty() ? L"" : args[0];
    auto number = [&](std::size_t i) {
        if (args.size() <= i) {
            throw std::invalid_argument("missing number");
        }
        return static_cast<std::int32_t>(std::stol(args[i]));
    };
    if (command == L"status") {
        return status();
    }
    if (command == L"time") {
        return timeCalls(std::max(1, number(1)));
    }
    const Dispatch control = Dispatch::create(L"ActFake.Control");
    if (command == L"user") {
        control.call(L"Set", {text(L"user"), i32(number(1))});
    } else if (command == L"open") {
        control.call(L"Set", {text(L"open"), i32(1)});
    } else if (command == L"close-db") {
        control.call(L"RaiseDatabaseClose");
    } else if (command == L"quit-act") {
        control.call(L"RaiseUserWantsToClose", {i32(number(1))});
    } else if (command == L"die") {
        control.call(L"Die");
    } else {
        std::fprintf(stderr, "usage: fakeact-control status|user N|open|close-db|quit-act N|time N|die\n");
        return 2;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const Apartment apartment;
    try {
        return run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const ComError& e) {
        std::fprintf(stderr, "fakeact-control: error %d: %s\n", e.number(), utf8(e.description()).c_str());
        return 1;
    } catch (const std::exception&) {
        std::fprintf(stderr, "usage: fakeact-control status|user N|open|close-db|quit-act N|time N|die\n");
        return 2;
    }
}
