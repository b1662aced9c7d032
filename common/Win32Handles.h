#pragma once
// Move-only owners for the Win32 handle kinds the program uses, plus scope
// guards for the begin/end pairs (GetDC/ReleaseDC, SelectObject, BeginPaint,
// CoInitializeEx). COM interfaces are held in Microsoft::WRL::ComPtr.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <utility>

using Microsoft::WRL::ComPtr;

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::pointer;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer value) noexcept : value_(value) {}
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::IsValid(value_); }

  pointer release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  void reset(pointer value = Traits::Invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (Traits::IsValid(old) && old != value) Traits::Close(old);
  }

  // For out-parameters: releases what is held first, unlike a bare &member.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::Invalid();
};

template <typename T, typename Closer, Closer close>
struct NullInvalidTraits {
  using pointer = T;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer value) noexcept { return value != nullptr; }
  static void Close(pointer value) noexcept { close(value); }
};

namespace handle_detail {
inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void DeleteGdiObject(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void DeleteMemoryDc(HDC h) noexcept { ::DeleteDC(h); }
inline void ReleaseScreenDc(HDC h) noexcept { ::ReleaseDC(nullptr, h); }
inline void CloseRegKey(HKEY h) noexcept { ::RegCloseKey(h); }
inline void DestroyMenuHandle(HMENU h) noexcept { ::DestroyMenu(h); }
}  // namespace handle_detail

struct FileHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(pointer value) noexcept { return value != INVALID_HANDLE_VALUE && value != nullptr; }
  static void Close(pointer value) noexcept { ::CloseHandle(value); }
};

template <typename T>
using unique_gdi_traits = NullInvalidTraits<T, void (*)(HGDIOBJ) noexcept, &handle_detail::DeleteGdiObject>;

using unique_kernel_handle = unique_handle<NullInvalidTraits<HANDLE, void (*)(HANDLE) noexcept, &handle_detail::CloseKernelHandle>>;
using unique_file = unique_handle<FileHandleTraits>;
using unique_hbitmap = unique_handle<unique_gdi_traits<HBITMAP>>;
using unique_hfont = unique_handle<unique_gdi_traits<HFONT>>;
using unique_hbrush = unique_handle<unique_gdi_traits<HBRUSH>>;
using unique_hpen = unique_handle<unique_gdi_traits<HPEN>>;
// A DC from CreateCompatibleDC / CreateDC.
using unique_hdc = unique_handle<NullInvalidTraits<HDC, void (*)(HDC) noexcept, &handle_detail::DeleteMemoryDc>>;
// The whole-screen DC from GetDC(nullptr).
using unique_screen_dc = unique_handle<NullInvalidTraits<HDC, void (*)(HDC) noexcept, &handle_detail::ReleaseScreenDc>>;
using unique_hkey = unique_handle<NullInvalidTraits<HKEY, void (*)(HKEY) noexcept, &handle_detail::CloseRegKey>>;
using unique_hmenu = unique_handle<NullInvalidTraits<HMENU, void (*)(HMENU) noexcept, &handle_detail::DestroyMenuHandle>>;

// Memory the platform hands out with CoTaskMemAlloc.
template <typename T>
class unique_cotaskmem {
 public:
  unique_cotaskmem() noexcept = default;
  explicit unique_cotaskmem(T* value) noexcept : value_(value) {}
  unique_cotaskmem(unique_cotaskmem&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  unique_cotaskmem& operator=(unique_cotaskmem&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, nullptr));
    return *this;
  }
  unique_cotaskmem(const unique_cotaskmem&) = delete;
  unique_cotaskmem& operator=(const unique_cotaskmem&) = delete;
  ~unique_cotaskmem() { reset(); }

  T* get() const noexcept { return value_; }
  T* operator->() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != nullptr; }
  void reset(T* value = nullptr) noexcept {
    T* old = std::exchange(value_, value);
    if (old && old != value) ::CoTaskMemFree(old);
  }
  T** put() noexcept {
    reset();
    return &value_;
  }

 private:
  T* value_ = nullptr;
};

// Selects an object into a DC and puts the previous one back at scope end.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectObjectScope() {
    if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint ... EndPaint for one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) noexcept : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const noexcept { return dc_; }
  const RECT& area() const noexcept { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// CoInitializeEx for one thread's scope; uninitialises only what it initialised.
class ComApartment {
 public:
  explicit ComApartment(DWORD model) noexcept : result_(::CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};
