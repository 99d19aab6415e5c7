#pragma once

// Tells the user about an exceptional outcome: an application-modal box with
// no owner, caption "Warning", an OK button and the warning icon. Returns
// when the user has dismissed it.
void ShowWarningBox(const wchar_t* text);
