// The phone platform of Windows: SetupAPI, device files, overlapped DeviceIoControl, the
// registry of the local machine, threads, Sleep and GetTickCount.
#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Bytes.h"
#include "PhonePlatform.h"

namespace {

HANDLE H(THandle h) {
  return reinterpret_cast<HANDLE>(h);
}
THandle T(HANDLE h) {
  return reinterpret_cast<THandle>(h);
}

GUID ToGuid(const TGuid& g) {
  GUID r;
  r.Data1 = g.Data1;
  r.Data2 = g.Data2;
  r.Data3 = g.Data3;
  std::memcpy(r.Data4, g.Data4, sizeof r.Data4);
  return r;
}

struct TWinOverlapped : TOverlappedState {
  OVERLAPPED Ov{};
  bool Started = false;  // the request was queued or completed
  bool Pending = false;  // and has not been collected yet
};

class TWinThread : public IPhoneThread {
 public:
  // The body belongs to the thread, so that a detached thread keeps it after this object is gone.
  explicit TWinThread(std::function<void()> body) {
    auto* owned = new std::function<void()>(std::move(body));
    Thread = ::CreateThread(nullptr, 0, &TWinThread::Run, owned, 0, &ThreadId);
    if (!Thread) delete owned;
  }
  ~TWinThread() override {
    Join();
    if (Thread) ::CloseHandle(Thread);
  }
  std::uint32_t Id() const override { return ThreadId; }
  void Join() override {
    if (Thread) ::WaitForSingleObject(Thread, INFINITE);
  }
  void Detach() override {
    if (Thread) ::CloseHandle(Thread);
    Thread = nullptr;
  }

 private:
  static DWORD WINAPI Run(LPVOID body) {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return 0;
  }
  HANDLE Thread = nullptr;
  DWORD ThreadId = 0;
};

class TWinPhonePlatform : public IPhonePlatform {
 public:
  THandle OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t shareMode,
                     std::uint32_t flags) override {
    const HANDLE h =
        ::CreateFileA(name.c_str(), access, shareMode, nullptr, OPEN_EXISTING, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoHandle : T(h);
  }

  bool WriteDevice(THandle device, const std::uint8_t* data, std::uint32_t length,
                   std::uint32_t& written) override {
    DWORD n = 0;
    const BOOL ok = ::WriteFile(H(device), data, length, &n, nullptr);
    written = n;
    return ok != FALSE;
  }

  void CloseHandle(THandle handle) override {
    if (handle != kNoHandle) ::CloseHandle(H(handle));
  }

  THandle GetClassDevices(const TGuid& interfaceClass, std::uint32_t flags) override {
    const GUID g = ToGuid(interfaceClass);
    const HDEVINFO set = ::SetupDiGetClassDevsA(&g, nullptr, nullptr, flags);
    return set == INVALID_HANDLE_VALUE ? kNoHandle : T(set);
  }

  bool EnumDeviceInterface(THandle devices, const TGuid& interfaceClass,
                           std::uint32_t index) override {
    SP_DEVICE_INTERFACE_DATA data;
    return Enum(devices, interfaceClass, index, data);
  }

  bool QueryInterfaceDetailSize(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                                std::uint32_t& requiredSize, std::uint32_t& lastError) override {
    SP_DEVICE_INTERFACE_DATA data;
    if (!Enum(devices, interfaceClass, index, data)) {
      lastError = ::GetLastError();
      return false;
    }
    DWORD required = 0;
    const BOOL ok =
        ::SetupDiGetDeviceInterfaceDetailA(H(devices), &data, nullptr, 0, &required, nullptr);
    lastError = ok ? 0 : ::GetLastError();
    requiredSize = required;
    return ok != FALSE;
  }

  bool GetInterfaceDetail(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                          std::uint32_t detailSize, std::string& devicePath) override {
    SP_DEVICE_INTERFACE_DATA data;
    if (!Enum(devices, interfaceClass, index, data)) return false;
    // The structure's size field is that of this process (5 in 32-bit code, 8 in 64-bit code).
    std::vector<BYTE> buffer(
        std::max<size_t>(detailSize, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) + 1, 0);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(
            H(devices), &data, detail, static_cast<DWORD>(buffer.size() - 1), nullptr, nullptr)) {
      return false;
    }
    devicePath = detail->DevicePath;
    return true;
  }

  void DestroyDeviceList(THandle devices) override {
    if (devices != kNoHandle) ::SetupDiDestroyDeviceInfoList(H(devices));
  }

  THandle CreateEventObject(bool manualReset, bool initialState) override {
    const HANDLE h = ::CreateEventA(nullptr, manualReset, initialState, nullptr);
    return h ? T(h) : kNoHandle;
  }

  bool SetEventObject(THandle event) override { return ::SetEvent(H(event)) != FALSE; }

  bool ResetEventObject(THandle event) override { return ::ResetEvent(H(event)) != FALSE; }

  std::uint32_t WaitForObject(THandle object, std::uint32_t timeoutMs) override {
    return ::WaitForSingleObject(H(object), timeoutMs);
  }

  std::uint32_t WaitForObjects(const std::vector<THandle>& objects,
                               std::uint32_t timeoutMs) override {
    std::vector<HANDLE> handles;
    for (THandle h : objects) handles.push_back(H(h));
    return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                    timeoutMs);
  }

  bool IoControl(THandle device, std::uint32_t code, const void* input, std::uint32_t inputLength,
                 void* output, std::uint32_t outputLength, TOverlapped* overlapped,
                 std::uint32_t& lastError) override {
    // The pass-through request comes in the layout of 32-bit code; a 64-bit process hands the
    // driver its own layout, whose data pointer is wider.
    SCSI_PASS_THROUGH_DIRECT native{};
    if (sizeof(void*) == 8 && code == 0x0004D014u && inputLength == 44) {
      const auto* r = static_cast<const std::uint8_t*>(input);
      native.Length = sizeof native;
      native.ScsiStatus = r[2];
      native.PathId = r[3];
      native.TargetId = r[4];
      native.Lun = r[5];
      native.CdbLength = r[6];
      native.SenseInfoLength = r[7];
      native.DataIn = r[8];
      native.DataTransferLength = Bytes::LE32(r + 12);
      native.TimeOutValue = Bytes::LE32(r + 16);
      native.DataBuffer = nullptr;
      native.SenseInfoOffset = Bytes::LE32(r + 24);
      std::memcpy(native.Cdb, r + 28, sizeof native.Cdb);
      input = &native;
      inputLength = sizeof native;
    }
    DWORD returned = 0;
    if (!overlapped) {
      const BOOL ok = ::DeviceIoControl(H(device), code, const_cast<void*>(input), inputLength,
                                        output, outputLength, &returned, nullptr);
      lastError = ok ? 0 : ::GetLastError();
      return ok != FALSE;
    }
    auto state = std::make_unique<TWinOverlapped>();
    state->Ov.hEvent = H(overlapped->Event);
    const BOOL ok = ::DeviceIoControl(H(device), code, const_cast<void*>(input), inputLength,
                                      output, outputLength, &returned, &state->Ov);
    lastError = ok ? 0 : ::GetLastError();
    state->Started = ok || lastError == ERROR_IO_PENDING;
    state->Pending = state->Started;
    overlapped->State = std::move(state);
    return ok != FALSE;
  }

  bool CancelIo(THandle device, TOverlapped& overlapped) override {
    auto* state = dynamic_cast<TWinOverlapped*>(overlapped.State.get());
    if (!state || !state->Pending) return false;
    const BOOL ok = ::CancelIoEx(H(device), &state->Ov);
    // The request may still write into its buffers until it has ended: wait for that.
    DWORD n = 0;
    ::GetOverlappedResult(H(device), &state->Ov, &n, TRUE);
    state->Pending = false;
    return ok != FALSE;
  }

  bool GetOverlappedResult(THandle device, TOverlapped& overlapped, std::uint32_t& bytesTransferred,
                           bool wait) override {
    auto* state = dynamic_cast<TWinOverlapped*>(overlapped.State.get());
    if (!state || !state->Started) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(H(device), &state->Ov, &n, wait);
    bytesTransferred = n;
    if (ok || ::GetLastError() != ERROR_IO_INCOMPLETE) state->Pending = false;
    return ok != FALSE;
  }

  long RegOpenLocalMachineKey(const std::string& subKey, std::uint32_t access,
                              THandle& key) override {
    HKEY hkey = nullptr;
    const LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, access, &hkey);
    key = result == ERROR_SUCCESS ? T(hkey) : kNoHandle;
    return result;
  }

  long RegNotifyChange(THandle key, bool watchSubtree, std::uint32_t filter, THandle event,
                       bool asynchronous) override {
    return ::RegNotifyChangeKeyValue(reinterpret_cast<HKEY>(key), watchSubtree, filter, H(event),
                                     asynchronous);
  }

  void RegCloseKey(THandle key) override {
    if (key != kNoHandle) ::RegCloseKey(reinterpret_cast<HKEY>(key));
  }

  std::unique_ptr<IPhoneThread> StartThread(std::function<void()> body) override {
    return std::make_unique<TWinThread>(std::move(body));
  }

  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }

  std::uint32_t GetTickCount() override { return ::GetTickCount(); }

 private:
  static bool Enum(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                   SP_DEVICE_INTERFACE_DATA& data) {
    const GUID g = ToGuid(interfaceClass);
    data = {};
    data.cbSize = sizeof data;
    return ::SetupDiEnumDeviceInterfaces(H(devices), nullptr, &g, index, &data) != FALSE;
  }
};

}  // namespace

std::unique_ptr<IPhonePlatform> CreateSystemPhonePlatform() {
  return std::make_unique<TWinPhonePlatform>();
}
