#pragma once

// ACT!'s automation objects and event control over COM, with the members' names and argument
// widths as ACT! expects them: positions, slots, view numbers and command numbers are 16-bit
// integers, field IDs and user positions passed as texts are texts, the event control's first
// operation takes a 32-bit integer. A failing call raises ComError.

#include "act/com/ComDispatch.h"
#include "act/com/ComEvents.h"

#include <functional>
#include <memory>

namespace qm::com::act {

inline constexpr wchar_t kProgIdApp[] = L"ACTOLE.APPOBJECT";
inline constexpr wchar_t kProgIdDatabase[] = L"ACTOLE.DATABASE";
inline constexpr wchar_t kProgIdAuxCmds[] = L"ACTOLE.AUXCMDS";
inline constexpr wchar_t kProgIdEvent[] = L"ACTEVENTLib.ActEvent";

class ComContactView {
public:
    explicit ComContactView(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    std::int32_t CurrentFieldID() const;

private:
    Dispatch m_d;
};

class ComViews {
public:
    explicit ComViews(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    ComContactView Create(std::int16_t viewType, std::wstring_view name) const;

private:
    Dispatch m_d;
};

class ComApp {
public:
    explicit ComApp(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    static ComApp create() { return ComApp(Dispatch::create(kProgIdApp)); }
    void OpenFile(std::wstring_view path) const;
    ComViews Views() const;
    std::wstring GetOpenDBName() const;
    void Command(std::int16_t command) const;

private:
    Dispatch m_d;
};

class ComFields {
public:
    explicit ComFields(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    std::int32_t Count() const;
    std::int32_t ID(std::int16_t slot) const;
    std::wstring Label(std::int16_t slot) const;
    std::int32_t EntryRule(std::wstring_view fieldId) const;

private:
    Dispatch m_d;
};

class ComContactTable {
public:
    explicit ComContactTable(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    ComFields Fields() const;

private:
    Dispatch m_d;
};

class ComUsers {
public:
    explicit ComUsers(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    std::int32_t CurrentUserSecurity() const;
    // The logged-in user's name, or an empty text when ACT! cannot give it (a version without the
    // member: DISP_E_UNKNOWNNAME or DISP_E_MEMBERNOTFOUND), or the call fails in any other way: it
    // only names the ACT! user in the change log, and never raises.
    std::wstring CurrentUserName() const;
    std::int32_t Count() const;
    std::wstring Name(std::int16_t position) const;
    std::wstring Security(std::int16_t position) const;
    std::wstring Access(std::int16_t position) const;
    std::wstring UniqueID(std::wstring_view position) const;

private:
    Dispatch m_d;
};

class ComDatabase {
public:
    explicit ComDatabase(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    static ComDatabase create() { return ComDatabase(Dispatch::create(kProgIdDatabase)); }
    void OpenEx(std::wstring_view path) const;
    ComContactTable Contact() const;
    ComUsers Users() const;

private:
    Dispatch m_d;
};

// Answers: 0 for success (add, remove) or absence (exists), 1 for presence in a view.
class ComAuxCmds {
public:
    explicit ComAuxCmds(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    static ComAuxCmds create() { return ComAuxCmds(Dispatch::create(kProgIdAuxCmds)); }
    std::int32_t AuxCommandExists(std::wstring_view name) const;
    std::int32_t AuxCommandExistsInToolbar(std::int16_t view, std::wstring_view name) const;
    std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, std::wstring_view name) const;
    std::int32_t AddAuxCommandToToolbar(std::int16_t view, std::wstring_view name) const;
    std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, std::wstring_view name) const;
    std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, std::wstring_view name) const;
    std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, std::wstring_view name) const;
    std::int32_t AddAuxCommand(std::wstring_view name, std::wstring_view commandLine,
                               std::wstring_view folder, std::wstring_view menuText,
                               std::wstring_view toolTip, std::wstring_view icon, std::wstring_view icon32,
                               std::int16_t kind) const;

private:
    Dispatch m_d;
};

// ACT!'s event control: three operations called by number, and two events.
class ComEventControl {
public:
    enum class Event { ActUserWantsToClose, DatabaseClose };
    using Handler = std::function<void(Event, std::int32_t argument)>;

    explicit ComEventControl(Dispatch d)
        : m_d(std::move(d)) {}
    const Dispatch& object() const { return m_d; }
    static ComEventControl create() { return ComEventControl(Dispatch::create(kProgIdEvent)); }

    std::int32_t Operation1(std::int32_t flags) const;
    void Operation2() const;
    bool Operation3() const;

    // Delivers both events to `handler` until disconnectEvents() (or the end of this object).
    void connectEvents(Handler handler);
    void disconnectEvents();
    bool eventsNamedByTypeInfo() const { return m_events && m_events->namedByTypeInfo(); }

private:
    Dispatch m_d;
    std::shared_ptr<EventConnection> m_events;
};

} // namespace qm::com::act
