#pragma once

// The ACT! interface over ACT!'s real automation objects and event control (Windows): the COM
// client of this folder behind the classes of act/ActObjects.h. Its failures are raised as the
// run-time errors they stand for.

#include "act/ActObjects.h"

#include <memory>

namespace qm::act::com {

// Initialises COM for the calling (user-interface) thread for as long as the factory lives.
std::unique_ptr<ObjectFactory> makeFactory();

} // namespace qm::act::com
