// The execution level that an installer's application manifest asks Windows
// (Vista and later) to start it with: requestedExecutionLevel's level.
#pragma once
#include <string>

// The levels Windows knows, in their own spelling: asInvoker,
// highestAvailable, requireAdministrator. The stub's manifest says
// highestAvailable.
extern const char* const kExecutionLevels[3];

// The level as Windows spells it, for a name given in any case; "" when it
// names no level.
std::string ExecutionLevelNamed(const std::string& name);

// The manifest with the level attribute of its requestedExecutionLevel
// element set to level, and nothing else changed. Throws PackError when it
// has no such element with a level.
std::string WithExecutionLevel(const std::string& manifest, const std::string& level);
