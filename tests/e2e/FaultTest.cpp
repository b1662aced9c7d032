// The program under faults from outside: folders that are gone or cannot be
// written, a disk that fills up, a platform that cannot record, a sound
// server that dies, a version service that hangs, a second copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/StatusText.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"

namespace {

using FaultTest = EndToEndTest;

// Wine takes the `dll` of the program copied to `copy` as `how` (none: as it is).
void TellWine(const std::wstring& copy, const wchar_t* dll, const wchar_t* how) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + copy.substr(copy.rfind(L'\\') + 1) + L"\\DllOverrides";
  const DWORD bytes = static_cast<DWORD>((wcslen(how) + 1) * sizeof(wchar_t));
  ASSERT_TRUE(!dll || RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), dll, REG_SZ, how, bytes) == ERROR_SUCCESS);
}
void CopyProgram(const std::wstring& copy, const wchar_t* dll, const wchar_t* how) {
  ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), copy.c_str(), FALSE));
  TellWine(copy, dll, how);
}
void ForgetCopy(const wchar_t* name) {
  RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Wine\\AppDefaults\\") + name).c_str());
}

// A recording whose program is killed, so nothing stops it or finishes its
// file, is found at the next start: finished from its whole fragments (two
// seconds each) at once, the balloon says so with the file's real size, and
// FFmpeg reads a normal MP4 with every frame of those fragments.
TEST_F(FaultTest, RecordingOfAKilledProgramIsRecovered) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(Start());
  SetFolder(main_, dir.path());
  // A small region: the stand-in's frames are raw, and a slow disk would drop them.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  HWND overlay = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(overlay, nullptr);
  Sleep(200);
  Drag({100, 100}, {420, 340});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }));
  ASSERT_TRUE(StartRecording(main_));
  Sleep(5000);
  program_->Kill();
  const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  const WrittenRecording rec = ReadRecording(file);
  ASSERT_FALSE(rec.finalized) << Describe(rec);
  ASSERT_GE(rec.video.size(), 120u) << Describe(rec);
  EXPECT_EQ(TopBoxes(file), "type:'moof' parent:'root'\ntype:'moov' parent:'root'\n");

  ASSERT_NO_FATAL_FAILURE(Start());
  const std::wstring name = file.substr(file.find_last_of(L'\\') + 1) + L"\n";
  const std::wstring balloon = TextOf(WindowOfAnyProgram(L"tooltips_class32", name));
  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &info));
  const std::wstring size = SavedText(L"", 0, static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
  EXPECT_EQ(balloon.substr(std::min(balloon.size(), balloon.rfind(L", "))), size.substr(size.rfind(L", ")));
  EXPECT_EQ(TextOf(StatusLine(main_)), kStatusReady);
  EXPECT_EQ(TopBoxes(file), "type:'moov' parent:'root'\n");
  const std::string frames = OnHost("ffprobe -v error -select_streams v -count_packets -show_entries "
                                    "stream=nb_read_packets -of csv=p=0 " + HostPath(file));
  // A fragment is written when the frame after its 60th comes; a kill may
  // fall between the journal and that write.
  const unsigned long whole = (rec.video.size() - 1) / 60 * 60, read = std::strtoul(frames.c_str(), nullptr, 10);
  EXPECT_TRUE(read == whole || read + 60 == whole) << read << " frames read; " << Describe(rec);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// Output folders that cannot take a recording. A disk that fills up during
// one: it stops by itself within seconds and says why. That disk, a drive
// that cannot be written and a folder that leaves no room for a file name,
// before a start: nothing starts, no message box, and the status line says
// why. A folder deleted after it was chosen, with its parents: made again,
// every level, and the recording is made.
TEST_F(FaultTest, OutputFolderThatCannotTakeARecording) {
  ASSERT_TRUE(FileExists(L"T:\\")) << "the small drive of the test session";
  TempDir journals, dir;
  // The stand-in grows the file as an encoder would, a tenth of each raw
  // frame (300 KB here), so the 20 MiB drive is full within seconds.
  ScopedEnvironment env({{L"QM_STANDIN_OUTPUT_SHARE", L"10"}, {L"QM_STANDIN_JOURNAL_DIR", journals.path()}});
  ASSERT_NO_FATAL_FAILURE(Start());
  auto newest = [&](const std::wstring& folder) {
    const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
    return ReadRecording(journals.File(file.substr(file.find_last_of(L'\\') + 1)));
  };
  SetFolder(main_, L"T:\\recordings");
  ASSERT_TRUE(StartRecording(main_));
  EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), ProblemText(RecorderProblem::OutputRefused), 20000))
      << Narrow(TextOf(StatusLine(main_)));
  const WrittenRecording full = newest(L"T:\\recordings");
  ASSERT_FALSE(full.journal.empty());
  int failed = 0;
  for (const StandInCall& call : full.journal) failed += call.step == StandInStep::WriteSample && FAILED(call.result);
  EXPECT_GT(failed, 10) << Describe(full);
  EXPECT_EQ(full.journal.back().step, StandInStep::Finalize);  // finished as Stop finishes it

  const struct {
    std::wstring folder;
    const wchar_t* why;
  } refused[] = {{L"T:\\recordings", kStatusDiskFull},
                 {L"R:\\recordings", kStatusFolderNotWritable},
                 {L"C:\\" + std::wstring(230, L'f'), kStatusFolderTooLong}};
  for (const auto& c : refused) {
    SCOPED_TRACE(Narrow(c.folder));
    const int files = CountMatching(c.folder, L"Quillomat_*");
    SetFolder(main_, c.folder);
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), c.why)) << Narrow(TextOf(StatusLine(main_)));
    EXPECT_EQ(program_->FindWindowOfClass(L"#32770", 0), nullptr);
    EXPECT_EQ(CountMatching(c.folder, L"Quillomat_*"), files);
  }
  DeleteMatching(L"T:\\recordings", L"Quillomat_*");

  const std::wstring gone = dir.File(L"gone\\inner\\most");
  RecordInto(main_, gone, 800);
  const WrittenRecording rec = newest(gone);
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_GE(rec.video.size(), 15u);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// A platform that cannot make or finish a recording: no Media Foundation (as
// on the "N" editions), Wine's own writer, which cannot encode (each for a
// copy, as Wine is told), a Finalize that fails. The status line says why; a
// failed start leaves no file. DLLs of system names planted beside the copies
// and in the folder they start in, which Wine is told to prefer to its own as
// Windows would, are never loaded (they would leave their mark, and fail the
// start or the update check that loads a library of that name).
TEST_F(FaultTest, PlatformThatCannotRecordSaysSo) {
  TempDir copies, current;
  const struct {
    const wchar_t *program, *dll, *how;  // Wine takes the copy's `dll` as `how`
    const wchar_t* fail;                 // the stand-in's QM_STANDIN_FAIL
    RecorderProblem problem;
  } cases[] = {
      {L"QuillomatNoMF.exe", L"mfplat", L"disabled", L"", RecorderProblem::NoMediaFoundation},
      {L"QuillomatWW.exe", L"mfreadwrite", L"builtin", L"", RecorderProblem::CannotEncode},
      // Half a second, less than a fragment: the file holds nothing.
      {L"Quillomat.exe", nullptr, L"", L"Finalize", RecorderProblem::NothingWritten},
  };
  // Not crypt32 and bcrypt: Wine's own winhttp loads them (at the update
  // check) by a search that still holds the program's folder.
  const wchar_t* const planted[] = {L"mfplat", L"version", L"winhttp", L"wintrust"};
  for (const auto& c : cases) {
    for (const wchar_t* dll : planted) ASSERT_NO_FATAL_FAILURE(TellWine(c.program, dll, L"n,b"));
    ASSERT_NO_FATAL_FAILURE(CopyProgram(copies.File(c.program), c.dll, c.how));
  }
  const std::wstring plant = FromEnvironment(L"QM_PLANTED_DLL");
  for (const TempDir* dir : {&copies, &current}) {
    for (const wchar_t* dll : planted) ASSERT_TRUE(CopyFileW(plant.c_str(), dir->File(dll + std::wstring(L".dll")).c_str(), FALSE));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.program) + " " + Narrow(c.fail));
    const bool starts = c.fail[0] != L'\0';
    ScopedEnvironment env({{L"QM_STANDIN_FAIL", c.fail}});
    TempDir dir;
    const size_t asked = VersionServiceRequests().size();
    ASSERT_NO_FATAL_FAILURE(Start(copies.File(c.program), current.path()));
    // The update check: its request went out.
    EXPECT_TRUE(WaitFor([&] { return VersionServiceRequests().find("/api/version/", asked) != std::string::npos; }));
    SetFolder(main_, dir.path());
    if (starts) {
      ASSERT_TRUE(StartRecording(main_));
      Sleep(500);
    }
    ClickOn(GetDlgItem(main_, IDC_RECORD));
    EXPECT_TRUE(WaitForTextEqual(StatusLine(main_), ProblemText(c.problem))) << Narrow(TextOf(StatusLine(main_)));
    // A file that could not be finished is not said to be saved.
    const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
    EXPECT_TRUE(!starts || !WindowOfAnyProgram(L"tooltips_class32", file.substr(file.find_last_of(L'\\') + 1), 3000));
    EXPECT_TRUE(CloseNormally(main_, *program_));
    // Counted once the program has ended: Wine's own writer keeps the file it
    // made open until then, and the deleted file goes with the last handle.
    EXPECT_EQ(CountMatching(dir.path(), L"Quillomat_*.mp4"), starts ? 1 : 0);
  }
  EXPECT_EQ(CountMatching(copies.path(), L"*.loaded") + CountMatching(current.path(), L"*.loaded"), 0);
  for (const auto& c : cases) ForgetCopy(c.program);
}

