// A camera for the tests: a DirectShow video source filter, registered as a
// video input device, sending a picture a test can recognise and follow.
// Two devices are registered: "Test Camera 1" fills its left half magenta,
// "Test Camera 2" yellow; the right half is dark blue with a white bar that
// moves 8 pixels to the right each frame (30 a second, 320 x 240 RGB32).
//
// Only what Wine's graph asks of a camera is answered; the rest is E_NOTIMPL.
//
// What it does is set, and what happened to it is counted, under
// HKCU\Software\Quillomat Test Camera, read when a camera is created:
//   Refuse = 1      Pause and Run fail, as with a camera another program holds
//   LoseAfter = N   after N frames it stops and reports the device lost
//   Stops, Releases how often a camera was stopped, and destroyed
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "common/HResult.h"
#include "common/Win32Handles.h"

namespace {

HMODULE g_module;
constexpr wchar_t kKey[] = L"Software\\Quillomat Test Camera";
constexpr GUID kCameraIds[2] = {{0x5f3c2a10, 0x7e41, 0x4b8a, {0x9d, 0x21, 0x3c, 0x6e, 0x80, 0x15, 0xa4, 0x01}},
                                {0x5f3c2a10, 0x7e41, 0x4b8a, {0x9d, 0x21, 0x3c, 0x6e, 0x80, 0x15, 0xa4, 0x02}}};
constexpr const wchar_t* kCameraNames[2] = {L"Test Camera 1", L"Test Camera 2"};
constexpr DWORD kCameraColours[2] = {0xff00ff, 0xffff00};
constexpr int kWidth = 320, kHeight = 240;

DWORD ReadSetting(const wchar_t* name) {
  DWORD value = 0, size = sizeof(value);
  RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}
void Count(const wchar_t* name) {
  const DWORD value = ReadSetting(name) + 1;
  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_DWORD, &value, sizeof(value));
}

void FillMediaType(AM_MEDIA_TYPE& type) {
  auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  *info = {{}, {}, 0, 0, 10000000 / 30,  // 30 frames a second
           {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 32, BI_RGB, kWidth * kHeight * 4, 0, 0, 0, 0}};
  type = {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, TRUE, FALSE, kWidth * kHeight * 4, FORMAT_VideoInfo, nullptr,
          sizeof(VIDEOINFOHEADER), reinterpret_cast<BYTE*>(info)};
}

