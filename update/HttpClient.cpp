#include "update/HttpClient.h"

#include <vector>

bool SplitUrl(const std::wstring& url, UrlParts& parts) {
  wchar_t host[256] = {};
  wchar_t path[512] = {};
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof(components);
  components.lpszHostName = host;
  components.dwHostNameLength = 256;
  components.lpszUrlPath = path;
  components.dwUrlPathLength = 512;
  components.dwSchemeLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &components)) return false;
  if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) return false;
  parts.scheme = components.nScheme;
  parts.host = host;
  parts.port = components.nPort;
  parts.path = path;
  return true;
}

void OpenGetRequest(const UrlParts& parts, DWORD accessType, HttpRequest& r) {
  r.session.reset(WinHttpOpen(kUserAgent, accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!r.session) return;
  r.connection.reset(WinHttpConnect(r.session.get(), parts.host.c_str(), parts.port, 0));
  const DWORD flags = parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  r.request.reset(WinHttpOpenRequest(r.connection.get(), L"GET", parts.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
}

bool ReadBody(HINTERNET request, const std::function<bool(const char* piece, DWORD length)>& take, size_t limit) {
  size_t total = 0;
  for (;;) {
    DWORD available = 0;
    // A connection that breaks fails here, with a length announced or not:
    // only "nothing more" ends the body.
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    if (available == 0) return true;
    if (available > limit - total) return false;
    std::vector<char> piece(available, 0);
    DWORD read = 0;
    if (!WinHttpReadData(request, piece.data(), available, &read)) return false;
    total += read;
    if (!take(piece.data(), read)) return false;
  }
}

std::string HttpGet(const std::wstring& url) {
  UrlParts parts;
  if (!SplitUrl(url, parts)) return {};
  HttpRequest r;
  OpenGetRequest(parts, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, r);
  if (!r.session) return {};
  // A failed step leaves a null handle behind it, on which every later call
  // fails in turn: the body stays empty.
  WinHttpSendRequest(r.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  WinHttpReceiveResponse(r.request.get(), nullptr);

  std::string body;
  const auto append = [&body](const char* piece, DWORD length) {
    body.append(piece, length);
    return true;
  };
  return ReadBody(r.request.get(), append, kMaxAnswerBytes) ? body : std::string();
}

std::wstring Utf8ToWide(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.c_str(), -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.c_str(), -1, text.data(), length);
  text.resize(static_cast<size_t>(length) - 1);
  return text;
}