// An explorer.exe beside a portable copy and in the folder it starts in
// never runs: "Open Recordings Folder" and the balloon's click start
// Windows' own.
TEST_F(FaultTest, PlantedExplorerNeverRuns) {
  TempDir copies, current, out;
  ASSERT_NO_FATAL_FAILURE(CopyProgram(copies.File(L"Quillomat.exe"), nullptr, L""));
  for (const TempDir* dir : {&copies, &current}) {
    ASSERT_TRUE(CopyFileW(FromEnvironment(L"QM_FAKE_INSTALLER").c_str(), dir->File(L"explorer.exe").c_str(), FALSE));
  }
  DeleteFileW(InstallerRanMark().c_str());
  ASSERT_NO_FATAL_FAILURE(Start(copies.File(L"Quillomat.exe"), current.path()));
  SetFolder(main_, out.path());
  PostMessageW(main_, WM_COMMAND, IDM_OPEN_FOLDER, 0);
  HWND explorer = WindowOfAnyProgram(L"ExplorerWClass", out.path().substr(out.path().find_last_of(L'\\') + 1));
  EXPECT_TRUE(explorer && CloseAndWait(explorer));
  EXPECT_FALSE(FileExists(InstallerRanMark()));
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// No sound devices at all (the audio service not there, as Wine is told for
// this copy): the microphone and the computer's sound asked for, the
// recording is made without sound, and the status line says so all the while.
TEST_F(FaultTest, ComputerSoundThatCannotBeHadIsSaid) {
  TempDir copies, dir;
  const std::wstring copy = copies.File(L"QuillomatNoSound.exe");
  ASSERT_NO_FATAL_FAILURE(CopyProgram(copy, L"mmdevapi", L"disabled"));
  ASSERT_NO_FATAL_FAILURE(Start(copy));
  SetFolder(main_, dir.path());
  PostMessageW(main_, WM_COMMAND, IDM_COMPUTER_SOUND, 0);
  ClickOn(GetDlgItem(main_, IDC_RECORD));
  auto saysSo = [](const std::wstring& text) {
    return IsRecordingStatus(text, std::wstring(kStatusNoMicrophone) + kStatusNoComputerSound);
  };
  EXPECT_TRUE(WaitForText(StatusLine(main_), saysSo)) << Narrow(TextOf(StatusLine(main_)));
  Sleep(1500);  // and still, as the duration goes on
  EXPECT_TRUE(saysSo(TextOf(StatusLine(main_)))) << Narrow(TextOf(StatusLine(main_)));
  EXPECT_TRUE(StopRecording(main_));
  const WrittenRecording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_GT(rec.video.size(), 20u);
  EXPECT_TRUE(rec.audio.empty());
  EXPECT_TRUE(CloseNormally(main_, *program_));
  ForgetCopy(L"QuillomatNoSound.exe");
}

// The version service hangs: the program starts, records and ends as
// always, and says nothing.
TEST_F(FaultTest, VersionServiceHanging) {
  const std::wstring hang = VersionServiceDir() + L"\\hang";
  ASSERT_TRUE(WriteFileBytes(hang, ""));
  TempDir dir;
  Start();  // not asserted: the service must not hang after this test
  if (main_) {
    EXPECT_TRUE(RecordInto(main_, dir.path(), 700).finalized);
    EXPECT_EQ(program_->FindWindowOfClass(L"#32770", 0), nullptr);
    PostMessageW(main_, WM_CLOSE, 0, 0);
    // A check still waiting for its answer does not hold the exit up.
    EXPECT_EQ(program_->WaitForExit(5000), 0u);
  }
  DeleteFileW(hang.c_str());
}

// Around a recording, a second copy of the program started: the recording
// is not held up, and it goes on to the end.
TEST_F(FaultTest, RecordingGoesOnThroughASecondCopy) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(Start());
  SetFolder(main_, dir.path());
  ASSERT_TRUE(StartRecording(main_));
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
    EXPECT_EQ(second.FindWindowOfClass(L"QUILLOMAT", 0), nullptr);
    ClickOn(GetDlgItem(box, IDOK));
    EXPECT_EQ(second.WaitForExit(), 0u);
  }
  Sleep(800);
  EXPECT_TRUE(IsRecordingStatus(TextOf(StatusLine(main_))));
  Sleep(2000);
  ClickOn(GetDlgItem(main_, IDC_RECORD));
  ASSERT_TRUE(WaitForTextEqual(StatusLine(main_), kStatusReady, 15000)) << Narrow(TextOf(StatusLine(main_)));

  const WrittenRecording rec = ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4"));
  EXPECT_TRUE(rec.finalized) << Describe(rec);
  ASSERT_FALSE(rec.video.empty());
  EXPECT_GT(rec.video.back().time / 10000, 3500);
  LONGLONG step = 0;  // the largest between frames
  for (size_t i = 1; i < rec.video.size(); ++i) step = std::max(step, rec.video[i].time - rec.video[i - 1].time);
  EXPECT_LT(step / 10000, 200) << "the recording was held up";
  // The second copy made no recording of its own.
  EXPECT_EQ(CountMatching(dir.path(), L"Quillomat_*.mp4.standin.log"), 1);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace
