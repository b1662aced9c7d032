// The program under faults from outside: folders that are gone or cannot be
// written, a disk that fills up, a sound server that dies, a version
// service that hangs or talks nonsense, a second copy, a killed first one.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"

namespace {

using FaultTest = EndToEndTest;

// The largest step between consecutive frame times, in milliseconds.
int64_t LargestFrameStep(const Recording& rec) {
  int64_t largest = 0;
  for (size_t i = 1; i < rec.video.size(); ++i) {
    largest = (std::max)(largest, (rec.video[i].time - rec.video[i - 1].time) / 10000);
  }
  return largest;
}

TEST_F(FaultTest, OutputFolderGoneOrUnwritableBeforeAStart) {
  ASSERT_NO_FATAL_FAILURE(Start());

  // Deleted after it was chosen: made again, and the recording is made.
  std::wstring removed;
  {
    TempDir dir;
    removed = dir.path();
  }
  ASSERT_FALSE(FileExists(removed));
  const Recording rec = RecordInto(main_, removed, 700);
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  DeleteMatching(removed, L"Quillomat_*");
  RemoveDirectoryW(removed.c_str());

  // A folder inside a deleted one, and a folder on a drive that cannot be
  // written: nothing starts, no message, and the display stays idle.
  for (const std::wstring& folder : {removed + L"\\inner", std::wstring(L"R:\\recordings")}) {
    SCOPED_TRACE(Narrow(folder));
    SetFolder(main_, folder);
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    Sleep(800);
    EXPECT_EQ(TextOf(StatusLine(main_)), kStatusReady);
    EXPECT_EQ(FindVisibleWindow(program_->id(), L"#32770"), nullptr);
    EXPECT_TRUE(NewestFile(folder, L"Quillomat_*").empty());
  }
  EXPECT_FALSE(FileExists(removed));

  // And a good folder works right after.
  TempDir good;
  EXPECT_TRUE(RecordInto(main_, good.path(), 700).finalized);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

TEST_F(FaultTest, DiskFillingUpDuringARecording) {
  ASSERT_TRUE(FileExists(L"T:\\")) << "the tiny drive of the test session";
  TempDir journals;
  // The stand-in grows the file as an encoder would (a 1080p frame adds
  // 40 KB), so the 1 MiB drive is full within a second.
  ScopedEnvironment env({{L"QM_STANDIN_OUTPUT_SHARE", L"200"}, {L"QM_STANDIN_JOURNAL_DIR", journals.path()}});
  ASSERT_NO_FATAL_FAILURE(Start());
  RecordInto(main_, L"T:\\recordings", 2500);
  const std::wstring file = NewestFile(L"T:\\recordings", L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const Recording full = ReadRecording(journals.File(file.substr(file.find_last_of(L'\\') + 1) + L".standin.log"));
  ASSERT_FALSE(full.journal.empty());
  int refused = 0;
  for (const StandInCall& call : full.journal) refused += call.step == StandInStep::WriteSample && FAILED(call.result);
  EXPECT_GT(refused, 10) << Describe(full);
  EXPECT_EQ(full.journal.back().step, StandInStep::Finalize);  // ended the usual way
  DeleteMatching(L"T:\\recordings", L"Quillomat_*");

  // Still running, and the next recording into a folder with room works.
  EXPECT_EQ(WaitForSingleObject(program_->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TempDir good;
  RecordInto(main_, good.path(), 800);
  const std::wstring next = NewestFile(good.path(), L"Quillomat_*.mp4");
  const Recording rec = ReadRecording(journals.File(next.substr(next.find_last_of(L'\\') + 1) + L".standin.log"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_GE(rec.video.size(), 15u);
  EXPECT_TRUE(CloseNormally(main_, *program_));
  DeleteMatching(journals.path(), L"*");
}

TEST_F(FaultTest, SoundServerKilledDuringARecording) {
  // Unix paths: the shell gets them as they are.
  const std::wstring script = FromEnvironment(L"QM_SOURCE_DIR") + L"/tools/sound-server.sh";
  const std::wstring serverDir = FromEnvironment(L"QM_SOUND_SERVER_DIR");
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(StartRecordingInto(dir.path()));
  Sleep(2000);
  EXPECT_EQ(RunShell(L"sh " + script + L" stop " + serverDir), 0u);
  Sleep(2000);
  ClickOn(GetDlgItem(main_, IDC_RECORD));
  const bool stopped = WaitForTextEqual(StatusLine(main_), kStatusReady, 15000);
  // The other tests want their sound server back.
  EXPECT_EQ(RunShell(L"sh " + script + L" start " + serverDir), 0u);
  ASSERT_TRUE(stopped) << Narrow(TextOf(StatusLine(main_)));

  const Recording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  // The video went on through the loss of the sound, to the end.
  ASSERT_FALSE(rec.video.empty());
  EXPECT_GT(rec.video.back().time / 10000, 3500);
  EXPECT_LT(LargestFrameStep(rec), 200);
  EXPECT_FALSE(rec.audio.empty());
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// The version service hangs, or answers with something that is not the
// answer: the program starts, records and ends as always, and says nothing.
TEST_F(FaultTest, VersionServiceHangingOrTalkingNonsense) {
  const std::string answers[] = {"", "\x89PNG\r\n\x1a\n\xff\xfe garbage", "{\"available\":true,\"version\":"};
  const std::wstring hang = VersionServiceDir() + L"\\hang";
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i == 3 ? std::string("hanging") : "answer " + std::to_string(i));
    if (i < 3) SetVersionAnswer(answers[i]);
    else ASSERT_TRUE(WriteFileBytes(hang, ""));
    TempDir dir;
    Program program;
    HWND main = StartAndFindMain(program);
    EXPECT_NE(main, nullptr);
    if (main) {
      EXPECT_TRUE(RecordInto(main, dir.path(), 700).finalized);
      EXPECT_EQ(FindVisibleWindow(program.id(), L"#32770"), nullptr);
      PostMessageW(main, WM_CLOSE, 0, 0);
      // A check still waiting for its answer does not hold the exit up.
      EXPECT_EQ(program.WaitForExit(5000), 0u);
    }
  }
  DeleteFileW(hang.c_str());
  ClearVersionAnswer();
}

TEST_F(FaultTest, SecondCopyStartedDuringARecording) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(StartRecordingInto(dir.path()));
  Sleep(500);
  PostMessageW(main_, WM_COMMAND, IDM_TRAY_HIDE, 0);  // away in the notification area
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); }));
  {
    Program second;
    HWND box = second.FindWindowOfClass(L"#32770");  // "Quillomat is already running."
    ASSERT_NE(box, nullptr);
    // The first copy, found by the name "Quillomat" though titled "quillomat",
    // is brought back; the second makes no window of its own.
    EXPECT_TRUE(IsWindowVisible(main_));
    EXPECT_EQ(FindVisibleWindow(second.id(), L"QUILLOMAT"), nullptr);
    ClickOn(GetDlgItem(box, IDOK));
    EXPECT_EQ(second.WaitForExit(), 0u);
  }
  Sleep(800);
  EXPECT_TRUE(IsRecordingStatus(TextOf(StatusLine(main_))));
  ASSERT_TRUE(StopRecording(main_));
  const Recording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_LT(LargestFrameStep(rec), 200) << "the recording was not held up";
  // The second copy made no recording of its own.
  EXPECT_EQ(CountMatching(dir.path(), L"Quillomat_*.mp4.standin.log"), 1);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

TEST_F(FaultTest, KilledDuringARecordingThenStartedAgain) {
  TempDir dir, again;
  ASSERT_NO_FATAL_FAILURE(StartRecordingInto(dir.path()));
  Sleep(800);
  program_->Kill();
  // The next start is an ordinary one: no "already running", idle, records.
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(FindVisibleWindow(program_->id(), L"#32770"), nullptr);
  EXPECT_EQ(TextOf(StatusLine(main_)), kStatusReady);
  EXPECT_TRUE(RecordInto(main_, again.path(), 700).finalized);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace
