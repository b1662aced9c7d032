// One recording as a user makes it, start to end: a region dragged, then
// record, pause, resume and stop clicked with the real pointer; the frames and
// sound the program handed to the writer are read back and compared with what
// the screen and the sound server had.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/StatusText.h"
#include "common/Messages.h"
#include "region/RegionSelector.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "tests/e2e/EndToEnd.h"

namespace {

constexpr int kSceneX = 640, kSceneY = 420;
// Where the pointer rests on the scene (scene coordinates) while recording.
constexpr int kPointerX = 200, kPointerY = 120;

// The left sample of frame i of 16-bit stereo PCM.
int16_t Left(const std::string& pcm, size_t i) {
  int16_t sample;
  std::memcpy(&sample, pcm.data() + i * 4, 2);
  return sample;
}

// The strength of a tone of `hz` in the left channel of 16-bit stereo PCM,
// frames [from, to), as the amplitude of that component (Goertzel).
double ToneLevel(const std::string& pcm, size_t from, size_t to, double hz) {
  const double w = 2 * 3.14159265358979 * hz / 48000.0, k = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < to && (i + 1) * 4 <= pcm.size(); ++i) {
    const double s0 = Left(pcm, i) + k * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double n = static_cast<double>(to - from);
  return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / n;
}

// What a failure shows of 20 ms of sound from frame `at`: which source fell silent.
std::string Levels(const std::string& pcm, size_t at) {
  int peak = 0;
  for (size_t i = at; i < at + 960 && (i + 1) * 4 <= pcm.size(); ++i) {
    peak = std::max(peak, std::abs(int{Left(pcm, i)}));
  }
  return " " + std::to_string(ToneLevel(pcm, at, at + 960, 440)) + "/" +
         std::to_string(ToneLevel(pcm, at, at + 960, 1000)) + "/" + std::to_string(peak);
}

// A 1 kHz tone played into the default output (what the computer plays)
// while it is on, and never after the test.
struct ComputerTone {
  ~ComputerTone() { Set(false); }
  static void Set(bool on) {
    RunShell(L"export PULSE_SERVER=unix:" + FromEnvironment(L"QM_SOUND_SERVER_DIR") + L"/xdg/pulse/native; " +
             (on ? L"pactl load-module module-sine sink=speakers frequency=1000"
                 // This one only: the microphone's tone is a sine of the server's too.
                 : L"pactl list short modules | grep 'module-sine.*sink=speakers' | cut -f1 |"
                   L" xargs -r -n1 pactl unload-module"));
  }
};

// The sound follows the default devices while a recording runs: another
// output and another input chosen, then the sound service gone and back.
// Each tone is heard while its device is the default, silence while there
// is none, the status line says meanwhile which sources are missing, and
// the pictures are never held up.
// (The tests that use sound take turns: the server is this one's until it
// leaves it as it found it.)
TEST_F(EndToEndTest, SoundFollowsTheDefaultDevices) {
  const std::wstring server = FromEnvironment(L"QM_SOUND_SERVER_DIR");
  const std::wstring serve = L"unset PULSE_SERVER; sh " + FromEnvironment(L"QM_SOURCE_DIR") + L"/tools/sound-server.sh ";
  const std::wstring pulse = L"export PULSE_SERVER=unix:" + server + L"/xdg/pulse/native; pactl ";
  struct Restore {
    std::wstring command;
    ~Restore() { RunShell(command); }
  } restore{serve + L"start " + server};
  // 440 Hz is the server's microphone; 1 kHz plays on its speakers, 1.5 kHz
  // on headphones and 660 Hz into a headset's microphone.
  auto tones = [&] {
    return RunShell(pulse + L"load-module module-sine sink=speakers frequency=1000 && " + pulse +
                    L"load-module module-null-sink sink_name=phones && " + pulse +
                    L"load-module module-sine sink=phones frequency=1500 && " + pulse +
                    L"load-module module-null-sink sink_name=headset && " + pulse +
                    L"load-module module-sine sink=headset frequency=660") == 0;
  };
  ASSERT_TRUE(tones());
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  SetFolder(main_, dir.path());
  PostMessageW(main_, WM_COMMAND, IDM_COMPUTER_SOUND, 0);
  ASSERT_TRUE(StartRecording(main_));
  Sleep(4000);
  // The headset chosen, the speakers unplugged (the headphones are then the
  // default output).
  ASSERT_EQ(RunShell(pulse + L"set-default-source headset.monitor && " + pulse + L"set-default-sink phones && " + pulse +
                     L"list short modules | grep sink_name=speakers | cut -f1 | xargs -r -n1 pactl unload-module"),
            0u);
  Sleep(4000);
  RunShell(serve + L"stop " + server);
  EXPECT_TRUE(WaitForText(StatusLine(main_), [](const std::wstring& text) {
    return text.find(std::wstring(kStatusNoMicrophone) + kStatusNoComputerSound) != std::wstring::npos;
  }, 10000)) << Narrow(TextOf(StatusLine(main_)));
  Sleep(2000);
  ASSERT_EQ(RunShell(serve + L"start " + server), 0u);
  ASSERT_TRUE(tones());
  EXPECT_TRUE(WaitForText(StatusLine(main_), [](const std::wstring& text) {
    return text.find(L"missing") == std::wstring::npos;
  }, 10000)) << Narrow(TextOf(StatusLine(main_)));
  Sleep(4000);
  ASSERT_TRUE(StopRecording(main_));
  EXPECT_TRUE(CloseNormally(main_, *program_));

  const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  const WrittenRecording rec = ReadRecording(file);
  for (size_t i = 1; i < rec.video.size(); ++i) ASSERT_LT(rec.video[i].time - rec.video[i - 1].time, 2000000) << i;
  // Each 100 ms of the track by what is heard in it.
  const std::string pcm = OnHost("ffmpeg -v error -i " + HostPath(file) + " -map 0:a -f s16le -");
  std::string heard, runs;
  for (size_t at = 0; (at + 4800) * 4 <= pcm.size(); at += 4800) {
    auto on = [&](double hz) { return ToneLevel(pcm, at, at + 4800, hz) > 1500; };
    auto off = [&](double hz) { return ToneLevel(pcm, at, at + 4800, hz) < 300; };
    int peak = 0;
    for (size_t i = at; i < at + 4800; ++i) peak = std::max(peak, std::abs(static_cast<int>(Left(pcm, i))));
    // (Wine keeps one endpoint for "the default output" and says nothing
    // when it changes: the computer's sound after the switch is not checked.)
    const char label = on(440) && on(1000) && off(660) && off(1500) ? 'A'
                       : on(660) && off(440)                        ? 'B'
                       : peak < 300                                 ? '-'
                                                                    : '?';
    heard += label;
    // Runs of at least half a second, in order.
    if (heard.size() >= 5 && heard.compare(heard.size() - 5, 5, std::string(5, label)) == 0 && label != '?' &&
        (runs.empty() || runs.back() != label)) {
      runs += label;
    }
  }
  // Silence while the first packets are on their way, and perhaps while a
  // device is opened again.
  runs = runs.substr(std::min(runs.find('A'), runs.size()));
  EXPECT_TRUE(runs == "AB-A" || runs == "A-B-A") << runs << ": " << heard;
}

// What the frames of one recording show of the scene.
struct SceneReading {
  std::vector<uint32_t> clock;      // per frame
  int framesWithCursor = 0;         // differences only in the pointer's box
  int framesWrongOutsideCursor = 0; // differences anywhere else
};

SceneReading ReadScene(const std::wstring& rawPath, int width, int height, int originX, int originY, POINT pointer) {
  SceneReading reading;
  ForEachRawFrame(rawPath, width, height, [&](const std::vector<uint8_t>& frame) {
    auto pixel = [&](int x, int y) { return FramePixel(frame, width, height, originX + x, originY + y); };
    const uint32_t ms = LiveScene::ReadClock(pixel);
    reading.clock.push_back(ms);
    int inBox = 0, outside = 0;
    for (int y = LiveScene::kStripHeight; y < LiveScene::kHeight; ++y) {
      for (int x = 0; x < LiveScene::kWidth; ++x) {
        if (pixel(x, y) == LiveScene::PatternAt(x, y, ms)) continue;
        const bool box = x >= pointer.x - 2 && x < pointer.x + 34 && y >= pointer.y - 2 && y < pointer.y + 34;
        ++(box ? inBox : outside);
      }
    }
    if (outside > 0) ++reading.framesWrongOutsideCursor;
    else if (inBox > 0) ++reading.framesWithCursor;
  });
  return reading;
}

TEST_F(EndToEndTest, RecordPauseResumeStop) {
  LiveScene scene(kSceneX, kSceneY);
  ScopedEnvironment env({{L"QM_STANDIN_RAW", L"1"}});
  ASSERT_NO_FATAL_FAILURE(Start());
  HWND status = GetDlgItem(main_, IDC_STATUS);
  EXPECT_EQ(TextOf(status), kStatusReady);
  const std::wstring folder = TextOf(GetDlgItem(main_, IDC_FOLDER));  // the default folder
  ASSERT_FALSE(folder.empty());
  CleanUpAfter(folder, L"Quillomat_*");

  // The overlay comes up with the main window out of the way; Escape gives
  // up and brings the window back.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  HWND overlay = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(overlay, nullptr);
  EXPECT_FALSE(IsWindowVisible(main_));
  PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay) && IsWindowVisible(main_); }));
  // A drag from 20 pixels above and left of the scene to 21 pixels below and
  // right of it: 361 x 241, which the engine makes even.
  ClickOn(GetDlgItem(main_, IDC_REGION));
  overlay = program_->FindWindowOfClass(kRegionSelectorClass);
  ASSERT_NE(overlay, nullptr);
  Sleep(200);
  Drag({kSceneX - 20, kSceneY - 20}, {kSceneX + LiveScene::kWidth + 21, kSceneY + LiveScene::kHeight + 21});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(overlay); }));
  constexpr int kWidth = 360, kHeight = 240;

  ClickOn(GetDlgItem(main_, IDC_RECORD));
  ASSERT_TRUE(WaitForText(status, IsRecordingStatus)) << Narrow(TextOf(status));
  MovePointer(kSceneX + kPointerX, kSceneY + kPointerY);
  Sleep(1200);

  // Paused, the duration stands still where the pause began. The pause
  // begins during the first click and ends during the second.
  const DWORD beforePause = GetTickCount();
  ClickOn(GetDlgItem(main_, IDC_PAUSE));
  const DWORD afterPause = GetTickCount();
  Sleep(300);
  const std::wstring frozen = TextOf(status);
  EXPECT_TRUE(IsRecordingStatus(frozen)) << Narrow(frozen);
  Sleep(1500);
  EXPECT_EQ(TextOf(status), frozen);
  const double shortestPause = GetTickCount() - afterPause;
  ClickOn(GetDlgItem(main_, IDC_PAUSE));
  const double longestPause = GetTickCount() - beforePause;
  Sleep(1200);
  // Running again from where it stood: about 2.4 s of recording so far.
  EXPECT_EQ(TextOf(status), std::wstring(kStatusRecordingPrefix) + L"00:00:02");

  ClickOn(GetDlgItem(main_, IDC_RECORD));
  ASSERT_TRUE(WaitForTextEqual(status, kStatusReady, 10000)) << Narrow(TextOf(status));
  EXPECT_TRUE(CloseNormally(main_, *program_));

  const std::wstring file = NewestFile(folder, L"Quillomat_*.mp4");
  ASSERT_FALSE(file.empty());
  const WrittenRecording rec = ReadRecording(file);
  ASSERT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_EQ(rec.width, kWidth);
  EXPECT_EQ(rec.height, kHeight);

  // The grid of frame times is the pacer's (tested natively); the pause's
  // place in them is read off the scene's clock below.
  ASSERT_GE(rec.video.size(), 60u);
  // The file as FFmpeg reads it: a normal MP4 (one moov, no fragment in
  // sight) holding, byte for byte, every frame the writer was handed (which
  // are bottom row first: the stand-in stores them top row first).
  const std::string mp4 = HostPath(file);
  EXPECT_EQ(OnHost("ffprobe -v trace " + mp4 + " 2>&1 | grep -o \"type:'mo[a-z]*' parent:'root'\""),
            "type:'moov' parent:'root'\n");
  EXPECT_EQ(OnHost("ffmpeg -v error -i " + mp4 + " -fps_mode passthrough -vf vflip -f rawvideo -pix_fmt bgra - | cmp - " +
                   HostPath(file + L".standin.video") + " && echo same"),
            "same\n");

  // The frames show the scene as it was: each one a whole picture of the
  // scene at the clock it shows, 20 pixels in from the region's corner, with
  // the cursor drawn only where the pointer rested.
  const SceneReading scene1 = ReadScene(file + L".standin.video", kWidth, kHeight, 20, 20, {kPointerX, kPointerY});
  ASSERT_EQ(scene1.clock.size(), rec.video.size());
  EXPECT_LE(scene1.framesWrongOutsideCursor, 1) << "of " << rec.video.size();
  EXPECT_GE(scene1.framesWithCursor, 20);

  // The clock moves on with the frame times, except once: across the pause,
  // where the screen's clock ran on and the recording's did not.
  int jumps = 0;
  for (size_t i = 1; i < rec.video.size(); ++i) {
    const double clockStep = static_cast<double>(scene1.clock[i]) - scene1.clock[i - 1];
    const double timeStep = (rec.video[i].time - rec.video[i - 1].time) / 10000.0;
    EXPECT_GE(clockStep, 0) << "frame " << i;
    if (std::fabs(clockStep - timeStep) < 150) continue;
    ++jumps;
    EXPECT_GE(clockStep - timeStep, shortestPause - 150) << "frame " << i;
    EXPECT_LE(clockStep - timeStep, longestPause + 150) << "frame " << i;
  }
  EXPECT_EQ(jumps, 1);
}

