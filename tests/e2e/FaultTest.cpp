// The program under faults from outside: folders that are gone or cannot be
// written, a disk that fills up, a sound server that dies, a version
// service that hangs, a second copy.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/StatusText.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"

namespace {

using FaultTest = EndToEndTest;

// A copy of the program whose `dll` Wine takes as `how` (none: as it is).
void CopyProgram(const std::wstring& copy, const wchar_t* dll = nullptr, const wchar_t* how = L"") {
  ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), copy.c_str(), FALSE));
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + copy.substr(copy.find_last_of(L'\\') + 1);
  if (dll) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), dll, REG_SZ, how,
                              static_cast<DWORD>((wcslen(how) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
}
void ForgetCopy(const wchar_t* name) {
  RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Wine\\AppDefaults\\") + name).c_str());
}

// The largest step between consecutive frame times, in milliseconds.
int64_t LargestFrameStep(const WrittenRecording& rec) {
  int64_t largest = 0;
  for (size_t i = 1; i < rec.video.size(); ++i) {
    largest = (std::max)(largest, (rec.video[i].time - rec.video[i - 1].time) / 10000);
  }
  return largest;
}

TEST_F(FaultTest, OutputFolderGoneOrUnwritableBeforeAStart) {
  ASSERT_NO_FATAL_FAILURE(Start());

  // Deleted after it was chosen, with its parent: made again, every level,
  // and the recording is made.
  std::wstring removed;
  {
    TempDir dir;
    removed = dir.path();
  }
  ASSERT_FALSE(FileExists(removed));
  const std::wstring inner = removed + L"\\inner\\most";
  const WrittenRecording rec = RecordInto(main_, inner, 700);
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  DeleteMatching(inner, L"Quillomat_*");
  RemoveDirectoryW(inner.c_str());
  RemoveDirectoryW((removed + L"\\inner").c_str());
  RemoveDirectoryW(removed.c_str());

  // A drive that cannot be written, and a folder that leaves no room for a
  // file name: nothing starts, no message box, and the status line says why.
  const struct {
    std::wstring folder;
    const wchar_t* why;
  } refused[] = {{L"R:\\recordings", kStatusFolderNotWritable},
                 {L"C:\\" + std::wstring(230, L'f'), kStatusFolderTooLong}};
  for (const auto& c : refused) {
    SCOPED_TRACE(Narrow(c.folder));
    SetFolder(main_, c.folder);
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), c.why)) << Narrow(TextOf(StatusLine(main_)));
    EXPECT_EQ(FindVisibleWindow(program_->id(), L"#32770"), nullptr);
    EXPECT_TRUE(NewestFile(c.folder, L"Quillomat_*").empty());
  }

  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// The disk fills up: the recording stops by itself within seconds and says
// why; the full drive is then refused before a start; another drive works.
TEST_F(FaultTest, DiskFillingUpDuringARecording) {
  ASSERT_TRUE(FileExists(L"T:\\")) << "the small drive of the test session";
  TempDir journals;
  // The stand-in grows the file as an encoder would, a tenth of each raw
  // frame (300 KB here), so the 20 MiB drive is full within seconds.
  ScopedEnvironment env({{L"QM_STANDIN_OUTPUT_SHARE", L"10"}, {L"QM_STANDIN_JOURNAL_DIR", journals.path()}});
  ASSERT_NO_FATAL_FAILURE(Start());
  SetFolder(main_, L"T:\\recordings");
  ASSERT_TRUE(StartRecording(main_));
  EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), ProblemText(RecorderProblem::OutputRefused), 20000))
      << Narrow(TextOf(StatusLine(main_)));
  const std::wstring file = NewestFile(L"T:\\recordings", L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const WrittenRecording full = ReadRecording(journals.File(file.substr(file.find_last_of(L'\\') + 1) + L".standin.log"));
  ASSERT_FALSE(full.journal.empty());
  int refused = 0;
  for (const StandInCall& call : full.journal) refused += call.step == StandInStep::WriteSample && FAILED(call.result);
  EXPECT_GT(refused, 10) << Describe(full);
  EXPECT_EQ(full.journal.back().step, StandInStep::Finalize);  // finished as Stop finishes it

  // Full: refused before a start, and no file is made.
  const int files = CountMatching(L"T:\\recordings", L"Quillomat_*");
  ClickOn(GetDlgItem(main_, IDC_RECORD));
  EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), kStatusDiskFull)) << Narrow(TextOf(StatusLine(main_)));
  EXPECT_EQ(CountMatching(L"T:\\recordings", L"Quillomat_*"), files);
  DeleteMatching(L"T:\\recordings", L"Quillomat_*");

  // The next recording into a folder with room works.
  TempDir good;
  RecordInto(main_, good.path(), 800);
  const std::wstring next = NewestFile(good.path(), L"Quillomat_*.mp4");
  const WrittenRecording rec = ReadRecording(journals.File(next.substr(next.find_last_of(L'\\') + 1) + L".standin.log"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_GE(rec.video.size(), 15u);
  EXPECT_TRUE(CloseNormally(main_, *program_));
  DeleteMatching(journals.path(), L"*");
}

// A platform that cannot make or finish a recording: no Media Foundation (as
// on the "N" editions), Wine's own writer, which cannot encode (each for a
// copy, as Wine is told), a Finalize that fails. The status line says why; a
// failed start leaves no file. An mfplat.dll planted beside the copies and in
// the folder they start in is never loaded (it would leave its mark).
TEST_F(FaultTest, PlatformThatCannotRecordSaysSo) {
  TempDir copies, current;
  const wchar_t* const overrides[][3] = {{L"QuillomatNoMF.exe", L"mfplat", L"disabled"},
                                         {L"QuillomatWW.exe", L"mfreadwrite", L"builtin"},
                                         {L"Quillomat.exe", nullptr, L""}};
  for (const auto& o : overrides) ASSERT_NO_FATAL_FAILURE(CopyProgram(copies.File(o[0]), o[1], o[2]));
  for (const TempDir* dir : {&copies, &current}) {
    ASSERT_TRUE(CopyFileW(FromEnvironment(L"QM_PLANTED_DLL").c_str(), dir->File(L"mfplat.dll").c_str(), FALSE));
  }
  const struct {
    const wchar_t* program;
    const wchar_t* fail;  // the stand-in's QM_STANDIN_FAIL
    RecorderProblem problem;
  } cases[] = {
      {L"QuillomatNoMF.exe", L"", RecorderProblem::NoMediaFoundation},
      {L"QuillomatWW.exe", L"", RecorderProblem::CannotEncode},
      {L"Quillomat.exe", L"Finalize", RecorderProblem::FinalizeFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.program) + " " + Narrow(c.fail));
    const bool starts = c.fail[0] != L'\0';
    ScopedEnvironment env({{L"QM_STANDIN_FAIL", c.fail}});
    TempDir dir;
    Program program(copies.File(c.program), current.path());
    HWND main = StartAndFindMain(program);
    ASSERT_NE(main, nullptr);
    SetFolder(main, dir.path());
    if (starts) {
      ASSERT_TRUE(StartRecording(main));
      Sleep(500);
    }
    ClickOn(GetDlgItem(main, IDC_RECORD));
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main), ProblemText(c.problem))) << Narrow(TextOf(StatusLine(main)));
    // A file that could not be finished is not said to be saved.
    const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
    EXPECT_TRUE(!starts || !WindowOfAnyProgram(L"tooltips_class32", file.substr(file.find_last_of(L'\\') + 1), 3000));
    EXPECT_TRUE(CloseNormally(main, program));
    // Counted once the program has ended: Wine's own writer keeps the file it
    // made open until then, and the deleted file goes with the last handle.
    EXPECT_EQ(CountMatching(dir.path(), L"Quillomat_*.mp4"), starts ? 1 : 0);
  }
  EXPECT_EQ(CountMatching(copies.path(), L"*.loaded") + CountMatching(current.path(), L"*.loaded"), 0);
  for (const auto& o : overrides) ForgetCopy(o[0]);
}

// Windows ending the session during a recording: asked first, the program
// asks it to wait; told that the session ends all the same, it finishes the
// file before it goes.
TEST_F(FaultTest, SessionEndingDuringARecording) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(StartRecordingInto(dir.path()));
  Sleep(700);
  DWORD_PTR answer = 1;
  ASSERT_TRUE(SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(answer, 0u);
  ASSERT_TRUE(SendMessageTimeoutW(main_, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &answer));
  EXPECT_TRUE(ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")).finalized);
  // Nothing left to wait for.
  ASSERT_TRUE(SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(answer, 1u);
  program_->Kill();  // as the end of the session would
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

  const WrittenRecording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  // The video went on through the loss of the sound, to the end, and so did
  // the sound, as silence.
  ASSERT_FALSE(rec.video.empty());
  EXPECT_GT(rec.video.back().time / 10000, 3500);
  EXPECT_LT(LargestFrameStep(rec), 200);
  ASSERT_FALSE(rec.audio.empty());
  EXPECT_GT((rec.audio.back().time + rec.audio.back().duration) / 10000, rec.video.back().time / 10000 - 1000);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// No sound devices at all (the audio service not there, as Wine is told for
// this copy): the computer's sound asked for, the recording is made without
// sound, and the status line says so all the while.
TEST_F(FaultTest, ComputerSoundThatCannotBeHadIsSaid) {
  TempDir copies, dir;
  const std::wstring copy = copies.File(L"QuillomatNoSound.exe");
  ASSERT_NO_FATAL_FAILURE(CopyProgram(copy, L"mmdevapi", L"disabled"));
  Program program(copy);
  HWND main = StartAndFindMain(program);
  ASSERT_NE(main, nullptr);
  SetFolder(main, dir.path());
  PostMessageW(main, WM_COMMAND, IDM_COMPUTER_SOUND, 0);
  ClickOn(GetDlgItem(main, IDC_RECORD));
  auto saysSo = [](const std::wstring& text) {  // "Recording: hh:mm:ss" and the word
    return text.size() > 19 && IsRecordingStatus(text.substr(0, 19)) && text.substr(19) == kStatusNoComputerSound;
  };
  EXPECT_TRUE(WaitForText(StatusLine(main), saysSo)) << Narrow(TextOf(StatusLine(main)));
  Sleep(1500);  // and still, as the duration goes on
  EXPECT_TRUE(saysSo(TextOf(StatusLine(main)))) << Narrow(TextOf(StatusLine(main)));
  EXPECT_TRUE(StopRecording(main));
  const WrittenRecording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_GT(rec.video.size(), 20u);
  EXPECT_TRUE(rec.audio.empty());
  EXPECT_TRUE(CloseNormally(main, program));
  ForgetCopy(L"QuillomatNoSound.exe");
}

// The version service hangs: the program starts, records and ends as
// always, and says nothing.
TEST_F(FaultTest, VersionServiceHanging) {
  const std::wstring hang = VersionServiceDir() + L"\\hang";
  ASSERT_TRUE(WriteFileBytes(hang, ""));
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
  DeleteFileW(hang.c_str());
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
  const WrittenRecording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_LT(LargestFrameStep(rec), 200) << "the recording was not held up";
  // The second copy made no recording of its own.
  EXPECT_EQ(CountMatching(dir.path(), L"Quillomat_*.mp4.standin.log"), 1);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace
