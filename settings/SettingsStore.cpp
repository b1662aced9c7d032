#include "settings/SettingsStore.h"

#include <windows.h>

#include "common/Win32Handles.h"

static_assert(kStoredText == REG_SZ && kStoredNumber == REG_DWORD, "stored types are the registry's");

RecordingSettings LoadSettings() {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsRegistryKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  return ReadSettings([&key](const wchar_t* name, StoredValue& value) {
    // Room for the longest text kept and more: a longer value is not read at
    // all, and counts as missing.
    value.bytes.resize((kLongestStoredDeviceId + 2) * sizeof(wchar_t));
    DWORD type = 0, size = static_cast<DWORD>(value.bytes.size());
    if (RegQueryValueExW(key.get(), name, nullptr, &type, value.bytes.data(), &size) != ERROR_SUCCESS) return false;
    value.type = type;
    value.bytes.resize(size);
    return true;
  });
}

bool SaveSettings(const RecordingSettings& settings) {
  unique_hkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool saved = true;
  for (const auto& [name, value] : StoredValuesOf(settings)) {
    saved = RegSetValueExW(key.get(), name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size())) ==
                ERROR_SUCCESS &&
            saved;
  }
  return saved;
}
