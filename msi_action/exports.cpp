// The library's entry points, named in the package's CustomAction table.
//
//   RunPinwheelInstall    deferred, no impersonation: CustomActionData holds
//                         the command line ("<folder>\Pinwheel.exe" install
//                         <hardware ID> "<folder>\<name>.inf"); 0 succeeds,
//                         1 asks for a restart, anything else fails (1603)
//                         and rolls the installation back.
//   RunPinwheelUninstall  the same for the removal; a failed tool run is
//                         logged and the removal goes on.
//   ScheduleReboot        immediate, after InstallFinalize: turns a restart
//                         the tool asked for into the installer's 3010.
#include "tool_action.h"

extern "C" UINT __stdcall RunPinwheelInstall(MSIHANDLE session)
{
    return RunToolFromActionData(session, ToolPhase::Install);
}

extern "C" UINT __stdcall RunPinwheelUninstall(MSIHANDLE session)
{
    return RunToolFromActionData(session, ToolPhase::Uninstall);
}

extern "C" UINT __stdcall ScheduleReboot(MSIHANDLE session)
{
    return ScheduleRebootIfRequested(session);
}
