#pragma once

// Makes the run box-less: no warning box is shown, and the platform's
// driver update is told not to ask anyone anything. Set from the command
// line before any box can be shown.
void SetQuietMode();

// True when nobody can answer a box: quiet mode was asked for, or the
// process's window station is not visible (a service, or a deployment
// running as SYSTEM). The window station is looked at once, on first need.
bool IsNonInteractive();

// Tells the user about an exceptional outcome: an application-modal box with
// no owner, caption "Warning", an OK button and the warning icon. Returns
// when the user has dismissed it, or at once when nobody can answer it. The
// user-interface library is loaded from the system folder on first need.
void ShowWarningBox(const wchar_t* text);

// Frees the user-interface library if this run loaded it. The entry calls it
// before it returns.
void ReleaseUserInterface();

// Returns to the state at process start. Only tests call this.
void ResetUserInterfaceForTesting();
