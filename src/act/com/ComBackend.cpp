#include "act/com/ComBackend.h"

#include "act/com/ActCom.h"
#include "platform/VbError.h"

#include <optional>

namespace qm::act::com {

namespace {

namespace c = qm::com::act;

std::wstring w(const QString& s) {
    return s.toStdWString();
}

QString q(const std::wstring& s) {
    return QString::fromStdWString(s);
}

VbError vbError(const qm::com::ComError& e) {
    return VbError(e.number(), q(e.description()));
}

// Runs one COM call; a failure is raised as the run-time error it stands for.
template <typename F> auto guarded(F&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const qm::com::ComError& e) {
        throw vbError(e);
    }
}

class ContactView : public ActContactView {
public:
    explicit ContactView(c::ComContactView v)
        : m(std::move(v)) {}
    std::int32_t CurrentFieldID() override {
        return guarded([&] { return m.CurrentFieldID(); });
    }

private:
    c::ComContactView m;
};

class Views : public ActViews {
public:
    explicit Views(c::ComViews v)
        : m(std::move(v)) {}
    std::shared_ptr<ActContactView> Create(std::int32_t viewType, const QString& name) override {
        // A small view number goes as a 16-bit integer, as a literal would.
        return std::make_shared<ContactView>(
            guarded([&] { return m.Create(static_cast<std::int16_t>(viewType), w(name)); }));
    }

private:
    c::ComViews m;
};

class App : public ActApp {
public:
    explicit App(c::ComApp a)
        : m(std::move(a)) {}
    void OpenFile(const QString& path) override {
        guarded([&] { m.OpenFile(w(path)); });
    }
    std::shared_ptr<ActViews> Views() override {
        return std::make_shared<com::Views>(guarded([&] { return m.Views(); }));
    }
    QString GetOpenDBName() override {
        return q(guarded([&] { return m.GetOpenDBName(); }));
    }
    void Command(std::int16_t command) override {
        guarded([&] { m.Command(command); });
    }

private:
    c::ComApp m;
};

class Fields : public ActFields {
public:
    explicit Fields(c::ComFields f)
        : m(std::move(f)) {}
    std::int32_t Count() override {
        return guarded([&] { return m.Count(); });
    }
    std::int32_t ID(std::int16_t slot) override {
        return guarded([&] { return m.ID(slot); });
    }
    QString Label(std::int16_t slot) override {
        return q(guarded([&] { return m.Label(slot); }));
    }
    std::int32_t EntryRule(const QString& fieldId) override {
        return guarded([&] { return m.EntryRule(w(fieldId)); });
    }

private:
    c::ComFields m;
};

class ContactTable : public ActContactTable {
public:
    explicit ContactTable(c::ComContactTable t)
        : m(std::move(t)) {}
    std::shared_ptr<ActFields> Fields() override {
        return std::make_shared<com::Fields>(guarded([&] { return m.Fields(); }));
    }

private:
    c::ComContactTable m;
};

class Users : public ActUsers {
public:
    explicit Users(c::ComUsers u)
        : m(std::move(u)) {}
    std::int32_t CurrentUserSecurity() override {
        return guarded([&] { return m.CurrentUserSecurity(); });
    }
    QString CurrentUserName() override { return q(m.CurrentUserName()); }
    std::int32_t Count() override {
        return guarded([&] { return m.Count(); });
    }
    QString Name(std::int16_t position) override {
        return q(guarded([&] { return m.Name(position); }));
    }
    QString Security(std::int16_t position) override {
        return q(guarded([&] { return m.Security(position); }));
    }
    QString Access(std::int16_t position) override {
        return q(guarded([&] { return m.Access(position); }));
    }
    QString UniqueID(const QString& position) override {
        return q(guarded([&] { return m.UniqueID(w(position)); }));
    }

private:
    c::ComUsers m;
};

class Database : public ActDatabase {
public:
    explicit Database(c::ComDatabase d)
        : m(std::move(d)) {}
    void OpenEx(const QString& path) override {
        guarded([&] { m.OpenEx(w(path)); });
    }
    std::shared_ptr<ActContactTable> Contact() override {
        return std::make_shared<ContactTable>(guarded([&] { return m.Contact(); }));
    }
    std::shared_ptr<ActUsers> Users() override {
        return std::make_shared<com::Users>(guarded([&] { return m.Users(); }));
    }

private:
    c::ComDatabase m;
};

class AuxCmds : public ActAuxCmds {
public:
    explicit AuxCmds(c::ComAuxCmds a)
        : m(std::move(a)) {}
    std::int32_t AuxCommandExists(const QString& name) override {
        return guarded([&] { return m.AuxCommandExists(w(name)); });
    }
    std::int32_t AuxCommandExistsInToolbar(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.AuxCommandExistsInToolbar(view, w(name)); });
    }
    std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.AuxCommandExistsInToolsMenu(view, w(name)); });
    }
    std::int32_t AddAuxCommandToToolbar(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.AddAuxCommandToToolbar(view, w(name)); });
    }
    std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.RemoveAuxCommandFromToolbar(view, w(name)); });
    }
    std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.AddAuxCommandToToolsMenu(view, w(name)); });
    }
    std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, const QString& name) override {
        return guarded([&] { return m.RemoveAuxCommandFromToolsMenu(view, w(name)); });
    }
    std::int32_t AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                               const QString& menuText, const QString& toolTip, const QString& icon,
                               const QString& icon32, std::int16_t kind) override {
        return guarded([&] {
            return m.AddAuxCommand(w(name), w(commandLine), w(folder), w(menuText), w(toolTip), w(icon),
                                   w(icon32), kind);
        });
    }

