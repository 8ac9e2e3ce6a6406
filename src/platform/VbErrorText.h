#pragma once

// The run-time's own descriptions of its error numbers, with no Qt: shared by VbError and by the
// COM client layer, which reports its failures with the same numbers and texts.

namespace qm {

// "Type mismatch" for 13; "Application-defined or object-defined error" for numbers the run-time
// does not know.
const char* vbErrorText(int number);

} // namespace qm
