#pragma once

#include "platform/VbError.h"

namespace qm::act {

template <typename T> std::shared_ptr<T> createAs(ObjectFactory& factory, const QString& progId) {
    std::shared_ptr<ActObject> object = factory.CreateObject(progId);
    if (!object) {
        raise(VbErr::CantCreateObject);
    }
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) {
        raise(VbErr::TypeMismatch);
    }
    return typed;
}

} // namespace qm::act

namespace qm::act {

// The object behind a reference; an unset reference raises "Object variable not set" (91), as
// a member call on Nothing does.
template <typename T> T& deref(const std::shared_ptr<T>& object) {
    if (!object) {
        raise(VbErr::ObjectNotSet);
    }
    return *object;
}

} // namespace qm::act