// The counting every object here does, for one interface.
template <class Interface>
class Unknown : public Interface {
 public:
  virtual ~Unknown() = default;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP QueryInterface(REFIID id, void** out) override {
    *out = id == IID_IUnknown || id == __uuidof(Interface) ? static_cast<Interface*>(this) : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// An enumerator of one item, made afresh for each caller.
template <class Enum, class Item>
class OneItem final : public Unknown<Enum> {
 public:
  explicit OneItem(std::function<Item()> make) : make_(std::move(make)) {}
  STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override {
    const ULONG got = count > 0 && !done_ ? 1 : 0;
    if (got) items[0] = make_();
    done_ = done_ || got;
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP Reset() override { return E_NOTIMPL; }
  STDMETHODIMP Clone(Enum**) override { return E_NOTIMPL; }

 private:
  std::function<Item()> make_;
  bool done_ = false;
};

// The camera is its own single output pin too: the two interfaces share
// no method names, and a pin lives as long as its filter anyway.
class Camera final : public Unknown<IBaseFilter>, public IPin, public IKsPropertySet {
 public:
  explicit Camera(int index) : index_(index), refuse_(ReadSetting(L"Refuse")), loseAfter_(ReadSetting(L"LoseAfter")) {}
  ~Camera() override {
    Stop();
    Count(L"Releases");
  }
  STDMETHODIMP_(ULONG) AddRef() override { return Unknown::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Unknown::Release(); }
  STDMETHODIMP QueryInterface(REFIID id, void** out) override {
    if (id == IID_IPin) *out = static_cast<IPin*>(this);
    else if (id == IID_IKsPropertySet) *out = static_cast<IKsPropertySet*>(this);
    else return Unknown::QueryInterface(id, out);
    AddRef();
    return S_OK;
  }

  // The filter.
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override {
    if (state_ == State_Stopped) return S_OK;
    running_ = false;
    if (allocator_) allocator_->Decommit();  // frees a thread waiting for a buffer
    if (thread_.joinable()) thread_.join();
    state_ = State_Stopped;
    Count(L"Stops");
    return S_OK;
  }
  STDMETHODIMP Pause() override {
    if (refuse_) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    if (state_ == State_Stopped && allocator_) RETURN_IF_FAILED(allocator_->Commit());
    state_ = State_Paused;
    return VFW_S_CANT_CUE;  // a live source has nothing to show while paused
  }
  STDMETHODIMP Run(REFERENCE_TIME) override {
    if (refuse_) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    if (state_ == State_Stopped) RETURN_IF_FAILED(Pause());
    if (state_ != State_Running && input_) {
      running_ = true;
      thread_ = std::thread([this] { Send(); });
    }
    state_ = State_Running;
    return S_OK;
  }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
    *state = state_;
    return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }  // frames go untimed
  STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumPins(IEnumPins** pins) override {
    *pins = new OneItem<IEnumPins, IPin*>([this] {
      AddRef();
      return static_cast<IPin*>(this);
    });
    return S_OK;
  }
  STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
    info->achName[0] = L'\0';
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
  }
  // The graph owns its filters: pointers back to it stay uncounted.
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR) override {
    graph_ = graph;
    events_ = nullptr;
    ComPtr<IMediaEventSink> events;
    if (graph && SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(&events)))) events_ = events.Get();
    return S_OK;
  }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  // The pin.
  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE*) override {
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    AM_MEDIA_TYPE type;
    FillMediaType(type);
    HRESULT hr = receiver->ReceiveConnection(this, &type);
    CoTaskMemFree(type.pbFormat);
    RETURN_IF_FAILED(hr);
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    hr = receiver->QueryInterface(IID_PPV_ARGS(&input));
    if (SUCCEEDED(hr)) hr = input->GetAllocator(&allocator);
    // Two buffers at least: a tee copies each frame into a second one.
    ALLOCATOR_PROPERTIES wants{2, kWidth * kHeight * 4, 1, 0}, got{};
    if (SUCCEEDED(hr)) hr = allocator->SetProperties(&wants, &got);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.Get(), FALSE);
    if (FAILED(hr)) {
      receiver->Disconnect();
      return hr;
    }
    peer_ = receiver;
    input_ = input;
    allocator_ = allocator;
    return S_OK;
  }
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP Disconnect() override {
    if (!peer_) return S_FALSE;
    peer_.Reset();
    input_.Reset();
    allocator_.Reset();
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = peer_.Get();
    if (!peer_) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    info->pFilter = this;
    AddRef();
    info->dir = PINDIR_OUTPUT;
    wcscpy_s(info->achName, L"Capture");
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override {
    *types = new OneItem<IEnumMediaTypes, AM_MEDIA_TYPE*>([] {
      auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      FillMediaType(*type);
      return type;
    });
    return S_OK;
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // What kind of pin this is: a camera's capture pin.
  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size, DWORD* returned) override {
    if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (returned) *returned = sizeof(GUID);
    if (!data || size < sizeof(GUID)) return E_POINTER;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
  }
  STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }

 private:
  void Send() {
    for (DWORD frame = 0; running_; ++frame) {
      if (loseAfter_ && frame == loseAfter_) {
        if (events_) events_->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
        return;
      }
      ComPtr<IMediaSample> sample;
      BYTE* bytes = nullptr;
      if (FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0)) || FAILED(sample->GetPointer(&bytes))) return;
      auto* pixels = reinterpret_cast<DWORD*>(bytes);
      const int bar = kWidth / 2 + static_cast<int>(frame * 8 % (kWidth / 2 - 20));
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          pixels[y * kWidth + x] = x < kWidth / 2 ? kCameraColours[index_] : x >= bar && x < bar + 20 ? 0xffffff : 0x000080;
        }
      }
      sample->SetActualDataLength(kWidth * kHeight * 4);
      sample->SetSyncPoint(TRUE);
      input_->Receive(sample.Get());
      Sleep(33);
    }
  }

  const int index_;
  const bool refuse_;
  const DWORD loseAfter_;
  FILTER_STATE state_ = State_Stopped;
  IFilterGraph* graph_ = nullptr;
  IMediaEventSink* events_ = nullptr;
  ComPtr<IPin> peer_;
  ComPtr<IMemInputPin> input_;
  ComPtr<IMemAllocator> allocator_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

class Factory final : public Unknown<IClassFactory> {
 public:
  explicit Factory(int index) : index_(index) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID id, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<IBaseFilter> camera;
    camera.Attach(new Camera(index_));
    return camera->QueryInterface(id, out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  const int index_;
};

std::wstring ClassKey(int index) {
  wchar_t id[40];
  StringFromGUID2(kCameraIds[index], id, 40);
  return std::wstring(L"CLSID\\") + id;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = module;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID interfaceId, void** out) {
  for (int i = 0; i < 2; ++i) {
    if (id != kCameraIds[i]) continue;
    ComPtr<IClassFactory> factory;
    factory.Attach(new Factory(i));
    return factory->QueryInterface(interfaceId, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return S_FALSE; }  // the cameras' threads may still be winding down

// Both cameras, as video input devices; the counts start again.
STDAPI DllRegisterServer() {
  ComApartment com(COINIT_APARTMENTTHREADED);
  ComPtr<IFilterMapper2> mapper;
  RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper)));
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  for (int i = 0; i < 2; ++i) {
    const std::wstring key = ClassKey(i) + L"\\InprocServer32";
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, path, (length + 1) * sizeof(wchar_t));
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), L"ThreadingModel", REG_SZ, L"Both", sizeof(L"Both"));
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    ComPtr<IMoniker> device;
    RETURN_IF_FAILED(mapper->RegisterFilter(kCameraIds[i], kCameraNames[i], &device, &CLSID_VideoInputDeviceCategory,
                                            kCameraNames[i], &filter));
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
  return S_OK;
}

STDAPI DllUnregisterServer() {
  ComApartment com(COINIT_APARTMENTTHREADED);
  ComPtr<IFilterMapper2> mapper;
  RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper)));
  for (int i = 0; i < 2; ++i) {
    mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kCameraNames[i], kCameraIds[i]);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(i).c_str());
  }
  return S_OK;
}
