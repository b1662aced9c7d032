// Engine benchmarks, printed as "name value" lines:
//   the cost of the whole frame path (copy, cursor, read-out, scaling when
//   the video is smaller, sample, submission) against a bare BitBlt +
//   GetDIBits of the same screen area, measured side by side; pacing over 30 s of recording; memory over a 60 s recording.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <cstdio>
#include <vector>

#include "recorder/AudioFormat.h"
#include "recorder/AudioMixer.h"
#include "recorder/AudioSource.h"
#include "recorder/Recording.h"
#include "recorder/ScreenRecorder.h"
#include "recorder/VideoFormat.h"
#include "tests/support/ScreenFixtures.h"

namespace {

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Print(const char* name, double value) { std::printf("%s %.3f\n", name, value); }
void PrintInt(const char* name, long long value) { std::printf("%s %lld\n", name, value); }

StandInOptions CheapStandIn() {
  StandInOptions options;
  // Raw frames into a real file would measure the disk, not the engine.
  options.fragmentedMp4 = false;
  return options;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
  return values[index];
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

// Whole frame path against the bare copy and read-out, in alternating
// rounds so that both see the same machine. The video is `video` in size,
// scaled down from the screen's width x height, or of that size itself.
// Returns the path's median cost over the bare copy's.
double FramePath(const char* label, int width, int height, int rounds, VideoSize video = {}) {
  TempDir dir;
  StandInWriter w;
  const CaptureRegion region{0, 0, width, height};
  if (video.width == 0) video = {width, height};
  ScreenGrabber grabber(region, video);
  if (!grabber.Ready() || FAILED(w.Open(dir.File(L"bench.mp4"), video.width, video.height))) {
    std::printf("# frame path %s: cannot open the writer\n", label);
    return 0;
  }
  // The bare copy: a screen copy of its own, read out into memory of its own.
  const unique_screen_dc screen(GetDC(nullptr));
  const unique_hdc memory(CreateCompatibleDC(screen.get()));
  const unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  const SelectObjectScope selected(memory.get(), bitmap.get());
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> bare(FrameBufferBytes(width, height));
  auto bareFrame = [&] {
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY);
    GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), bare.data(), &info, DIB_RGB_COLORS);
  };
  // Warm both paths (first copies are slower).
  for (int i = 0; i < 3; ++i) {
    CaptureFrame(grabber, w.writer, 0);
    bareFrame();
  }
  // Rounds of a few frames each, both paths back to back; medians over the
  // rounds, so that a burst of load in one round does not decide the figure.
  const int perRound = 5;
  std::vector<double> pathRounds, bareRounds, ratios;
  LONGLONG time = 0;
  for (int round = 0; round < rounds; ++round) {
    double start = NowMs();
    for (int i = 0; i < perRound; ++i) CaptureFrame(grabber, w.writer, time += VideoFrameDuration(kDefaultFramesPerSecond));
    const double path = (NowMs() - start) / perRound;
    start = NowMs();
    for (int i = 0; i < perRound; ++i) bareFrame();
    const double bareCost = (NowMs() - start) / perRound;
    pathRounds.push_back(path);
    bareRounds.push_back(bareCost);
    ratios.push_back(path / bareCost);
  }
  char name[64];
  std::snprintf(name, sizeof name, "frame_path_ms_%s", label);
  Print(name, Median(pathRounds));
  std::snprintf(name, sizeof name, "bare_copy_ms_%s", label);
  Print(name, Median(bareRounds));
  std::snprintf(name, sizeof name, "frame_path_ratio_%s", label);
  Print(name, Median(ratios));
  return Median(ratios);
}