// The microphone (440 Hz here), the computer's sound (1 kHz played into
// the default output), both mixed, or neither, as a user switches them; a
// pause and a tone that stops leave the track as long as the picture.
TEST_F(EndToEndTest, MicrophoneAndComputerSound) {
  ComputerTone tone;  // stopped at the end
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  SetFolder(main_, dir.path());
  const struct {
    bool microphone, computer;
    double level440, level1000;  // each at least this, or 0: none
  } cases[] = {{true, false, 2000, 0}, {false, true, 0, 8000}, {true, true, 2000, 8000}, {false, false, 0, 0}};
  bool microphone = true, computer = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.microphone ? "microphone " : "") + (c.computer ? "computer" : ""));
    if (microphone != c.microphone) ClickOn(GetDlgItem(main_, IDC_MICROPHONE));
    // Once from each menu, as they deliver it.
    if (computer != c.computer) PostMessageW(main_, WM_COMMAND, c.computer ? IDM_COMPUTER_SOUND : IDM_TRAY_COMPUTER_SOUND, 0);
    microphone = c.microphone;
    computer = c.computer;
    if (c.computer) ComputerTone::Set(true);
    ASSERT_TRUE(StartRecording(main_));
    // Changing it now is refused: the next case would record the wrong sound.
    SendMessageW(main_, WM_COMMAND, IDM_COMPUTER_SOUND, 0);
    const bool both = c.microphone && c.computer, one = c.microphone != c.computer;
    Sleep(2800);
    if (c.microphone && one) {
      // Paused 20 times, each for 0.15 to 0.45 s, as a user who pauses often
      // would: the sound stays with the picture.
      for (int pause = 0; pause < 20; ++pause) {
        PostMessageW(main_, WM_COMMAND, IDC_PAUSE, 0);
        Sleep(150 + pause * 157 % 300);
        PostMessageW(main_, WM_COMMAND, IDC_PAUSE, 0);
        Sleep(100 + pause * 89 % 200);
      }
    } else if (one) {  // paused once the source delivers
      ClickOn(GetDlgItem(main_, IDC_PAUSE));
      Sleep(1500);
      ClickOn(GetDlgItem(main_, IDC_PAUSE));
      Sleep(1500);
    }
    if (c.computer && !both) {  // the computer falls silent
      ComputerTone::Set(false);
      Sleep(1500);
    }
    ASSERT_TRUE(StopRecording(main_));
    const std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
    const WrittenRecording rec = ReadRecording(file);
    ASSERT_TRUE(rec.finalized) << Describe(rec);
    if (!c.microphone && !c.computer) {  // no sound stream at all
      EXPECT_EQ(std::count_if(rec.journal.begin(), rec.journal.end(),
                              [](const StandInCall& call) { return call.step == StandInStep::AddStream; }), 1);
      DeleteMatching(dir.path(), L"Quillomat_*");
      continue;
    }
    // The track abuts from 0 to the end of the picture.
    ASSERT_FALSE(rec.audio.empty());
    EXPECT_EQ(rec.audio.front().time, 0);
    for (size_t i = 1; i < rec.audio.size(); ++i) {
      ASSERT_EQ(rec.audio[i].time, rec.audio[i - 1].time + rec.audio[i - 1].duration) << "stretch " << i;
    }
    const int64_t audioEnd = rec.audio.back().time + rec.audio.back().duration;
    const int64_t videoEnd = rec.video.back().time + rec.video.back().duration;
    EXPECT_NEAR(audioEnd / 10000.0, videoEnd / 10000.0, 40.0);
    // The balloon tells the recording's own length, to the second.
    const std::wstring name = file.substr(file.find_last_of(L'\\') + 1) + L"\n";
    const std::wstring balloon = TextOf(WindowOfAnyProgram(L"tooltips_class32", name));
    const int64_t endMs = audioEnd / 10000;
    EXPECT_TRUE(balloon.rfind(name + FormatDuration(endMs), 0) == 0 ||
                balloon.rfind(name + FormatDuration(endMs + (endMs % 1000 < 500 ? -100 : 100)), 0) == 0)
        << Narrow(balloon) << " for " << endMs << " ms";

    const std::string pcm = OnHost("ffmpeg -v error -i " + HostPath(file) + " -map 0:a -f s16le -");
    const size_t frames = pcm.size() / 4;
    EXPECT_NEAR(frames / 48.0, audioEnd / 10000.0, 5.0) << "48 kHz stereo";
    // From where every source has begun (a stream of Wine's takes up to two
    // seconds to deliver its first packet) to 100 ms before the end: the
    // tones asked for and no other, and sound in every 20 ms (a pause splices
    // a tone at any phase, but leaves no gap); mixed, both in every 20 ms.
    size_t first = 0;
    for (const auto& [hz, least] : {std::pair{440.0, c.level440}, std::pair{1000.0, c.level1000}}) {
      while (least > 0 && first < frames && ToneLevel(pcm, first, first + 2400, hz) < least) first += 2400;
    }
    ASSERT_LT(first, 2500u * 48) << "no sound";
    first += 2400;  // past the window where the last one began
    const size_t toneEnd = c.computer && !both ? frames - 1800 * 48 : frames - 4800;
    auto heard = [](double level, double least) { return least > 0 ? level > least : level < 300; };
    double l440 = 0, l1000 = 0, windows = 0;  // the mean of 50 ms windows
    for (size_t at = first; at + 2400 <= toneEnd; at += 2400, ++windows) {
      l440 += ToneLevel(pcm, at, at + 2400, 440);
      l1000 += ToneLevel(pcm, at, at + 2400, 1000);
    }
    l440 /= windows;
    l1000 /= windows;
    EXPECT_TRUE(heard(l440, c.level440) && heard(l1000, c.level1000)) << "440 Hz " << l440 << ", 1 kHz " << l1000;
    for (size_t at = first; at + 960 <= toneEnd; at += 960) {
      int peak = 0;
      for (size_t i = at; i < at + 960; ++i) peak = std::max(peak, std::abs(static_cast<int>(Left(pcm, i))));
      ASSERT_TRUE(peak > 1000 && (!both || (ToneLevel(pcm, at, at + 960, 440) > c.level440 &&
                                            ToneLevel(pcm, at, at + 960, 1000) > c.level1000)))
          << "at " << at / 48 << " ms of " << frames / 48 << ": 440 Hz, 1 kHz and peak there and in the next 20 ms"
          << Levels(pcm, at) << Levels(pcm, at + 960);
    }
    if (c.computer && !both) {
      // Silence once the tone stopped, to the end.
      const size_t quiet = frames - 1000 * 48;
      EXPECT_EQ(std::string(pcm.substr(quiet * 4).size(), '\0'), pcm.substr(quiet * 4));
    }
    DeleteMatching(dir.path(), L"Quillomat_*");
  }
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

}  // namespace

