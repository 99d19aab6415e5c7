#pragma once

// The two modes of the tool. Each takes arguments 2 and 3 of the command line
// exactly as split and returns the SetupResult that becomes the exit code.
int RunInstall(const wchar_t* hardwareId, const wchar_t* infPath);
int RunUninstall(const wchar_t* hardwareId, const wchar_t* serviceName);