void Pacing(int seconds) {
  TempDir dir;
  StandInEngine engine(CheapStandIn());
  ScreenRecorder& r = *engine.recorder;
  if (!r.Start({dir.File(L"pacing.mp4"), {0, 0, 1920, 1080}})) {
    std::printf("# pacing: cannot start\n");
    return;
  }
  PumpMessages(static_cast<DWORD>(seconds) * 1000);
  const StopResult stopped = r.Stop();
  const auto samples = engine.LastRecord()->Samples(0);
  if (samples.empty()) return;
  std::vector<double> lateness;
  double largestGap = 0;
  for (size_t k = 0; k < samples.size(); ++k) {
    const double ms = static_cast<double>(samples[k].time) / kMediaTicksPerMs;
    lateness.push_back(ms - static_cast<double>(k) * 33.0);
    if (k) largestGap = std::max(largestGap, static_cast<double>(samples[k].time - samples[k - 1].time) / kMediaTicksPerMs);
  }
  const double lastMs = static_cast<double>(samples.back().time) / kMediaTicksPerMs;
  PrintInt("pacing_frames", static_cast<long long>(samples.size()));
  PrintInt("pacing_frames_expected", static_cast<long long>(lastMs / 33) + 1);
  Print("pacing_p50_ms", Percentile(lateness, 0.50));
  Print("pacing_p99_ms", Percentile(lateness, 0.99));
  Print("pacing_max_late_ms", Percentile(lateness, 1.0));
  Print("pacing_largest_gap_ms", largestGap);
  PrintInt("pacing_frames_skipped_backlog", static_cast<long long>(stopped.framesSkipped));
}

// Committed private memory of the process. Wine leaves PrivateUsage at 0 and
// reports the same figure as PagefileUsage, so the larger of the two is used.
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  static bool shown = false;
  if (!shown) {
    shown = true;
    std::printf("# memory counters: private %zu pagefile %zu working set %zu\n", counters.PrivateUsage / 1024,
                counters.PagefileUsage / 1024, counters.WorkingSetSize / 1024);
  }
  return std::max(counters.PrivateUsage, counters.PagefileUsage);
}

void Memory(int seconds) {
  TempDir dir;
  StandInEngine engine(CheapStandIn());
  ScreenRecorder& r = *engine.recorder;
  // One short recording first: what the platform allocates once per process
  // is not growth.
  r.Start({dir.File(L"warm.mp4"), {0, 0, 1920, 1080}});
  PumpMessages(1000);
  r.Stop();
  const SIZE_T before = PrivateBytes();
  if (!r.Start({dir.File(L"memory.mp4"), {0, 0, 1920, 1080}})) return;
  SIZE_T peak = before;
  for (int s = 0; s < seconds; ++s) {
    PumpMessages(1000);
    peak = std::max(peak, PrivateBytes());
  }
  r.Stop();
  const SIZE_T after = PrivateBytes();
  PrintInt("memory_before_kb", static_cast<long long>(before / 1024));
  PrintInt("memory_peak_during_kb", static_cast<long long>(peak / 1024));
  PrintInt("memory_after_kb", static_cast<long long>(after / 1024));
  PrintInt("memory_growth_kb", static_cast<long long>(after / 1024) - static_cast<long long>(before / 1024));
  PrintInt("memory_recording_frames", static_cast<long long>(engine.LastRecord()->Samples(0).size()));
}

// One 10 ms packet of float stereo at 48 kHz from each of two sources:
// converted, placed on the clock, mixed and submitted.
void AudioPacket() {
  TempDir dir;
  StandInWriter w(CheapStandIn());
  const AudioTrackFormat format{48000, 2};
  if (FAILED(w.Open(dir.File(L"audio.mp4"), 64, 64, &format))) {
    std::printf("# audio packet: cannot set up the writer\n");
    return;
  }
  std::vector<float> packet(2 * 480);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<float>(i % 200) / 200.0f - 0.5f;
  const AudioLayout layout{2, 2, 32, true, 8};
  std::vector<int16_t> converted(2 * 480);
  // A clock of 48,000 ticks a second that moves 10 ms a packet.
  int64_t ticks = 0;
  RecordingClock clock([&ticks] { return ticks; }, 48000);
  clock.Start();
  TrackMixer mixer(format, 2, clock);
  const std::vector<TrackMixer::Packet> one{{480, 0}};
  const TrackMixer::Write write = [&w](const int16_t* samples, uint32_t frames) {
    w.writer.WriteSound(samples, frames);
  };
  const int count = 5000;
  const double start = NowMs();
  for (int i = 0; i < count; ++i) {
    const RecordingClock::Reading now = clock.Now();
    for (size_t source = 0; source < 2; ++source) {
      ConvertPacket(reinterpret_cast<const uint8_t*>(packet.data()), 480, layout, converted.data());
      mixer.Add(source, converted.data(), one, now);
    }
    mixer.Mix(now, false, write);
    ticks += 480;
  }
  Print("audio_packet_us", (NowMs() - start) * 1000.0 / count);
}

// The audio thread's share of one core while recording the microphone and
// the computer's sound.
void AudioCpu(int seconds) {
  TempDir dir;
  StandInWriter w(CheapStandIn());
  SoundTrack track;
  track.Open(true, true, {});
  if (!!track.Missing(AudioSourceKind::ComputerSound) || FAILED(w.Open(dir.File(L"audio-cpu.mp4"), 640, 480, &track.Format())) ||
      !w.writer.HasSound()) {
    std::printf("# audio cpu: not both sources\n");
    return;
  }
  track.Start(w.writer, w.clock);
  PumpMessages(static_cast<DWORD>(seconds) * 1000);
  w.clock.End();
  track.Stop();
  Print("audio_cpu_percent", static_cast<double>(track.CpuTicks()) / (seconds * 1e7) * 100.0);
  const auto audio = w.LastRecord()->Samples(1);
  if (!audio.empty()) Print("audio_seconds_recorded", (audio.back().time + audio.back().duration) / 1e7);
}

// A long recording at 1920 x 1080 with sound: memory every minute and its
// slope, frames against the grid, sound against video. The writer keeps
// no calls; the figures are tallied as the samples arrive.
void Soak(int minutes) {
  struct Tally {
    std::mutex lock;
    long long frames = 0, lateOver100ms = 0, audioPackets = 0, audioGaps = 0;
    double worstLateMs = 0;
    LONGLONG lastVideoTime = 0, audioEnd = 0;
  } tally;
  StandInOptions options = CheapStandIn();
  options.keepCalls = false;
  options.onCall = [&tally](const StandInCall& call) {
    if (call.step != StandInStep::WriteSample || FAILED(call.result)) return;
    std::lock_guard<std::mutex> hold(tally.lock);
    if (call.stream == 0) {
      const double late = static_cast<double>(call.time - tally.frames * 330000) / kMediaTicksPerMs;
      tally.worstLateMs = std::max(tally.worstLateMs, late);
      if (late > 100) ++tally.lateOver100ms;
      tally.lastVideoTime = call.time;
      ++tally.frames;
    } else {
      if (tally.audioPackets > 0 && call.time != tally.audioEnd) ++tally.audioGaps;
      tally.audioEnd = call.time + call.duration;
      ++tally.audioPackets;
    }
  };
  TempDir dir;
  StandInEngine engine(options);
  ScreenRecorder& r = *engine.recorder;
  if (!r.Start({dir.File(L"soak.mp4"), {0, 0, 1920, 1080}, true, false})) {
    std::printf("# soak: cannot start\n");
    return;
  }
  std::vector<double> memoryKb;
  for (int minute = 1; minute <= minutes; ++minute) {
    // The least of ten readings over the minute's last second: a frame's
    // buffer in flight (8 MB at this size) is not what is held.
    PumpMessages(59000);
    SIZE_T least = PrivateBytes();
    for (int i = 0; i < 9; ++i) {
      PumpMessages(100);
      least = std::min(least, PrivateBytes());
    }
    memoryKb.push_back(static_cast<double>(least / 1024));
    std::lock_guard<std::mutex> hold(tally.lock);
    std::printf("soak_minute %d memory_kb %.0f frames %lld\n", minute, memoryKb.back(), tally.frames);
    std::fflush(stdout);
  }
  const StopResult stopped = r.Stop();
  if (tally.audioPackets == 0) std::printf("# soak: no input device, video only\n");
  // Least-squares slope over the minutes after the first (start-up is not growth).
  double slope = 0;
  if (memoryKb.size() >= 3) {
    const size_t n = memoryKb.size() - 1;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 1; i < memoryKb.size(); ++i) {
      sx += static_cast<double>(i);
      sy += memoryKb[i];
      sxx += static_cast<double>(i * i);
      sxy += static_cast<double>(i) * memoryKb[i];
    }
    slope = (static_cast<double>(n) * sxy - sx * sy) / (static_cast<double>(n) * sxx - sx * sx);
  }
  Print("soak_memory_slope_kb_per_min", slope);
  Print("soak_memory_first_minute_kb", memoryKb.empty() ? 0 : memoryKb.front());
  Print("soak_memory_last_minute_kb", memoryKb.empty() ? 0 : memoryKb.back());
  PrintInt("soak_frames", tally.frames);
  PrintInt("soak_frames_expected", static_cast<long long>(tally.lastVideoTime / 330000) + 1);
  Print("soak_worst_lateness_ms", tally.worstLateMs);
  PrintInt("soak_frames_late_over_100ms", tally.lateOver100ms);
  PrintInt("soak_frames_skipped_backlog", static_cast<long long>(stopped.framesSkipped));
  Print("soak_video_seconds", static_cast<double>(tally.lastVideoTime) / 1e7 + 0.033);
  Print("soak_audio_seconds", static_cast<double>(tally.audioEnd) / 1e7);
  PrintInt("soak_audio_gaps", tally.audioGaps);
}

