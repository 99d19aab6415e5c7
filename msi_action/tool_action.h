// The custom actions' work: run Pinwheel.exe as the installer's deferred
// action and turn its exit code into the installer's result, and report a
// restart that the tool asked for once the installation is committed.
#pragma once

#include <windows.h>
#include <msiquery.h>

// What a deferred action makes of a tool run that neither succeeded (0) nor
// asked for a restart (1).
enum class ToolPhase {
    // The installation fails and rolls back.
    Install,
    // The removal warns in the log and goes on: a removal that stops leaves
    // a product nobody can remove, while the tool has already done what it
    // could (it disables the service whatever became of the device).
    Uninstall,
};

// Deferred: runs the command line held in CustomActionData with " /quiet"
// appended, waits for it and returns ERROR_SUCCESS or ERROR_INSTALL_FAILURE.
// Exit code 1 leaves the restart marker in the tool's folder.
UINT RunToolFromActionData(MSIHANDLE session, ToolPhase phase);

// Immediate, after InstallFinalize: when the marker is in the folder named by
// the PINWHEELFOLDER property, asks the installer for a restart at the end
// (msiexec then ends with 3010) and removes the marker. Always ERROR_SUCCESS:
// the installation is committed by then.
UINT ScheduleRebootIfRequested(MSIHANDLE session);

// The marker's file name, and the property that names its folder.
extern const wchar_t kRebootMarkerName[];
extern const wchar_t kFolderProperty[];
