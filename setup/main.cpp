#include <wchar.h>

#include "diagnostics/detail_log.h"
#include "procedures.h"
#include "setup_result.h"
#include "warning_box.h"

namespace {

// The longest hardware ID a device node stores. A longer one would be stored
// cut, so that no later run could find the node it made.
const size_t kMaxHardwareIdLength = 255;

bool IsValidHardwareId(const wchar_t* hardwareId)
{
    const size_t length = wcslen(hardwareId);
    return length != 0 && length <= kMaxHardwareIdLength;
}

int RunMode(int argc, wchar_t* argv[])
{
    if (argc < 4) {
        LogFailure(554, L"Invalid Parameter!");
        return ResultUsage;
    }
    // The default C locale folds only A to Z, which is what the mode words
    // and the switch need; the tool never sets a locale.
    const bool install = _wcsicmp(argv[1], L"install") == 0;
    if (!install && _wcsicmp(argv[1], L"uninstall") != 0) {
        return ResultUsage;
    }
    // Installers run the tool silently, where a box would wait for ever.
    for (int i = 4; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"/quiet") == 0) {
            SetQuietMode();
        }
    }
    if (!IsValidHardwareId(argv[2])) {
        LogFailure(560, L"Invalid hardware ID!");
        return ResultUsage;
    }
    return install ? RunInstall(argv[2], argv[3]) : RunUninstall(argv[2], argv[3]);
}

}  // namespace

int wmain(int argc, wchar_t* argv[])
{
    const int result = RunMode(argc, argv);
    ReleaseUserInterface();
    return result;
}
