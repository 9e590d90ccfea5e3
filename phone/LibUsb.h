#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The few libusb-1.0 calls the Linux phone platform makes, behind an interface of its own so that
// tests can put a model of the phone behind it. Results are libusb's: a byte count or 0 on
// success, a negative LIBUSB_ERROR code on failure.

using TUsbHandle = std::uintptr_t;

inline constexpr int kUsbErrorAccess = -3;    // LIBUSB_ERROR_ACCESS
inline constexpr int kUsbErrorNoDevice = -4;  // LIBUSB_ERROR_NO_DEVICE
inline constexpr int kUsbErrorTimeout = -7;   // LIBUSB_ERROR_TIMEOUT

struct TUsbInterface {
  std::uint8_t Number = 0;     // bInterfaceNumber
  std::uint8_t Class = 0;      // bInterfaceClass
  std::uint8_t NameIndex = 0;  // iInterface
};

// A device as the device list gives it, with the interfaces of its active configuration.
struct TUsbDevice {
  std::string Location;  // "bus-port.port...", which stays the same while the device is attached
  std::uint16_t Vendor = 0;
  std::uint16_t Product = 0;
  std::vector<TUsbInterface> Interfaces;
};

class ILibUsb {
 public:
  virtual ~ILibUsb() = default;
  // libusb_init succeeded.
  virtual bool Available() const = 0;
  // libusb_get_device_list with each device's descriptors.
  virtual std::vector<TUsbDevice> Devices() = 0;
  // libusb_open of the device at the location; 0 and the handle, or the error.
  virtual int Open(const std::string& location, TUsbHandle& handle) = 0;
  virtual void Close(TUsbHandle handle) = 0;
  virtual int KernelDriverActive(TUsbHandle handle, int iface) = 0;
  virtual int DetachKernelDriver(TUsbHandle handle, int iface) = 0;
  virtual int AttachKernelDriver(TUsbHandle handle, int iface) = 0;
  virtual int ClaimInterface(TUsbHandle handle, int iface) = 0;
  virtual int ReleaseInterface(TUsbHandle handle, int iface) = 0;
  // libusb_get_string_descriptor: the raw descriptor (length, type 3, UTF-16LE text).
  virtual int GetStringDescriptor(TUsbHandle handle, std::uint8_t index, std::uint16_t language,
                                  std::uint8_t* data, int length) = 0;
  virtual int ControlTransfer(TUsbHandle handle, std::uint8_t requestType, std::uint8_t request,
                              std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                              std::uint16_t length, unsigned timeoutMs) = 0;
  // Registers for the departure of phones (hot-plug); false where hot-plug is not supported.
  virtual bool WatchRemovals() = 0;
  // libusb_handle_events_timeout: returns after at most ms, sooner when a device came or went or
  // Interrupt was called.
  virtual void HandleEvents(std::uint32_t ms) = 0;
  virtual void Interrupt() = 0;
};

// libusb itself.
std::unique_ptr<ILibUsb> CreateLibUsb();