namespace {

// The folder browser led to `folder`, as a user picks it there, and its OK
// pressed: the path is handed over in the program's own memory, as the
// browser's selection message wants it. The browser fills its tree after it
// shows, and a selection asked for before then is lost: it is asked again.
void BrowseTo(const Program& program, HWND main, const std::wstring& folder) {
  for (int attempt = 0; attempt < 3 && TextOf(GetDlgItem(main, IDC_FOLDER)) != folder; ++attempt) {
    ClickOn(GetDlgItem(main, IDC_BROWSE));
    HWND browser = program.FindWindowOfClass(L"#32770", 5000);
    ASSERT_NE(browser, nullptr);
    Sleep(500);
    ASSERT_TRUE(SendWithData(program, browser, BFFM_SETSELECTIONW, TRUE, folder.c_str(),
                             (folder.size() + 1) * sizeof(wchar_t)));
    ClickOn(GetDlgItem(browser, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(browser); }));
    PumpMessages(200);
  }
  ASSERT_EQ(TextOf(GetDlgItem(main, IDC_FOLDER)), folder);
}

// The strongest a tone is in any 100 ms of a recording's track but its last
// (a stream of Wine's takes two seconds or more to deliver its first packet,
// so when a tone begins is not asked).
double TrackLevel(const std::wstring& file, double hz) {
  const std::string pcm = OnHost("ffmpeg -v error -i " + HostPath(file) + " -map 0:a -f s16le -");
  double strongest = 0;
  for (size_t at = 0; (at + 9600) * 4 <= pcm.size(); at += 4800) {
    strongest = std::max(strongest, ToneLevel(pcm, at, at + 4800, hz));
  }
  return strongest;
}

}  // namespace

// What the user chose is what is recorded, and is there again at the next
// start: the folder browsed to, another microphone (a headset's, 660 Hz,
// beside the default one's 440 Hz), 1080p, 60 frames a second, a corner and
// both switches. With the headset unplugged at a start the default
// microphone is recorded and the status line says so. Stored values that are
// not valid give the defaults.
TEST_F(EndToEndTest, ChosenSettingsAreRecordedAndRemembered) {
  const std::wstring pulse =
      L"export PULSE_SERVER=unix:" + FromEnvironment(L"QM_SOUND_SERVER_DIR") + L"/xdg/pulse/native; pactl ";
  const std::wstring plugIn = pulse +
                              L"load-module module-null-sink sink_name=headset "
                              L"sink_properties=device.description=QuillomatHeadset && " +
                              pulse + L"load-module module-sine sink=headset frequency=660";
  struct Unplug {
    std::wstring command;
    ~Unplug() { RunShell(command); }
  } unplug{pulse + L"list short modules | grep 'sink_name=headset\\|sink=headset' | cut -f1 |"
                   L" xargs -r -n1 pactl unload-module"};
  ASSERT_EQ(RunShell(plugIn), 0u);
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(BrowseTo(*program_, main_, dir.path()));
  HWND settings = OpenWindow(*program_, main_, IDM_SETTINGS, kSettingsClass);
  ASSERT_NE(settings, nullptr);
  auto list = [&](int id, UINT message, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageW(settings, id, message, w, l); };
  const wchar_t kHeadset[] = L"Monitor of QuillomatHeadset";
  const LRESULT headset = list(kAudioListId, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(kHeadset));
  ASSERT_GT(headset, 0);
  const int kChosen[][2] = {{kResolutionListId, 1}, {kFrameRateListId, 1}, {kWebcamListId, 1}};
  for (const auto& [id, entry] : kChosen) list(id, CB_SETCURSEL, static_cast<WPARAM>(entry));
  list(kAudioListId, CB_SETCURSEL, static_cast<WPARAM>(headset));
  ClickOn(GetDlgItem(settings, kApplyButtonId));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
  PostMessageW(main_, WM_COMMAND, IDM_COMPUTER_SOUND, 0);

  // The headset's tone, at 60 frames a second.
  ASSERT_TRUE(StartRecording(main_));
  Sleep(4500);
  ASSERT_TRUE(StopRecording(main_));
  std::wstring file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  WrittenRecording rec = ReadRecording(file);
  ASSERT_TRUE(rec.finalized) << Describe(rec);
  EXPECT_EQ(rec.width, GetSystemMetrics(SM_CXSCREEN));  // 1080p holds the tests' screen as it is
  EXPECT_GT(TrackLevel(file, 660), 1500);
  EXPECT_LT(TrackLevel(file, 440), 300);
  ASSERT_GT(rec.video.size(), 60u);
  std::vector<LONGLONG> steps;
  for (size_t i = 1; i < rec.video.size(); ++i) {
    EXPECT_NEAR(rec.video[i].duration, 166667, 1) << i;
    steps.push_back(rec.video[i].time - rec.video[i - 1].time);
  }
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  EXPECT_NEAR(steps[steps.size() / 2], 166667, 10000);
  ClickOn(GetDlgItem(main_, IDC_MICROPHONE));  // off
  EXPECT_TRUE(CloseNormally(main_, *program_));

  // Started again, as it was left: with the microphone off and the
  // computer's sound on, a recording has a sound track all the same.
  auto expectChoices = [&](const std::wstring& folder, const std::wstring& microphone, int chosen, int corner) {
    EXPECT_EQ(TextOf(GetDlgItem(main_, IDC_FOLDER)), folder);
    settings = OpenWindow(*program_, main_, IDM_SETTINGS, kSettingsClass);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(list(kResolutionListId, CB_GETCURSEL), chosen);
    EXPECT_EQ(list(kFrameRateListId, CB_GETCURSEL), chosen);
    EXPECT_EQ(list(kWebcamListId, CB_GETCURSEL), corner);
    wchar_t shown[256] = {};
    if (list(kAudioListId, CB_GETLBTEXTLEN, static_cast<WPARAM>(list(kAudioListId, CB_GETCURSEL))) < 256) {
      list(kAudioListId, CB_GETLBTEXT, static_cast<WPARAM>(list(kAudioListId, CB_GETCURSEL)), reinterpret_cast<LPARAM>(shown));
    }
    EXPECT_EQ(shown, microphone);
    ASSERT_TRUE(CloseAndWait(settings));
  };
  ASSERT_NO_FATAL_FAILURE(Start());
  expectChoices(dir.path(), kHeadset, 1, 1);
  EXPECT_EQ(TextOf(GetDlgItem(main_, IDC_MICROPHONE)).rfind(L"Microphone off", 0), 0u);
  ASSERT_TRUE(StartRecording(main_));
  Sleep(1000);
  ASSERT_TRUE(StopRecording(main_));
  EXPECT_FALSE(ReadRecording(NewestFile(dir.path(), L"Quillomat_*.mp4")).audio.empty());
  EXPECT_TRUE(CloseNormally(main_, *program_));

  // The headset unplugged, then the program started: the default
  // microphone, and word of it. (Its return is not tried: Wine reads the
  // devices once per process.)
  RunShell(unplug.command);
  ASSERT_NO_FATAL_FAILURE(Start());
  ClickOn(GetDlgItem(main_, IDC_MICROPHONE));  // on
  ClickOn(GetDlgItem(main_, IDC_RECORD));
  const HWND status = StatusLine(main_);
  ASSERT_TRUE(WaitForText(status, [](const std::wstring& text) { return IsRecordingStatus(text, kStatusDefaultMicrophone); }))
      << Narrow(TextOf(status));
  Sleep(4500);
  ASSERT_TRUE(StopRecording(main_));
  file = NewestFile(dir.path(), L"Quillomat_*.mp4");
  EXPECT_GT(TrackLevel(file, 440), 1500);
  EXPECT_LT(TrackLevel(file, 660), 300);
  EXPECT_TRUE(CloseNormally(main_, *program_));

  // Values of the wrong type, out of range or too long: the defaults.
  const std::wstring tooLong(2000, L'x');
  const DWORD kOutOfRange[] = {9, 45, 7};
  const struct {
    const wchar_t* name;
    DWORD type;
    const void* bytes;
    size_t size;
  } kBroken[] = {{L"Resolution", REG_DWORD, &kOutOfRange[0], 4}, {L"FrameRate", REG_DWORD, &kOutOfRange[1], 4},
                 {L"MicrophoneOn", REG_DWORD, &kOutOfRange[2], 4},  {L"OutputFolder", REG_DWORD, &kOutOfRange[0], 4},
                 {L"WebcamCorner", REG_SZ, L"2", 4},                {L"Microphone", REG_SZ, tooLong.c_str(), 4002}};
  for (const auto& value : kBroken) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsRegistryKey, value.name, value.type, value.bytes,
                              static_cast<DWORD>(value.size)),
              ERROR_SUCCESS);
  }
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::wstring folder = TextOf(GetDlgItem(main_, IDC_FOLDER));
  EXPECT_EQ(folder.substr(folder.find_last_of(L'\\') + 1), L"Quillomat");
  expectChoices(folder, kDefaultMicrophoneEntry, 0, 0);
  EXPECT_EQ(TextOf(GetDlgItem(main_, IDC_MICROPHONE)).rfind(L"Microphone on", 0), 0u);
  EXPECT_TRUE(CloseNormally(main_, *program_));
}

