#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The operating-system calls the phone link makes, one method per call, so that the link runs
// against Windows, against a simulated machine with a simulated phone, or against a machine
// without any phone. Values and codes are those of the Win32 calls they stand for.

using THandle = std::uintptr_t;

struct TGuid {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
  bool operator==(const TGuid&) const = default;
};

// State of one overlapped request, owned by the caller from the request until it has completed
// or been cancelled. The platform keeps its own record of the request in State.
struct TOverlappedState {
  virtual ~TOverlappedState() = default;
};

struct TOverlapped {
  THandle Event = 0;  // manual-reset event signalled when the request completes
  std::unique_ptr<TOverlappedState> State;
};

// A thread started through the platform.
class IPhoneThread {
 public:
  virtual ~IPhoneThread() = default;
  virtual std::uint32_t Id() const = 0;
  virtual void Join() = 0;
  // Lets the thread run on by itself: it frees what it holds when it ends, and this object may
  // be destroyed at once without waiting for it.
  virtual void Detach() = 0;
};

class IPhonePlatform {
 public:
  static constexpr THandle kNoHandle = 0;

  // Access, sharing and flags of OpenDevice.
  static constexpr std::uint32_t kGenericRead = 0x80000000u;
  static constexpr std::uint32_t kGenericWrite = 0x40000000u;
  static constexpr std::uint32_t kFileShareRead = 0x1;
  static constexpr std::uint32_t kFileShareWrite = 0x2;
  static constexpr std::uint32_t kFileFlagOverlapped = 0x40000000u;
  static constexpr std::uint32_t kFileFlagNoBuffering = 0x20000000u;

  // SetupAPI enumeration flags: present devices, device interfaces.
  static constexpr std::uint32_t kDigcfPresent = 0x2;
  static constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

  // Wait results and time-outs.
  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
  static constexpr std::uint32_t kWaitObject0 = 0;
  static constexpr std::uint32_t kWaitTimeout = 258;
  static constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

  // Error codes.
  static constexpr std::uint32_t kErrorSuccess = 0;
  static constexpr std::uint32_t kErrorFileNotFound = 2;
  static constexpr std::uint32_t kErrorInvalidHandle = 6;
  static constexpr std::uint32_t kErrorInsufficientBuffer = 122;
  static constexpr std::uint32_t kErrorNoMoreItems = 259;
  static constexpr std::uint32_t kErrorOperationAborted = 995;
  static constexpr std::uint32_t kErrorIoIncomplete = 996;
  static constexpr std::uint32_t kErrorIoPending = 997;
  static constexpr std::uint32_t kErrorKeyDeleted = 1018;
  static constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

  // Registry access mask (read) and change-notification filter bits.
  static constexpr std::uint32_t kKeyRead = 0x20019;
  static constexpr std::uint32_t kRegNotifyChangeName = 0x1;
  static constexpr std::uint32_t kRegNotifyChangeLastSet = 0x4;

  virtual ~IPhonePlatform() = default;

  // False on a system without the phone's drivers, where no phone can ever be found.
  virtual bool HasPhoneDriver() const { return true; }
  // True when the last search found the phone but this user may not open it.
  virtual bool AccessDenied() const { return false; }

  // Device files (CreateFile, WriteFile, CloseHandle). OpenDevice opens an existing device and
  // returns kNoHandle when it cannot. CloseHandle also closes events.
  virtual THandle OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t shareMode,
                             std::uint32_t flags) = 0;
  virtual bool WriteDevice(THandle device, const std::uint8_t* data, std::uint32_t length,
                           std::uint32_t& written) = 0;
  virtual void CloseHandle(THandle handle) = 0;

  // Device-interface enumeration (SetupDiGetClassDevs, SetupDiEnumDeviceInterfaces,
  // SetupDiGetDeviceInterfaceDetail, SetupDiDestroyDeviceInfoList). GetClassDevices returns
  // kNoHandle on failure. QueryInterfaceDetailSize is the size query made with no buffer: it
  // returns the call's result and sets the required size and the error code.
  virtual THandle GetClassDevices(const TGuid& interfaceClass, std::uint32_t flags) = 0;
  virtual bool EnumDeviceInterface(THandle devices, const TGuid& interfaceClass,
                                   std::uint32_t index) = 0;
  virtual bool QueryInterfaceDetailSize(THandle devices, const TGuid& interfaceClass,
                                        std::uint32_t index, std::uint32_t& requiredSize,
                                        std::uint32_t& lastError) = 0;
  virtual bool GetInterfaceDetail(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                                  std::uint32_t detailSize, std::string& devicePath) = 0;
  virtual void DestroyDeviceList(THandle devices) = 0;

  // Events (CreateEvent, SetEvent, ResetEvent) and waits (WaitForSingleObject,
  // WaitForMultipleObjects waiting for any one).
  virtual THandle CreateEventObject(bool manualReset, bool initialState) = 0;
  virtual bool SetEventObject(THandle event) = 0;
  virtual bool ResetEventObject(THandle event) = 0;
  virtual std::uint32_t WaitForObject(THandle object, std::uint32_t timeoutMs) = 0;
  virtual std::uint32_t WaitForObjects(const std::vector<THandle>& objects,
                                       std::uint32_t timeoutMs) = 0;

  // DeviceIoControl. With an overlapped structure the result is true when the request completed
  // at once, and false with lastError kErrorIoPending while it runs; its event is signalled on
  // completion. Without one the call completes before it returns.
  virtual bool IoControl(THandle device, std::uint32_t code, const void* input,
                         std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                         TOverlapped* overlapped, std::uint32_t& lastError) = 0;
  // Cancels a pending request; when it returns the request no longer touches its buffers.
  virtual bool CancelIo(THandle device, TOverlapped& overlapped) = 0;
  virtual bool GetOverlappedResult(THandle device, TOverlapped& overlapped,
                                   std::uint32_t& bytesTransferred, bool wait) = 0;

  // Registry under HKEY_LOCAL_MACHINE (RegOpenKeyEx, RegNotifyChangeKeyValue, RegCloseKey).
  // The results are Win32 error codes, 0 meaning success.
  virtual long RegOpenLocalMachineKey(const std::string& subKey, std::uint32_t access,
                                      THandle& key) = 0;
  virtual long RegNotifyChange(THandle key, bool watchSubtree, std::uint32_t filter, THandle event,
                               bool asynchronous) = 0;
  virtual void RegCloseKey(THandle key) = 0;

  // Threads, Sleep and GetTickCount.
  virtual std::unique_ptr<IPhoneThread> StartThread(std::function<void()> body) = 0;
  virtual void Sleep(std::uint32_t ms) = 0;
  virtual std::uint32_t GetTickCount() = 0;
};

// The device-interface class of the Motorola P2K interface driver and the Windows disk class.
inline constexpr TGuid kP2KInterfaceClass = {
    0x4E1E1E15, 0x52D7, 0x11D4, {0x85, 0x2D, 0x00, 0x10, 0x5A, 0xA6, 0xF8, 0x0B}};
inline constexpr TGuid kDiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The platform of this machine: Windows on Windows, libusb on Linux.
std::unique_ptr<IPhonePlatform> CreateSystemPhonePlatform();
