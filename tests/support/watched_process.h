// Runs a Windows program and answers its message boxes the way a user would:
// every box of class #32770 that the program shows is recorded (caption and
// text) and its OK button pressed.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct Box {
    std::wstring caption;
    std::wstring text;
};

struct WatchedRun {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string out;  // standard output bytes, when captured
    std::string err;  // standard error bytes, when captured
    std::vector<Box> boxes;
    // Top-level windows of the program, other than its boxes, that were
    // seen visible at any moment of the run.
    int visibleWindows = 0;
};

struct WatchOptions {
    std::wstring directory;     // current directory; empty: inherited
    bool captureOutput = true;  // else the program shares our handles
    DWORD timeoutMs = 120000;
    std::function<void(const Box&)> onBox;
    // False: boxes are recorded but left for nobody to answer, as in a
    // silent install, so a run that shows one does not end by itself.
    bool answerBoxes = true;
    // The window station and desktop to start on ("station\\desktop");
    // empty: ours.
    std::wstring desktop;
    std::wstring environment;  // extra NAME=value lines, '\n'-separated
};

// Quotes one argument so that the C runtime splits it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

WatchedRun RunWatched(const std::wstring& program, const std::vector<std::wstring>& arguments,
                      const WatchOptions& options = WatchOptions());

// Runs the program once per argument list, all started suspended and let go
// at the same moment, answering every box of every run until all have ended
// (or the timeout, counted for the whole group, has passed).
std::vector<WatchedRun> RunWatchedTogether(const std::wstring& program,
                                           const std::vector<std::vector<std::wstring>>& runs,
                                           const WatchOptions& options = WatchOptions());
