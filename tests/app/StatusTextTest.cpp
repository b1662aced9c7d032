#include "app/StatusText.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusText, FormatDuration) {
  EXPECT_EQ(FormatDuration(999), L"00:00:00");
  EXPECT_EQ(FormatDuration(3599999), L"00:59:59");
  EXPECT_EQ(FormatDuration(3600000), L"01:00:00");
  EXPECT_EQ(FormatDuration(100u * 3600000), L"100:00:00");
  EXPECT_EQ(FormatDuration(UINT32_MAX), L"1193:02:47");
  EXPECT_EQ(FormatDuration(UINT64_MAX), L"5124095576030:25:51");
}

TEST(StatusText, SavedTextGivesNameDurationAndSize) {
  EXPECT_EQ(SavedText(L"a.mp4", 83999, 523), L"a.mp4\n00:01:23, 523 bytes");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 1536), L"a.mp4\n00:00:00, 2 KB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 13002342), L"a.mp4\n00:00:00, 12.4 MB");
  EXPECT_EQ(SavedText(L"a.mp4", 0, 3ull << 30), L"a.mp4\n00:00:00, 3.00 GB");
}

}  // namespace

namespace {

// The window's whole face for a state and its switches, row by row.
TEST(StatusText, WhatTheWindowShowsForEachStateAndSwitch) {
  using S = RecorderState;
  WindowFacts base;
  base.recordKeys = L"F9";
  base.pauseKeys = L"F10";
  base.recordedMs = 3723000;
  const struct {
    const char* what;
    void (*set)(WindowFacts&);
    const wchar_t* status;
    const wchar_t* tip;
    DurationTimer timer;
    ButtonPicture record, pause;
    const wchar_t* recordName;
    const wchar_t* pauseName;
  } kRows[] = {
      {"idle", [](WindowFacts&) {}, L"Ready to Record", kTipReady, DurationTimer::Kill, kPictureRecord,
       kPicturePauseDimmed, L"Record (F9)", L"Pause (F10)"},
      {"recording", [](WindowFacts& f) { f.state = S::Recording; }, L"Recording: 01:02:03", kTipRecording,
       DurationTimer::Start, kPictureStop, kPicturePause, L"Stop (F9)", L"Pause (F10)"},
      {"paused", [](WindowFacts& f) { f.state = S::Paused; }, L"Recording: 01:02:03", kTipPaused, DurationTimer::Kill,
       kPictureStop, kPictureResume, L"Stop (F9)", L"Resume (F10)"},
      // Word of what is missing only while it matters: during a recording.
      {"idle, missing",
       [](WindowFacts& f) { f.microphoneMissing = f.computerSoundMissing = f.microphoneStandsIn = f.updateWaiting = true; },
       L"Ready to Record", kTipReady, DurationTimer::Kill, kPictureRecord, kPicturePauseDimmed, L"Record (F9)",
       L"Pause (F10)"},
      {"recording, all missing",
       [](WindowFacts& f) {
         f.state = S::Recording;
         f.microphoneMissing = f.computerSoundMissing = f.webcamLost = f.updateWaiting = true;
       },
       L"Recording: 01:02:03 - microphone missing - computer sound missing - webcam lost - update installs on Stop",
       kTipRecording, DurationTimer::Start, kPictureStop, kPicturePause, L"Stop (F9)", L"Pause (F10)"},
      {"paused, stand-in microphone",
       [](WindowFacts& f) {
         f.state = S::Paused;
         f.microphoneStandsIn = true;
       },
       L"Recording: 01:02:03 - chosen microphone missing, recording the default", kTipPaused, DurationTimer::Kill,
       kPictureStop, kPictureResume, L"Stop (F9)", L"Resume (F10)"},
      {"idle, camera lost, hotkeys taken",
       [](WindowFacts& f) {
         f.webcamLost = true;
         f.recordHotkey = f.pauseHotkey = false;
       },
       L"Ready to Record - webcam lost", kTipReady, DurationTimer::Kill, kPictureRecord, kPicturePauseDimmed,
       L"Record (F9 is taken by another program)", L"Pause (F10 is taken by another program)"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.what);
    WindowFacts facts = base;
    row.set(facts);
    const WindowView view = ViewFor(facts);
    EXPECT_EQ(view.status, row.status);
    EXPECT_EQ(view.tip, row.tip);
    EXPECT_EQ(view.timer, row.timer);
    EXPECT_EQ(view.record, row.record);
    EXPECT_EQ(view.pause, row.pause);
    EXPECT_EQ(view.names.record, row.recordName);
    EXPECT_EQ(view.names.pause, row.pauseName);
    EXPECT_EQ(view.idle, facts.state == S::Idle);
  }
  // The switches' pictures and names follow the switches alone.
  for (const bool on : {false, true}) {
    WindowFacts facts = base;
    facts.microphoneOn = facts.webcamOn = on;
    const WindowView view = ViewFor(facts);
    EXPECT_EQ(view.microphone, on ? kPictureMicOn : kPictureMicOff);
    EXPECT_EQ(view.webcam, on ? kPictureWebcamOn : kPictureWebcamOff);
    EXPECT_EQ(view.names.microphone.rfind(on ? L"Microphone on" : L"Microphone off", 0), 0u);
    EXPECT_EQ(view.names.webcam, on ? L"Hide the webcam" : L"Show the webcam");
  }
}

}  // namespace
