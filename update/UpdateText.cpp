#include "update/UpdateText.h"

#include <cwchar>

#include "common/LeadingNumber.h"

std::wstring ComposeOfferText(const std::wstring& version, const std::wstring& changelog) {
  std::wstring text = L"A new version is available: " + version + L"\n\n";
  if (!changelog.empty()) {
    std::wstring shown = changelog;
    if (shown.size() > kMaxChangelogUnits) {
      size_t cut = kMaxChangelogUnits;
      // Not between the two halves of a surrogate pair.
      if (shown[cut - 1] >= 0xD800 && shown[cut - 1] <= 0xDBFF) --cut;
      shown.resize(cut);
      shown += L"\u2026";
    }
    text += L"What's new:\n" + shown + L"\n\n";
  }
  return text + L"Click OK to download and install, or Cancel to skip.";
}

std::wstring DownloadProgressText(uint32_t received, uint32_t total) {
  wchar_t text[64];
  if (total != 0) {
    std::swprintf(text, 64, L"Downloading... %u / %u KB", received / 1024, total / 1024);
  } else {
    std::swprintf(text, 64, L"Downloading... %u KB", received / 1024);
  }
  return text;
}

uint32_t ParseContentLength(const std::wstring& text) {
  const LeadingNumber number = ReadLeadingNumber(text);
  return static_cast<uint32_t>(number.negative ? 0 - number.magnitude : number.magnitude);
}

std::wstring InstallerPath(const std::wstring& tempFolder) {
  std::wstring path = tempFolder + kInstallerName;
  if (tempFolder.empty() || path.size() + 1 > kMaxPathUnits) return {};
  return path;
}
