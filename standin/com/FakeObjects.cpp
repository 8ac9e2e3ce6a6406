#include "FakeObjects.h"

#include "FakeDispatch.h"
#include "FakeState.h"

#include <cwchar>

namespace fakeact {

namespace {

const HRESULT kServerGone = static_cast<HRESULT>(0x80010012L); // RPC_E_SERVER_DIED_DNE

void requireRunning() {
    if (!state().running) {
        throw Raise{kServerGone, {}};
    }
}

void requireOpen() {
    requireRunning();
    if (!state().databaseOpen) {
        throw Raise{E_FAIL, L"ACT! has no database open", false};
    }
}

// The decimal number a text holds, or a type mismatch.
std::int32_t number(const std::wstring& text) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end != L'\0') {
        throw Raise{DISP_E_TYPEMISMATCH, {}};
    }
    return static_cast<std::int32_t>(value);
}

template <typename Vector> auto& at(Vector& v, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= v.size()) {
        throw Raise{DISP_E_BADINDEX, {}};
    }
    return v[static_cast<std::size_t>(index)];
}

Member member(const wchar_t* name, DISPID id, std::vector<VARTYPE> params,
              std::function<void(const Args&, VARIANT&)> body) {
    return {name, id, std::move(params), std::move(body)};
}

IDispatch* newObject(const wchar_t* name, std::vector<Member> members) {
    return new FakeDispatch(name, std::move(members));
}

IDispatch* newContactView() {
    return newObject(L"ContactView", {member(L"CurrentFieldID", 1, {}, [](const Args&, VARIANT& r) {
                         requireOpen();
                         setInt(r, state().currentField);
                     })});
}

IDispatch* newViews() {
    return newObject(L"Views", {member(L"Create", 1, {VT_I2, VT_BSTR}, [](const Args&, VARIANT& r) {
                         requireRunning();
                         setObject(r, newContactView());
                     })});
}

IDispatch* newFields() {
    return newObject(L"Fields", {member(L"Count", 1, {},
                                        [](const Args&, VARIANT& r) {
                                            requireOpen();
                                            setInt(r, state().fieldCount());
                                        }),
                                 member(L"ID", 2, {VT_I2},
                                        [](const Args& a, VARIANT& r) {
                                            requireOpen();
                                            setInt(r, at(state().slots, a.i2(0)).id);
                                        }),
                                 member(L"Label", 3, {VT_I2},
                                        [](const Args& a, VARIANT& r) {
                                            requireOpen();
                                            setText(r, at(state().slots, a.i2(0)).label);
                                        }),
                                 member(L"EntryRule", 4, {VT_BSTR}, [](const Args& a, VARIANT& r) {
                                     requireOpen();
                                     const std::int32_t id = number(a.text(0));
                                     for (const Slot& s : state().slots) {
                                         if (s.id == id && id != -1) {
                                             setInt(r, s.entryRule);
                                             return;
                                         }
                                     }
                                     throw Raise{E_INVALIDARG, {}};
                                 })});
}

IDispatch* newContactTable() {
    return newObject(L"Contact", {member(L"Fields", 1, {}, [](const Args&, VARIANT& r) {
                         requireOpen();
                         setObject(r, newFields());
                     })});
}

