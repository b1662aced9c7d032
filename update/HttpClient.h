#pragma once
// Blocking HTTP GET through WinHTTP, for the update check and the installer
// download. Each call opens its own handles and closes them before it returns.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/ProductInfo.h"
#include "common/Win32Handles.h"

inline constexpr wchar_t kUserAgent[] = L"" QM_PRODUCT_NAME "-Updater/1.0";

// The version service's answer is four short fields; anything larger is not
// an answer, and is not kept in memory either.
inline constexpr size_t kMaxAnswerBytes = 1024 * 1024;

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
  std::wstring host;  // at most 255 units
  INTERNET_PORT port = 0;
  std::wstring path;  // at most 511 units
};

// Splits an absolute http or https URL; false when it cannot be split or its
// host or path is too long.
bool SplitUrl(const std::wstring& url, UrlParts& parts);

namespace winhttp_detail {
inline void Close(HINTERNET h) noexcept { WinHttpCloseHandle(h); }
}  // namespace winhttp_detail
using unique_hinternet = unique_handle<NullInvalidTraits<HINTERNET, void (*)(HINTERNET) noexcept, &winhttp_detail::Close>>;

// An open request: session, connection and request handles, closed in the
// order request, connection, session.
struct HttpRequest {
  unique_hinternet session, connection, request;
  ~HttpRequest() {
    request.reset();
    connection.reset();
    session.reset();
  }
};

// Opens and sends a GET (steps shared by both users of the client). The
// caller looks at whichever handles it cares about.
void OpenGetRequest(const UrlParts& parts, DWORD accessType, HttpRequest& request);

// Reads the body of a received answer piece by piece, as the connection has
// it, and hands each piece to `take`, until the body ends or `take` returns
// false. Stops at a piece that cannot be read, and before one that would take
// the body past `limit` bytes. True when the body ended.
bool ReadBody(HINTERNET request, const std::function<bool(const char* piece, DWORD length)>& take,
              size_t limit = SIZE_MAX);

// The body of the answer to a GET of `url`, whatever its status; empty when
// anything failed or the body exceeded kMaxAnswerBytes.
std::string HttpGet(const std::wstring& url);

// UTF-8 bytes (up to the first zero byte) as UTF-16; invalid sequences
// become U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);
