// A test of the utility's tray frame, made on this thread as the program
// makes it; the frame, what is left in the queue and the settings go at the
// end.
#pragma once
#include <shlwapi.h>

#include "LEDUtilityApp.h"
#include "LedTestSupport.h"
#include "MainFrame.h"
#include "gtest/gtest.h"
#include "resource.h"

extern CLEDUtilityApp theApp;

namespace led {

class FrameTest : public ::testing::Test {
protected:
    void CreateFrame()
    {
        theApp.SetRegistryKey("KANDELO");
        m_pFrame = static_cast<CMainFrame*>(RUNTIME_CLASS(CMainFrame)->CreateObject());
        ASSERT_TRUE(m_pFrame->LoadFrame(IDR_FRAME, 0x00CF8000));
        m_hWnd = m_pFrame->m_hWnd;
    }
    void TearDown() override
    {
        if (m_hWnd && IsWindow(m_hWnd))
            m_pFrame->DestroyWindow();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        SHDeleteKeyA(HKEY_CURRENT_USER, SettingsKey().c_str());
    }

    CMainFrame* m_pFrame = nullptr;
    HWND m_hWnd = nullptr;
};

}  // namespace led