IDispatch* newUsers() {
    auto user = [](std::int32_t position) -> const User& { return at(state().users, position - 1); };
    return newObject(L"Users", {member(L"CurrentUserSecurity", 1, {},
                                       [user](const Args&, VARIANT& r) {
                                           requireOpen();
                                           setInt(r, user(state().currentUser).security);
                                       }),
                                member(L"Count", 2, {},
                                       [](const Args&, VARIANT& r) {
                                           requireOpen();
                                           setInt(r, static_cast<std::int32_t>(state().users.size()));
                                       }),
                                member(L"Name", 3, {VT_I2},
                                       [user](const Args& a, VARIANT& r) {
                                           requireOpen();
                                           setText(r, user(a.i2(0)).name);
                                       }),
                                // A number, as ACT! keeps it; the caller reads it as text.
                                member(L"Security", 4, {VT_I2},
                                       [user](const Args& a, VARIANT& r) {
                                           requireOpen();
                                           setShort(r, static_cast<std::int16_t>(user(a.i2(0)).security));
                                       }),
                                member(L"Access", 5, {VT_I2},
                                       [user](const Args& a, VARIANT& r) {
                                           requireOpen();
                                           setText(r, user(a.i2(0)).access);
                                       }),
                                member(L"UniqueID", 6, {VT_BSTR},
                                       [user](const Args& a, VARIANT& r) {
                                           requireOpen();
                                           setText(r, user(number(a.text(0))).uniqueId);
                                       }),
                                member(L"CurrentUserName", 7, {}, [user](const Args&, VARIANT& r) {
                                    requireOpen();
                                    setText(r, user(state().currentUser).name);
                                })});
}

// 0 on success, 1 when the view does not exist or the command is not registered.
std::int32_t place(std::array<std::set<std::wstring>, 6>& views, std::int32_t view, const std::wstring& name,
                   bool add) {
    requireRunning();
    if (view < 1 || view > 6 || (add && !state().auxCommands.count(name))) {
        return 1;
    }
    auto& names = views[static_cast<std::size_t>(view - 1)];
    add ? (void)names.insert(name) : (void)names.erase(name);
    return 0;
}

std::int32_t present(const std::array<std::set<std::wstring>, 6>& views, std::int32_t view,
                     const std::wstring& name) {
    requireRunning();
    return view >= 1 && view <= 6 && views[static_cast<std::size_t>(view - 1)].count(name) ? 1 : 0;
}

} // namespace

IDispatch* newApp() {
    return newObject(L"App", {member(L"OpenFile", 1, {VT_BSTR},
                                     [](const Args& a, VARIANT&) {
                                         requireRunning();
                                         if (!a.text(0).empty()) {
                                             state().databasePath = a.text(0);
                                             state().databaseOpen = true;
                                         }
                                     }),
                              member(L"Views", 2, {},
                                     [](const Args&, VARIANT& r) {
                                         requireRunning();
                                         setObject(r, newViews());
                                     }),
                              member(L"GetOpenDBName", 3, {},
                                     [](const Args&, VARIANT& r) {
                                         requireRunning();
                                         setText(r, state().databaseOpen ? state().databasePath : L"");
                                     }),
                              // 150 shuts ACT! down: its user is told, then the process ends.
                              member(L"Command", 4, {VT_I2}, [](const Args& a, VARIANT&) {
                                  requireRunning();
                                  if (a.i2(0) == 150) {
                                      state().running = false;
                                      postToServer(kRaiseUserWantsToClose, 0);
                                      postToServer(kDie);
                                  }
                              })});
}

IDispatch* newDatabase() {
    return newObject(L"Database",
                     {member(L"OpenEx", 1, {VT_BSTR},
                             [](const Args& a, VARIANT&) {
                                 requireOpen();
                                 if (!a.text(0).empty() && a.text(0) != state().databasePath) {
                                     throw Raise{E_FAIL, L"Not the database ACT! has open", false};
                                 }
                             }),
                      member(L"Contact", 2, {},
                             [](const Args&, VARIANT& r) {
                                 requireOpen();
                                 setObject(r, newContactTable());
                             }),
                      member(L"Users", 3, {}, [](const Args&, VARIANT& r) {
                          requireOpen();
                          setObject(r, newUsers());
                      })});
}

