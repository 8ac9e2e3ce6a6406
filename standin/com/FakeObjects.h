#pragma once

// The fake ACT!'s creatable objects. Each returns a new object holding one reference.

#include <oaidl.h>
#include <windows.h>

namespace fakeact {

IDispatch* newApp();
IDispatch* newDatabase();
IDispatch* newAuxCmds();
IDispatch* newEventControl();
// The test's handle on the fake: reset it, make members fail, raise events, read the call log,
// end the server.
IDispatch* newControl();

} // namespace fakeact
