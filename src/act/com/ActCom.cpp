#include "act/com/ActCom.h"

namespace qm::com::act {

std::int32_t ComContactView::CurrentFieldID() const {
    return m_d.call(L"CurrentFieldID").toInt32();
}

ComContactView ComViews::Create(std::int16_t viewType, std::wstring_view name) const {
    return ComContactView(m_d.call(L"Create", {i16(viewType), text(name)}).toObject());
}

void ComApp::OpenFile(std::wstring_view path) const {
    m_d.call(L"OpenFile", {text(path)});
}

ComViews ComApp::Views() const {
    return ComViews(m_d.call(L"Views").toObject());
}

std::wstring ComApp::GetOpenDBName() const {
    return m_d.call(L"GetOpenDBName").toText();
}

void ComApp::Command(std::int16_t command) const {
    m_d.call(L"Command", {i16(command)});
}

std::int32_t ComFields::Count() const {
    return m_d.call(L"Count").toInt32();
}

std::int32_t ComFields::ID(std::int16_t slot) const {
    return m_d.call(L"ID", {i16(slot)}).toInt32();
}

std::wstring ComFields::Label(std::int16_t slot) const {
    return m_d.call(L"Label", {i16(slot)}).toText();
}

std::int32_t ComFields::EntryRule(std::wstring_view fieldId) const {
    return m_d.call(L"EntryRule", {text(fieldId)}).toInt32();
}

ComFields ComContactTable::Fields() const {
    return ComFields(m_d.call(L"Fields").toObject());
}

std::int32_t ComUsers::CurrentUserSecurity() const {
    return m_d.call(L"CurrentUserSecurity").toInt32();
}

std::wstring ComUsers::CurrentUserName() const {
    try {
        return m_d.call(L"CurrentUserName").toText();
    } catch (const ComError&) {
        return {};
    }
}

std::int32_t ComUsers::Count() const {
    return m_d.call(L"Count").toInt32();
}

std::wstring ComUsers::Name(std::int16_t position) const {
    return m_d.call(L"Name", {i16(position)}).toText();
}

std::wstring ComUsers::Security(std::int16_t position) const {
    return m_d.call(L"Security", {i16(position)}).toText();
}

std::wstring ComUsers::Access(std::int16_t position) const {
    return m_d.call(L"Access", {i16(position)}).toText();
}

std::wstring ComUsers::UniqueID(std::wstring_view position) const {
    return m_d.call(L"UniqueID", {text(position)}).toText();
}

void ComDatabase::OpenEx(std::wstring_view path) const {
    m_d.call(L"OpenEx", {text(path)});
}

ComContactTable ComDatabase::Contact() const {
    return ComContactTable(m_d.call(L"Contact").toObject());
}

ComUsers ComDatabase::Users() const {
    return ComUsers(m_d.call(L"Users").toObject());
}

std::int32_t ComAuxCmds::AuxCommandExists(std::wstring_view name) const {
    return m_d.call(L"AuxCommandExists", {text(name)}).toInt32();
}

std::int32_t ComAuxCmds::AuxCommandExistsInToolbar(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"AuxCommandExistsInToolbar", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::AuxCommandExistsInToolsMenu(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"AuxCommandExistsInToolsMenu", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::AddAuxCommandToToolbar(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"AddAuxCommandToToolbar", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::RemoveAuxCommandFromToolbar(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"RemoveAuxCommandFromToolbar", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::AddAuxCommandToToolsMenu(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"AddAuxCommandToToolsMenu", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::RemoveAuxCommandFromToolsMenu(std::int16_t view, std::wstring_view name) const {
    return m_d.call(L"RemoveAuxCommandFromToolsMenu", {i16(view), text(name)}).toInt32();
}

std::int32_t ComAuxCmds::AddAuxCommand(std::wstring_view name, std::wstring_view commandLine,
                                       std::wstring_view folder, std::wstring_view menuText,
                                       std::wstring_view toolTip, std::wstring_view icon,
                                       std::wstring_view icon32, std::int16_t kind) const {
    return m_d
        .call(L"AddAuxCommand", {text(name), text(commandLine), text(folder), text(menuText), text(toolTip),
                                 text(icon), text(icon32), i16(kind)})
        .toInt32();
}

// The operations are the control's members 1, 2 and 3.
std::int32_t ComEventControl::Operation1(std::int32_t flags) const {
    return m_d.callId(1, {i32(flags)}).toInt32();
}

void ComEventControl::Operation2() const {
    m_d.callId(2);
}

bool ComEventControl::Operation3() const {
    return m_d.callId(3).toBool();
}

void ComEventControl::connectEvents(Handler handler) {
    disconnectEvents();
    std::vector<EventName> names{{L"OnActUserWantsToClose", 1}, {L"OnDatabaseClose", 2}};
    m_events = std::make_shared<EventConnection>(
        m_d, std::move(names), [handler = std::move(handler)](std::size_t event, std::int32_t argument) {
            handler(event == 0 ? Event::ActUserWantsToClose : Event::DatabaseClose, argument);
        });
}

void ComEventControl::disconnectEvents() {
    if (m_events) {
        m_events->disconnect();
        m_events.reset();
    }
}

} // namespace qm::com::act