private:
    c::ComAuxCmds m;
};

// ACT!'s event control, created without a window: its events come through its connection point
// while the user-interface thread pumps messages, and are raised from the event loop, between
// user actions. A control that could not be created raises its creation error on every call.
class Event : public ActEvent {
public:
    Event() {
        try {
            m_control.emplace(c::ComEventControl::create());
        } catch (const qm::com::ComError& e) {
            m_error = {e.number(), q(e.description())};
        }
    }
    std::int32_t Operation1(std::int32_t flags) override {
        c::ComEventControl& control = get();
        const std::int32_t result = guarded([&] { return control.Operation1(flags); });
        m_attached = true;
        if (!m_connected) {
            guarded([&] {
                control.connectEvents([this](c::ComEventControl::Event e, std::int32_t a) { raise(e, a); });
            });
            m_connected = true;
        }
        return result;
    }
    void Operation2() override {
        m_attached = false;
        c::ComEventControl& control = get();
        if (m_connected) {
            control.disconnectEvents();
            m_connected = false;
        }
        guarded([&] { control.Operation2(); });
    }
    bool Operation3() override {
        c::ComEventControl& control = get();
        return guarded([&] { return control.Operation3(); });
    }

private:
    c::ComEventControl& get() {
        if (!m_control) {
            throw m_error;
        }
        return *m_control;
    }
    void raise(c::ComEventControl::Event e, std::int32_t argument) {
        QMetaObject::invokeMethod(
            this,
            [this, e, argument] {
                if (!m_attached) {
                    return; // detached meanwhile
                }
                if (e == c::ComEventControl::Event::DatabaseClose) {
                    Q_EMIT OnDatabaseClose();
                } else {
                    Q_EMIT OnActUserWantsToClose(argument);
                }
            },
            Qt::QueuedConnection);
    }

    std::optional<c::ComEventControl> m_control;
    VbError m_error{VbErr::CantCreateObject};
    bool m_attached = false;
    bool m_connected = false;
};

class Factory : public ObjectFactory {
public:
    std::shared_ptr<ActObject> CreateObject(const QString& progId) override {
        if (progId.compare(kProgIdApp, Qt::CaseInsensitive) == 0) {
            return std::make_shared<App>(guarded([] { return c::ComApp::create(); }));
        }
        if (progId.compare(kProgIdDatabase, Qt::CaseInsensitive) == 0) {
            return std::make_shared<Database>(guarded([] { return c::ComDatabase::create(); }));
        }
        if (progId.compare(kProgIdAuxCmds, Qt::CaseInsensitive) == 0) {
            return std::make_shared<AuxCmds>(guarded([] { return c::ComAuxCmds::create(); }));
        }
        raise(VbErr::CantCreateObject);
    }
    std::unique_ptr<ActEvent> CreateEventControl() override { return std::make_unique<Event>(); }

private:
    qm::com::Apartment m_apartment;
};

} // namespace

std::unique_ptr<ObjectFactory> makeFactory() {
    return std::make_unique<Factory>();
}

} // namespace qm::act::com