// The engine capturing 1920 x 1080 at 30 or 60 frames a second for a while,
// as the program does, for comparison with other capturers of the same
// area on the same screen. tools/bench.sh reads this process's CPU time from
// the kernel just before and after (Wine's own account of it is not the
// kernel's); the files in /tmp are the handshake. The scene stays up until
// the other capturers have run too.
void CaptureForComparison(int seconds, uint32_t framesPerSecond) {
  auto mark = [](const wchar_t* name) { CloseHandle(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); };
  auto await = [](const wchar_t* name) { WaitFor([name] { return FileExists(name); }, 300000); };
  TempDir dir;
  StandInEngine engine(CheapStandIn());
  ScreenRecorder& r = *engine.recorder;
  mark(L"Z:\\tmp\\qm-capture-ready");
  await(L"Z:\\tmp\\qm-capture-go");
  RecordingOptions options{dir.File(L"capture.mp4"), {0, 0, 1920, 1080}};
  options.framesPerSecond = framesPerSecond;
  const bool started = r.Start(options);
  if (started) {
    Sleep(static_cast<DWORD>(seconds) * 1000);
    r.Stop();
  }
  mark(L"Z:\\tmp\\qm-capture-done");
  if (!started) std::printf("# capture: cannot start\n");
  PrintInt("capture_frames", started ? static_cast<long long>(engine.LastRecord()->Samples(0).size()) : 0);
  std::fflush(stdout);
  await(L"Z:\\tmp\\qm-peer-done");
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  std::printf("# screen %d x %d\n", screenW, screenH);
  // Something to copy, with the cursor over it.
  SolidWindow scene(0, 0, screenW, screenH);
  SetCursorPos(300, 200);
  PumpMessages(200);

  if (argc > 2 && std::string(argv[1]) == "--soak") {
    Soak(std::atoi(argv[2]));
    return 0;
  }
  if (argc > 2 && std::string(argv[1]) == "--capture") {
    CaptureForComparison(std::atoi(argv[2]), argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 30);
    return 0;
  }
  const int rounds = quick ? 4 : 40;
  FramePath("480p", 640, 480, rounds);
  FramePath("1080p", 1920, 1080, rounds);
  if (screenW >= 3840 && screenH >= 2160) {
    const double own = FramePath("2160p", 3840, 2160, rounds / 2);
    const double scaled = FramePath("2160p_to_1080p", 3840, 2160, rounds / 2, {1920, 1080});
    // What scaling adds, each path measured against the same bare copy.
    if (own > 0 && scaled > 0) Print("frame_path_scaled_over_own_size", scaled / own);
  } else {
    std::printf("# frame path 2160p skipped: the screen is smaller than 3840 x 2160\n");
  }
  Pacing(quick ? 3 : 30);
  Memory(quick ? 5 : 60);
  AudioPacket();
  AudioCpu(quick ? 3 : 30);
  return 0;
}
