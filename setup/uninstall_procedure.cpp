#include "procedures.h"
#include "setup_result.h"
// Placeholder until the uninstall procedure exists.
int RunUninstall(const wchar_t*, const wchar_t*) { return ResultFailed; }
