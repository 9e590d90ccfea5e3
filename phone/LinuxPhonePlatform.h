#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "LibUsb.h"
#include "PhonePlatform.h"

// Where the Linux platform looks for serial ports and disks: the roots of sysfs and of /dev.
struct TLinuxPaths {
  std::string Sys = "/sys";
  std::string Dev = "/dev";
};

// The phone platform of Linux. The link's Windows calls are carried out on what Linux offers:
// the modem names open the phone's CDC-ACM serial ports, the P2K interface class lists the vendor
// interfaces of Motorola devices and answers the name query with their string descriptors, each
// transfer request becomes the USB control transfer it describes, the disk class lists the
// phone's USB disks for an SG_IO request, and the removal key of an interface signals when the
// device leaves. Events, waits, threads and the clock are those of the clock platform.
class TLinuxPhonePlatform : public IPhonePlatform {
 public:
  TLinuxPhonePlatform(ILibUsb& usb, IPhonePlatform& clock, TLinuxPaths paths = {});
  ~TLinuxPhonePlatform() override;

  bool HasPhoneDriver() const override { return Usb.Available(); }
  bool AccessDenied() const override { return Denied; }

  THandle OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t shareMode,
                     std::uint32_t flags) override;
  bool WriteDevice(THandle device, const std::uint8_t* data, std::uint32_t length,
                   std::uint32_t& written) override;
  void CloseHandle(THandle handle) override;
  THandle GetClassDevices(const TGuid& interfaceClass, std::uint32_t flags) override;
  bool EnumDeviceInterface(THandle devices, const TGuid& interfaceClass,
                           std::uint32_t index) override;
  bool QueryInterfaceDetailSize(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                                std::uint32_t& requiredSize, std::uint32_t& lastError) override;
  bool GetInterfaceDetail(THandle devices, const TGuid& interfaceClass, std::uint32_t index,
                          std::uint32_t detailSize, std::string& devicePath) override;
  void DestroyDeviceList(THandle devices) override;
  THandle CreateEventObject(bool manualReset, bool initialState) override;
  bool SetEventObject(THandle event) override;
  bool ResetEventObject(THandle event) override;
  std::uint32_t WaitForObject(THandle object, std::uint32_t timeoutMs) override;
  std::uint32_t WaitForObjects(const std::vector<THandle>& objects,
                               std::uint32_t timeoutMs) override;
  bool IoControl(THandle device, std::uint32_t code, const void* input, std::uint32_t inputLength,
                 void* output, std::uint32_t outputLength, TOverlapped* overlapped,
                 std::uint32_t& lastError) override;
  bool CancelIo(THandle device, TOverlapped& overlapped) override;
  bool GetOverlappedResult(THandle device, TOverlapped& overlapped, std::uint32_t& bytesTransferred,
                           bool wait) override;
  long RegOpenLocalMachineKey(const std::string& subKey, std::uint32_t access,
                              THandle& key) override;
  long RegNotifyChange(THandle key, bool watchSubtree, std::uint32_t filter, THandle event,
                       bool asynchronous) override;
  void RegCloseKey(THandle key) override;
  std::unique_ptr<IPhoneThread> StartThread(std::function<void()> body) override;
  void Sleep(std::uint32_t ms) override;
  std::uint32_t GetTickCount() override;

  struct TObject;

 private:
  THandle Add(TObject object);
  TObject* Find(THandle handle);
  std::vector<std::string> ModemPorts() const;
  std::string UsbVendorOf(const std::string& sysPath) const;
  bool Present(const std::string& location);
  std::uint32_t WaitForRemoval(const std::vector<THandle>& objects, size_t watched,
                               const std::string& location);
  bool Transfer(TObject& device, const std::uint8_t* in, std::uint32_t inLength, std::uint8_t* out,
                std::uint32_t outLength, std::uint32_t& transferred, bool& timedOut);

  ILibUsb& Usb;
  IPhonePlatform& Clock;
  const TLinuxPaths Paths;
  std::mutex M;
  std::map<THandle, std::unique_ptr<TObject>> Objects;
  THandle NextHandle = 0x40000001;
  std::map<THandle, std::string> Watches;  // removal event -> device location
  std::set<THandle> TimedOut;              // events of requests that timed out in libusb
  std::vector<std::string> Modems;         // found by the last search
  std::atomic<bool> Denied{false};
  std::atomic<bool> DeniedNow{false};
};
