#pragma once

// The ACT! automation objects and event control, as the tool uses them. Members carry ACT!'s own
// names. A failing call throws qm::VbError, which the calling procedure's error trap reports.
// Backends: the ACT! stand-in (act/standin), and in tests an in-process fake; a COM backend for
// Windows would implement the same classes over IDispatch.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace qm::act {

// ProgIDs.
inline const QString kProgIdApp = QStringLiteral("ACTOLE.APPOBJECT");
inline const QString kProgIdDatabase = QStringLiteral("ACTOLE.DATABASE");
inline const QString kProgIdAuxCmds = QStringLiteral("ACTOLE.AUXCMDS");
inline const QString kProgIdEvent = QStringLiteral("ACTEVENTLib.ActEvent");

class ActObject {
public:
    virtual ~ActObject() = default;
};

class ActContactView : public ActObject {
public:
    // The ID of the field the ACT! user stands in.
    virtual std::int32_t CurrentFieldID() = 0;
};

class ActViews : public ActObject {
public:
    virtual std::shared_ptr<ActContactView> Create(std::int32_t viewType, const QString& name) = 0;
};

class ActApp : public ActObject {
public:
    virtual void OpenFile(const QString& path) = 0;
    virtual std::shared_ptr<ActViews> Views() = 0;
    // Full path of the open database file.
    virtual QString GetOpenDBName() = 0;
    // 150 shuts ACT! down.
    virtual void Command(std::int16_t command) = 0;
};

class ActFields : public ActObject {
public:
    // Number of slots that hold a field; slots start at 0 and empty ones may lie between.
    virtual std::int32_t Count() = 0;
    // Field ID in the slot, -1 for an empty slot. A slot beyond the last raises an error.
    virtual std::int32_t ID(std::int16_t slot) = 0;
    virtual QString Label(std::int16_t slot) = 0;
    // Entry rule of a field given by its ID as text; 3 marks a protected field.
    virtual std::int32_t EntryRule(const QString& fieldId) = 0;
};

class ActContactTable : public ActObject {
public:
    virtual std::shared_ptr<ActFields> Fields() = 0;
};

class ActUsers : public ActObject {
public:
    // 5 for an administrator of the database.
    virtual std::int32_t CurrentUserSecurity() = 0;
    // The name of the ACT! user logged in to the database, as ACT! answers it now (its user may
    // change while the tool runs). The tool asks it only to name the ACT! user in the change log
    // of the settings. An ACT! that cannot answer it (one without the member) gives an empty text,
    // never an error the administrator sees: the record is then written with the ACT! user left
    // empty.
    virtual QString CurrentUserName() = 0;
    // Number of users, at positions 1 to Count.
    virtual std::int32_t Count() = 0;
    virtual QString Name(std::int16_t position) = 0;
    virtual QString Security(std::int16_t position) = 0;
    virtual QString Access(std::int16_t position) = 0;
    virtual QString UniqueID(const QString& position) = 0;
};

class ActDatabase : public ActObject {
public:
    virtual void OpenEx(const QString& path) = 0;
    virtual std::shared_ptr<ActContactTable> Contact() = 0;
    virtual std::shared_ptr<ActUsers> Users() = 0;
};

// Answers: 0 for success (add, remove) or absence (exists), 1 for presence in a view.
class ActAuxCmds : public ActObject {
public:
    virtual std::int32_t AuxCommandExists(const QString& name) = 0;
    virtual std::int32_t AuxCommandExistsInToolbar(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t AddAuxCommandToToolbar(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, const QString& name) = 0;
    virtual std::int32_t AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                                       const QString& menuText, const QString& toolTip, const QString& icon,
                                       const QString& icon32, std::int16_t kind) = 0;
};

// ACT!'s event control, placed on the main window as ActEvent1. Its events arrive on the thread
// that created it, between user actions.
class ActEvent : public QObject, public ActObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Attaches to the running ACT!: at least 1 when ACT! has a database open and answers.
    virtual std::int32_t Operation1(std::int32_t flags) = 0;
    // Detaches; no event is raised afterwards.
    virtual void Operation2() = 0;
    // True when ACT! runs but its automation cannot be reached (not registered).
    virtual bool Operation3() = 0;

Q_SIGNALS:
    void OnActUserWantsToClose(std::int32_t reason);
    void OnDatabaseClose();
};

// Creates ACT! objects by ProgID. An unknown ProgID, or ACT! not reachable, raises 429.
class ObjectFactory {
public:
    virtual ~ObjectFactory() = default;
    virtual std::shared_ptr<ActObject> CreateObject(const QString& progId) = 0;
    virtual std::unique_ptr<ActEvent> CreateEventControl() = 0;
};

// CreateObject, typed: an object of another kind than asked raises "Type mismatch".
template <typename T> std::shared_ptr<T> createAs(ObjectFactory& factory, const QString& progId);

} // namespace qm::act

#include "act/ActObjects.inl"
