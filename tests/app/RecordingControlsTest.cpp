// Recording from the main window's buttons, through the writer stand-in.
#include "res/resource.h"
#include "tests/app/AppFixture.h"

#include <set>

namespace {

HBITMAP ImageOf(HWND button) { return reinterpret_cast<HBITMAP>(SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0)); }

std::wstring TrayDuration() {
  wchar_t text[64] = {};
  GetMenuStringW(g_mainWindow.tray->menu(), 3, text, 64, MF_BYPOSITION);
  return text;
}

size_t FilesIn(const std::wstring& folder, const wchar_t* pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  do ++count;
  while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

class RecordingControlsTest : public AppTest {
 protected:
  // Handles messages until the status line reads `text` (timer ticks come
  // late on a busy machine), for at most a few seconds.
  bool StatusBecomes(const std::wstring& text) {
    for (int i = 0; i < 100; ++i) {
      if (Text(Control(IDC_STATUS)) == text) return true;
      PumpMessages(50);
    }
    return false;
  }

  void ExpectDisplay(RecorderState state, const std::wstring& status, const wchar_t* tip) {
    const MainWindow& m = g_mainWindow;
    EXPECT_EQ(g_recorder->state.load(), state);
    EXPECT_EQ(Text(Control(IDC_STATUS)), status);
    if (m.tray->added()) {
      EXPECT_STREQ(m.tray->tip(), tip);
    }
    const bool idle = state == RecorderState::Idle;
    EXPECT_EQ(ImageOf(Control(IDC_RECORD)), m.pictures[idle ? kPictureRecord : kPictureStop].get());
    const ButtonPicture pause = idle ? kPicturePauseDimmed
                                     : state == RecorderState::Paused ? kPictureResume : kPicturePause;
    EXPECT_EQ(ImageOf(Control(IDC_PAUSE)), m.pictures[pause].get());
    EXPECT_EQ(IsWindowEnabled(Control(IDC_BROWSE)) != FALSE, idle);
    EXPECT_EQ(IsWindowEnabled(Control(IDC_FOLDER)) != FALSE, idle);
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_MICROPHONE)));
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_PAUSE)));
  }
};

TEST_F(RecordingControlsTest, RecordPauseResumeStop) {
  ASSERT_TRUE(g_mainWindow.tray);
  EXPECT_TRUE(g_mainWindow.tray->added());  // so the tips below are really checked
  ExpectDisplay(RecorderState::Idle, L"Ready to Record", L"Quillomat - Ready");
  Command(IDC_PAUSE);  // idle: nothing
  ExpectDisplay(RecorderState::Idle, L"Ready to Record", L"Quillomat - Ready");

  Command(IDC_RECORD);
  ExpectDisplay(RecorderState::Recording, L"Recording: 00:00:00", L"Quillomat - Recording");
  EXPECT_TRUE(StatusBecomes(L"Recording: 00:00:02"));  // the duration timer ticks
  EXPECT_EQ(TrayDuration(), L"Duration: 00:00:02");

  // Full screen and region are ignored while recording; the microphone only
  // changes its picture and the next recording.
  g_mainWindow.captureRegion = CaptureRegion{10, 20, 300, 200};
  Command(IDC_FULLSCREEN);
  EXPECT_EQ(g_mainWindow.captureRegion.width, 300);
  EXPECT_TRUE(g_recorder->audioEnabled);  // the flag is on at start
  EXPECT_TRUE(g_mainWindow.audioFlag);
  Command(IDC_MICROPHONE);
  EXPECT_FALSE(g_mainWindow.audioFlag);
  EXPECT_EQ(ImageOf(Control(IDC_MICROPHONE)), g_mainWindow.pictures[kPictureMicOff].get());

  Command(IDC_PAUSE);
  const std::wstring frozen = Text(Control(IDC_STATUS));
  EXPECT_TRUE(frozen == L"Recording: 00:00:02" || frozen == L"Recording: 00:00:03") << frozen;
  ExpectDisplay(RecorderState::Paused, frozen, L"Quillomat - Paused");
  PumpMessages(1500);  // no timer while paused: frozen
  EXPECT_EQ(Text(Control(IDC_STATUS)), frozen);

  Command(IDC_PAUSE);
  ExpectDisplay(RecorderState::Recording, frozen, L"Quillomat - Recording");
  const std::wstring next = frozen == L"Recording: 00:00:02" ? L"Recording: 00:00:03" : L"Recording: 00:00:04";
  EXPECT_TRUE(StatusBecomes(next));

  Command(IDC_RECORD);
  ExpectDisplay(RecorderState::Idle, L"Ready to Record", L"Quillomat - Ready");
  // The tray keeps the last duration until the next recording's first tick.
  EXPECT_EQ(L"Recording: " + TrayDuration().substr(10), next);

  // One finished file in the folder, named from the local time.
  EXPECT_EQ(FilesIn(dir_.path(), L"Quillomat_????????_??????.mp4"), 1u);
  auto records = StandInRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->Calls(StandInStep::Finalize).size(), 1u);
  EXPECT_EQ(records[0]->Calls(StandInStep::AddStream).size(), 1u);

  // The next recording takes the whole screen region it was given and the
  // microphone flag as it stands now.
  Command(IDC_FULLSCREEN);
  EXPECT_EQ(g_mainWindow.captureRegion.width, GetSystemMetrics(SM_CXSCREEN));
  Command(IDC_RECORD);
  EXPECT_FALSE(g_recorder->audioEnabled);
  EXPECT_EQ(g_recorder->region.width, GetSystemMetrics(SM_CXSCREEN));
  Command(IDC_RECORD);
}

