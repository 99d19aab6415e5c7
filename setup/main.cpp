#include <wchar.h>

#include "diagnostics/detail_log.h"
#include "procedures.h"
#include "setup_result.h"

int wmain(int argc, wchar_t* argv[])
{
    if (argc < 4) {
        LogFailure(554, L"Invalid Parameter!");
        return ResultUsage;
    }
    // The default C locale folds only A to Z, which is what the mode words
    // need; the tool never sets a locale.
    if (_wcsicmp(argv[1], L"install") == 0) {
        return RunInstall(argv[2], argv[3]);
    }
    if (_wcsicmp(argv[1], L"uninstall") == 0) {
        return RunUninstall(argv[2], argv[3]);
    }
    return ResultUsage;
}
