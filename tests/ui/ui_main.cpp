// Entry of the UI test driver: GoogleTest, plus one idle window of the driver's own for the whole run.
#include "ui_driver.h"

#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND idle = ui::createIdleWindow(L"KestruneUiDriverIdle");
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    DestroyWindow(idle);
    CoUninitialize();
    return result;
}