TEST_F(RecordingControlsTest, RecordingsStartedInTheSameSecondGetTheirOwnFiles) {
  for (int i = 0; i < 3; ++i) {
    Command(IDC_RECORD);
    Command(IDC_RECORD);
  }
  // Whatever the clock did, three files: nothing was overwritten.
  EXPECT_EQ(FilesIn(dir_.path(), L"Quillomat_*.mp4"), 3u);
  auto records = StandInRecords();
  ASSERT_EQ(records.size(), 3u);
  std::set<std::wstring> paths;
  for (auto& record : records) paths.insert(record->Calls(StandInStep::Create)[0].path);
  EXPECT_EQ(paths.size(), 3u);
}

TEST_F(RecordingControlsTest, RefusedStartLeavesEverythingIdle) {
  const std::wstring unreachable = dir_.File(L"no\\such\\folder");
  SetWindowTextW(Control(IDC_FOLDER), unreachable.c_str());
  Command(IDC_RECORD);
  ExpectDisplay(RecorderState::Idle, L"Ready to Record", L"Quillomat - Ready");
  EXPECT_FALSE(g_recorder->sinkWriter);
  // A folder one level deep is made when the recording starts.
  const std::wstring fresh = dir_.File(L"fresh");
  SetWindowTextW(Control(IDC_FOLDER), fresh.c_str());
  Command(IDC_RECORD);
  EXPECT_EQ(g_recorder->state.load(), RecorderState::Recording);
  Command(IDC_RECORD);
  EXPECT_EQ(FilesIn(fresh, L"Quillomat_*.mp4"), 1u);
  // Clean up what the test made inside its folder.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((fresh + L"\\*").c_str(), &found);
  do {
    DeleteFileW((fresh + L"\\" + found.cFileName).c_str());
  } while (search != INVALID_HANDLE_VALUE && FindNextFileW(search, &found));
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  RemoveDirectoryW(fresh.c_str());
}

// Every way out of the program during a recording finishes the file first,
// while the engine (and with it Media Foundation) still exists.
TEST_F(RecordingControlsTest, EndingTheProgramDuringARecordingFinishesTheFile) {
  for (int way = 0; way < 3; ++way) {
    if (way > 0) SetUp();
    static bool engineAliveAtFinalize;
    engineAliveAtFinalize = false;
    StandInOptions options;
    options.onCall = [](const StandInCall& call) {
      if (call.step == StandInStep::Finalize) engineAliveAtFinalize = g_recorder != nullptr;
    };
    StandInConfigure(options);
    Command(IDC_RECORD);
    PumpMessages(200);
    Command(IDC_PAUSE);
    switch (way) {
      case 0: Command(IDM_EXIT); break;
      case 1: Command(IDM_TRAY_EXIT); break;
      default: SendMessageW(main_, WM_CLOSE, 0, 0); break;
    }
    EXPECT_FALSE(IsWindow(main_)) << way;
    EXPECT_EQ(g_recorder, nullptr) << way;
    auto records = StandInRecords();
    ASSERT_EQ(records.size(), 1u) << way;
    EXPECT_EQ(records[0]->Calls(StandInStep::Finalize).size(), 1u) << way;
    EXPECT_TRUE(engineAliveAtFinalize) << way;
    EXPECT_TRUE(records[0]->released) << way;
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << way;
    EXPECT_EQ(quit.wParam, 0u);
    StandInReset();
  }
}

}  // namespace
