// End-to-end runs of the real Pinwheel.exe: each sandbox is a fresh folder
// holding a copy of the built exe, so Detail.log starts out absent.
#pragma once

#include <string>
#include <vector>

#include "watched_process.h"

struct PinwheelResult : WatchedRun {
    std::string log;  // bytes of Detail.log after the run; empty if absent
};

class PinwheelSandbox {
public:
    PinwheelSandbox();
    const std::wstring& Directory() const { return m_directory; }
    std::wstring Exe() const { return m_directory + L"\\Pinwheel.exe"; }
    std::wstring LogPath() const { return m_directory + L"\\Detail.log"; }

    // Runs the copy with these arguments, from `currentDirectory` (the
    // sandbox when empty).
    PinwheelResult Run(const std::vector<std::wstring>& arguments,
                       const std::wstring& currentDirectory = std::wstring(),
                       bool answerBoxes = true) const;
    // Runs the copy once per argument list, all let go at the same moment;
    // every result carries the log as it is after the last run ended.
    std::vector<PinwheelResult> RunTogether(
        const std::vector<std::vector<std::wstring>>& runs) const;

private:
    std::wstring m_directory;
};

struct DriverPackage;
// A driver package of its own (see MakeDriverPackage) installed into the
// sandbox by a quiet run, with the log of that run removed: the starting
// point of the tests that need a device present.
DriverPackage InstalledPackage(const PinwheelSandbox& sandbox, const std::wstring& stem);

// The folder that holds the test executables and the programs under test.
std::wstring BuildDirectory();
