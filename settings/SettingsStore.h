#pragma once
// Where the user's recording choices are kept: the current user's key of the
// program in the registry. Read once at start, written at every change.
#include "common/ProductInfo.h"
#include "settings/RecordingSettings.h"

inline constexpr wchar_t kSettingsRegistryKey[] = L"SOFTWARE\\" QM_PRODUCT_NAME;

// The stored settings; the defaults for any that are missing or not valid.
RecordingSettings LoadSettings();
// False when they could not be kept (the choice still applies until the end).
bool SaveSettings(const RecordingSettings& settings);
