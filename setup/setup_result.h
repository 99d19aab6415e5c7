#pragma once

// The exit code of the tool and the result of every procedure and device
// operation.
enum SetupResult {
    ResultOk = 0,      // done, or nothing to do
    ResultReboot = 1,  // done, the computer must be restarted
    ResultFailed = 2,
    ResultUsage = 3,  // bad command line
};
