#pragma once

// Events of an automation object, delivered through its connection point to a callback. The
// events are found by name in the object's type information when it gives some; otherwise the
// first connection point is used with the dispatch numbers given as fallbacks. Events arrive on
// the thread that connected, while it pumps messages or waits in an outgoing call.

#include "act/com/ComDispatch.h"

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <vector>

namespace qm::com {

struct EventName {
    std::wstring name;     // as the object's type information names it
    DISPID fallbackId = 0; // used when the object has no type information
};

class EventConnection {
public:
    // `event` is the position of the event in the list given; `argument` its first argument as a
    // 32-bit integer (0 when it has none).
    using Handler = std::function<void(std::size_t event, std::int32_t argument)>;

    // Connects; raises ComError when the object has no connection point.
    EventConnection(const Dispatch& source, std::vector<EventName> events, Handler handler);
    ~EventConnection();
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

    // No event reaches the handler afterwards. Tolerates a source that has gone away.
    void disconnect();
    // True when the events were found by name in the object's type information.
    bool namedByTypeInfo() const { return m_named; }

private:
    class Sink;
    Ref<IConnectionPoint> m_point;
    Sink* m_sink = nullptr;
    DWORD m_cookie = 0;
    bool m_named = false;
};

} // namespace qm::com
