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
  const struct {
    S state;
    bool missing, standsIn, lost, hotkeys;  // every source missing and an update waiting; the camera lost, settings not kept
    const wchar_t* status;
    const wchar_t* tip;
    DurationTimer timer;
    ButtonPicture record, pause;
    const wchar_t* names;  // of the record and pause buttons
  } kRows[] = {
      {S::Idle, false, false, false, true, L"Ready to Record", kTipReady, DurationTimer::Kill, kPictureRecord,
       kPicturePauseDimmed, L"Record (F9)|Pause (F10)"},
      {S::Recording, false, false, false, true, L"Recording: 01:02:03", kTipRecording, DurationTimer::Start,
       kPictureStop, kPicturePause, L"Stop (F9)|Pause (F10)"},
      // Word of what is missing only while it matters: during a recording.
      {S::Idle, true, true, false, true, L"Ready to Record", kTipReady, DurationTimer::Kill, kPictureRecord,
       kPicturePauseDimmed, L"Record (F9)|Pause (F10)"},
      {S::Recording, true, false, true, true,
       L"Recording: 01:02:03 - microphone missing - computer sound missing - webcam lost - update installs on Stop"
       L" - settings could not be saved",
       kTipRecording, DurationTimer::Start, kPictureStop, kPicturePause, L"Stop (F9)|Pause (F10)"},
      {S::Paused, false, true, false, true, L"Recording: 01:02:03 - chosen microphone missing, recording the default",
       kTipPaused, DurationTimer::Kill, kPictureStop, kPictureResume, L"Stop (F9)|Resume (F10)"},
      {S::Idle, false, false, true, false, L"Ready to Record - webcam lost - settings could not be saved", kTipReady,
       DurationTimer::Kill,
       kPictureRecord, kPicturePauseDimmed,
       L"Record (F9 is taken by another program)|Pause (F10 is taken by another program)"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.status)));
    WindowFacts f{row.state, 3723000};
    f.microphoneMissing = f.computerSoundMissing = f.updateWaiting = row.missing;
    f.microphoneStandsIn = row.standsIn;
    f.webcamLost = f.settingsNotSaved = row.lost;
    f.recordHotkey = f.pauseHotkey = row.hotkeys;
    f.recordKeys = L"F9";
    f.pauseKeys = L"F10";
    const WindowView view = ViewFor(f);
    EXPECT_EQ(view.status, row.status);
    EXPECT_EQ(view.tip, row.tip);
    EXPECT_EQ(view.timer, row.timer);
    EXPECT_EQ(view.record, row.record);
    EXPECT_EQ(view.pause, row.pause);
    EXPECT_EQ(view.names.record + L"|" + view.names.pause, row.names);
    EXPECT_EQ(view.idle, row.state == S::Idle);
    // The switches' pictures and names follow the switches alone.
    for (const bool on : {false, true}) {
      f.microphoneOn = f.webcamOn = on;
      const WindowView switched = ViewFor(f);
      EXPECT_EQ(switched.microphone, on ? kPictureMicOn : kPictureMicOff);
      EXPECT_EQ(switched.webcam, on ? kPictureWebcamOn : kPictureWebcamOff);
      EXPECT_EQ(switched.names.microphone.rfind(on ? L"Microphone on" : L"Microphone off", 0), 0u);
      EXPECT_EQ(switched.names.webcam, on ? L"Hide the webcam" : L"Show the webcam");
    }
  }
}

}  // namespace
