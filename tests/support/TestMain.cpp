// Entry point of every test program: the framework's module handles point
// at the test program (its resources), then the tests run.
#include "WinApp.h"
#include "gtest/gtest.h"

int main(int argc, char** argv)
{
    char empty[] = "";
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, empty, SW_SHOWNORMAL);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
