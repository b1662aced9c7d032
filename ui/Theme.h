#pragma once
// The one dark colour scheme of every window.
#include <windows.h>

constexpr COLORREF kWindowBackground = RGB(45, 45, 48);

// Texts on it: the main window's labels and its status line, the About
// window's lines, the settings' labels and their fields.
constexpr COLORREF kLabelColour = RGB(255, 255, 255);
constexpr COLORREF kStatusColour = RGB(79, 70, 229);
constexpr COLORREF kAboutTextColour = RGB(210, 210, 215);
constexpr COLORREF kSettingsLabelColour = RGB(220, 220, 220);
constexpr COLORREF kFieldColour = RGB(62, 62, 68);
constexpr COLORREF kFieldTextColour = RGB(230, 230, 230);

// The owner-drawn push buttons.
constexpr COLORREF kButtonFace = RGB(36, 36, 40), kButtonFacePressed = RGB(60, 60, 66);
constexpr COLORREF kButtonBorder = RGB(70, 70, 76), kButtonBorderDefault = RGB(80, 120, 210);
constexpr COLORREF kButtonText = RGB(220, 220, 220);

// The region selector over the screen, and the webcam picture's frame.
constexpr COLORREF kRegionShade = RGB(0, 0, 0);
constexpr COLORREF kRegionOutline = RGB(255, 0, 0);
constexpr COLORREF kRegionLabel = RGB(255, 255, 0);
constexpr COLORREF kWebcamFrame = RGB(20, 20, 20);
