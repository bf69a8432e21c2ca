#pragma once
// Ending the application or powering the computer off, restarting, hibernating or
// suspending it through logind. Tests replace the handler: no test acts on the machine.

#include <functional>
#include <string>

namespace app {

// Process privileges need no adjusting here: logind decides about power actions.
bool EnablePrivilege(const std::string& privilege, bool enable);

// 0 ends the application's event loop; 1 and 2 power the computer off, 3 restarts it,
// 4 hibernates, 5 suspends (the last four through logind). Other kinds do nothing.
void PowerAction(int kind);
// The logind method of a power kind, or an empty text for kinds logind does not serve.
std::string LogindMethodForPowerKind(int kind);
// Replaces what PowerAction does (tests record the kinds instead of acting); an empty
// function restores the real behaviour.
void SetPowerActionHandler(std::function<void(int)> handler);

}  // namespace app
