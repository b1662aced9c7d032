#pragma once
// The application started in the test's own process, its engine writing into
// the in-process stand-in; each test gets a fresh main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "recorder/ScreenRecorder.h"
#include "tests/support/ScreenFixtures.h"
#include "ui/ButtonImage.h"

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    RegisterMainWindowClass(GetModuleHandleW(nullptr));
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_NE(g_recorder, nullptr);
    g_recorder->createSinkWriter = &CreateStandInSinkWriter;
    main_ = g_mainWindow.window;
    // Recordings go to a folder of the test's own.
    SetWindowTextW(g_mainWindow.folderField, dir_.path().c_str());
    PumpMessages(50);
  }

  void TearDown() override {
    if (g_mainWindow.window) DestroyWindow(g_mainWindow.window);
    MSG stray;
    PeekMessageW(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    StandInReset();
  }

  // After a main loop ended by a quit with the window still up: the window
  // goes, and with it the tray icon and the engine, the recording finished.
  void ExpectOrderedEndAfterTheLoop() {
    EXPECT_TRUE(IsWindow(main_));
    FinishMainWindow();
    EXPECT_FALSE(IsWindow(main_));
    EXPECT_EQ(g_mainWindow.tray, nullptr);
    EXPECT_EQ(g_recorder, nullptr);
    ASSERT_EQ(StandInRecords().size(), 1u);
    EXPECT_EQ(StandInRecords()[0]->Calls(StandInStep::Finalize).size(), 1u);
  }

  void Command(int id) { SendMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  std::wstring Text(HWND control) const {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    return text;
  }
  HWND Control(int id) const { return GetDlgItem(main_, id); }

  GdiplusSession gdiplus_;
  TempDir dir_;
  HWND main_ = nullptr;
};