// The whole screen recorded at its own size, at "1080p" and at "2K": a
// larger picture is scaled down to fit, keeping its shape, never up. (At
// 200 % the tests' screen is a 4K one, as such screens are.)
TEST_F(EndToEndTest, FullScreenAtEachVideoSize) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TempDir dir;
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  for (int size = 0; size < 3; ++size) {
    const VideoSizeChoice& choice = kVideoSizes[size];
    SCOPED_TRACE(Narrow(choice.text));
    HWND settings = OpenWindow(*program_, main_, IDM_SETTINGS, kSettingsClass);
    ASSERT_NE(settings, nullptr);
    SendDlgItemMessageW(settings, kResolutionListId, CB_SETCURSEL, static_cast<WPARAM>(size), 0);
    ClickOn(GetDlgItem(settings, kApplyButtonId));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
    const WrittenRecording rec = RecordInto(main_, dir.path(), 1500);
    ASSERT_TRUE(rec.finalized) << Describe(rec);
    EXPECT_FALSE(rec.video.empty());
    // The screen and the sizes offered are all 16:9.
    const bool fits = size == 0 || (width <= choice.maxWidth && height <= choice.maxHeight);
    EXPECT_EQ(rec.width, fits ? width : choice.maxWidth);
    EXPECT_EQ(rec.height, fits ? height : choice.maxHeight);
  }
  EXPECT_TRUE(CloseNormally(main_, *program_));
}
