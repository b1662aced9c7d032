#include "recorder/UnfinishedRecordings.h"

#include "common/ProductInfo.h"
#include "common/Win32Handles.h"

namespace {

constexpr wchar_t kUnfinishedKey[] = L"SOFTWARE\\" QM_PRODUCT_NAME "\\Unfinished";

// What tells the file apart from one made later at the same path.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0, indexLow = 0;
  bool operator==(const FileIdentity& o) const {
    return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
  }
};

bool IdentityOf(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// The file for finishing: nobody else may write it meanwhile.
unique_file OpenForFinishing(const std::wstring& path) {
  return unique_file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

class HandleFile final : public Mp4File {
 public:
  explicit HandleFile(HANDLE file) : file_(file) {}
  uint64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  bool Read(uint64_t offset, void* data, size_t size) override {
    return Transfer(offset, size, [&](DWORD part, DWORD& done, OVERLAPPED& at, size_t from) {
      return ReadFile(file_, static_cast<BYTE*>(data) + from, part, &done, &at);
    });
  }
  bool Write(uint64_t offset, const void* data, size_t size) override {
    return Transfer(offset, size, [&](DWORD part, DWORD& done, OVERLAPPED& at, size_t from) {
      return WriteFile(file_, static_cast<const BYTE*>(data) + from, part, &done, &at);
    });
  }
  bool SetSize(uint64_t size) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(file_, FileEndOfFileInfo, &end, sizeof(end)) != FALSE;
  }
  bool Flush() override { return FlushFileBuffers(file_) != FALSE; }

 private:
  template <typename Call>
  bool Transfer(uint64_t offset, size_t size, Call call) {
    for (size_t done = 0; done < size;) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      const DWORD part = static_cast<DWORD>(size - done < (1u << 30) ? size - done : (1u << 30));
      DWORD moved = 0;
      if (!call(part, moved, at, done) || moved == 0) return false;
      done += moved;
    }
    return true;
  }
  HANDLE file_;
};

}  // namespace

bool RememberUnfinished(const std::wstring& path) {
  FileIdentity identity;
  unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !IdentityOf(file.get(), identity)) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUnfinishedKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool saved = RegSetValueExW(key, path.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&identity),
                                    sizeof(identity)) == ERROR_SUCCESS;
  // On the disk before the first fragment is: a power cut must not lose it.
  if (saved) RegFlushKey(key);
  RegCloseKey(key);
  return saved;
}

void ForgetUnfinished(const std::wstring& path) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kUnfinishedKey, path.c_str());
}

FinishResult FinishRecordingFile(const std::wstring& path) {
  // The writer may let go of the file a moment after its finish.
  unique_file file = OpenForFinishing(path);
  for (int i = 0; i < 20 && !file && GetLastError() == ERROR_SHARING_VIOLATION; ++i) {
    Sleep(100);
    file = OpenForFinishing(path);
  }
  if (!file) {
    FinishResult notNow;
    notNow.outcome = FinishOutcome::WriteFailed;  // the next start tries again
    return notNow;
  }
  HandleFile access(file.get());
  return FinishFragmentedMp4(access);
}

std::vector<RecoveredRecording> RecoverUnfinishedRecordings() {
  std::vector<RecoveredRecording> found;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUnfinishedKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return found;
  std::vector<std::pair<std::wstring, FileIdentity>> remembered;
  std::vector<wchar_t> name(32768);  // the longest path there is
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
    FileIdentity identity;
    DWORD size = sizeof(identity);
    const LSTATUS status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&identity), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A value of another shape is nothing of ours: it is only forgotten.
    if (status != ERROR_SUCCESS || type != REG_BINARY || size != sizeof(identity)) identity = {};
    remembered.emplace_back(std::wstring(name.data(), nameLength), identity);
  }
  RegCloseKey(key);

  for (const auto& [path, identity] : remembered) {
    unique_file file = OpenForFinishing(path);
    if (!file && GetLastError() == ERROR_SHARING_VIOLATION) continue;  // still being written
    FileIdentity now;
    if (!file || !IdentityOf(file.get(), now) || !(now == identity)) {
      ForgetUnfinished(path);  // gone, or another file by now
      continue;
    }
    HandleFile access(file.get());
    const FinishResult result = FinishFragmentedMp4(access);
    RecoveredRecording recording;
    recording.path = path;
    recording.recovered = result.outcome == FinishOutcome::Finished;
    recording.durationMs = result.durationMs;
    recording.bytes = access.Size();
    // A write that failed part way can be taken up again by the next start.
    if (result.outcome != FinishOutcome::WriteFailed) ForgetUnfinished(path);
    if (result.outcome != FinishOutcome::AlreadyFinished) found.push_back(recording);
  }
  return found;
}