IDispatch* newAuxCmds() {
    auto inView = [](std::array<std::set<std::wstring>, 6> State::*views) {
        return [views](const Args& a, VARIANT& r) { setInt(r, present(state().*views, a.i2(0), a.text(1))); };
    };
    auto change = [](std::array<std::set<std::wstring>, 6> State::*views, bool add) {
        return [views, add](const Args& a, VARIANT& r) {
            setInt(r, place(state().*views, a.i2(0), a.text(1), add));
        };
    };
    const std::vector<VARTYPE> viewAndName{VT_I2, VT_BSTR};
    return newObject(
        L"AuxCmds",
        {member(L"AuxCommandExists", 1, {VT_BSTR},
                [](const Args& a, VARIANT& r) {
                    requireRunning();
                    setInt(r, state().auxCommands.count(a.text(0)) ? 1 : 0);
                }),
         member(L"AuxCommandExistsInToolbar", 2, viewAndName, inView(&State::toolbar)),
         member(L"AuxCommandExistsInToolsMenu", 3, viewAndName, inView(&State::toolsMenu)),
         member(L"AddAuxCommandToToolbar", 4, viewAndName, change(&State::toolbar, true)),
         member(L"RemoveAuxCommandFromToolbar", 5, viewAndName, change(&State::toolbar, false)),
         member(L"AddAuxCommandToToolsMenu", 6, viewAndName, change(&State::toolsMenu, true)),
         member(L"RemoveAuxCommandFromToolsMenu", 7, viewAndName, change(&State::toolsMenu, false)),
         member(L"AddAuxCommand", 8, {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_I2},
                [](const Args& a, VARIANT& r) {
                    requireRunning();
                    std::wstring joined;
                    for (std::size_t i = 0; i < 7; ++i) {
                        joined += a.text(i) + L"|";
                    }
                    state().lastAuxCommand = joined + std::to_wstring(a.i2(7));
                    if (a.text(0).empty()) {
                        setInt(r, 1);
                        return;
                    }
                    state().auxCommands.insert(a.text(0));
                    setInt(r, 0);
                })});
}

IDispatch* newControl() {
    return newObject(
        L"Control",
        {member(L"Reset", 1, {}, [](const Args&, VARIANT&) { state().reset(); }),
         // Fail(member, code, description): every later call of that member fails; code 0 heals it.
         member(L"Fail", 2, {VT_BSTR, VT_I4, VT_BSTR},
                [](const Args& a, VARIANT&) {
                    if (a.i4(1) == 0) {
                        state().failing.erase(a.text(0));
                    } else {
                        state().failing[a.text(0)] = Failure{a.i4(1), a.text(2)};
                    }
                }),
         // The calls made since the last TakeLog, one "Object.Member(args)" a line.
         member(L"TakeLog", 3, {},
                [](const Args&, VARIANT& r) {
                    setText(r, state().log);
                    state().log.clear();
                }),
         member(L"Set", 4, {VT_BSTR, VT_I4},
                [](const Args& a, VARIANT&) {
                    State& s = state();
                    const std::wstring key = a.text(0);
                    const std::int32_t v = a.i4(1);
                    if (key == L"open") {
                        s.databaseOpen = v != 0;
                    } else if (key == L"registered") {
                        s.registered = v != 0;
                    } else if (key == L"running") {
                        s.running = v != 0;
                    } else if (key == L"user") {
                        s.currentUser = v;
                    } else if (key == L"field") {
                        s.currentField = v;
                    } else if (key == L"users") {
                        s.setUsers(v);
                    } else {
                        throw Raise{E_INVALIDARG, {}};
                    }
                }),
         member(L"RaiseUserWantsToClose", 5, {VT_I4},
                [](const Args& a, VARIANT&) {
                    postToServer(kRaiseUserWantsToClose, static_cast<WPARAM>(a.i4(0)));
                }),
         member(L"RaiseDatabaseClose", 6, {},
                [](const Args&, VARIANT&) { postToServer(kRaiseDatabaseClose); }),
         // The server process ends abruptly after this call returns.
         member(L"Die", 7, {}, [](const Args&, VARIANT&) { postToServer(kDie); }),
         member(L"LastAuxCommand", 8, {},
                [](const Args&, VARIANT& r) { setText(r, state().lastAuxCommand); }),
         member(L"ProcessId", 9, {},
                [](const Args&, VARIANT& r) { setInt(r, static_cast<std::int32_t>(GetCurrentProcessId())); }),
         member(L"LoadDemo", 10, {}, [](const Args&, VARIANT&) { state().loadDemo(); })});
}

} // namespace fakeact
