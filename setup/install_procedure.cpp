#include "procedures.h"
#include "setup_result.h"
// Placeholders until the procedures exist.
int RunInstall(const wchar_t*, const wchar_t*) { return ResultFailed; }
int RunUninstall(const wchar_t*, const wchar_t*) { return ResultFailed; }
