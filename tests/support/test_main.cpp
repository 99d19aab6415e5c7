// The main of the test programs: GoogleTest's, plus a check after every test
// that it left the setup tool's system-call table as it found it.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include "system_call_override.h"

namespace {

// A test that leaves a replacement in place would make every later test run
// against it: such a test fails, and the next one starts clean regardless.
class SystemCallsPutBack : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        const std::string leftovers = system_call_override::PutEverythingBack();
        if (!leftovers.empty()) {
            ADD_FAILURE() << "the test left system calls replaced: " << leftovers;
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // Plain line ends, so that the test list read by CTest's discovery has
    // no carriage return in any name.
    _setmode(_fileno(stdout), _O_BINARY);
    ::testing::InitGoogleTest(&argc, argv);
    // Appended after the result printer, so it runs before the printer
    // reports the test's end and a leftover shows as that test's failure.
    ::testing::UnitTest::GetInstance()->listeners().Append(new SystemCallsPutBack);
    return RUN_ALL_TESTS();
}
