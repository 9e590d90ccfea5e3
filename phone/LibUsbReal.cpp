// The libusb calls of the Linux phone platform, made on libusb itself.
#include <libusb.h>

#include "LibUsb.h"

namespace {

constexpr std::uint16_t kMotorolaVendor = 0x22B8;

libusb_device_handle* H(TUsbHandle handle) {
  return reinterpret_cast<libusb_device_handle*>(handle);
}

std::string LocationOf(libusb_device* device) {
  std::uint8_t ports[8];
  const int count = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string location = std::to_string(libusb_get_bus_number(device));
  for (int i = 0; i < count; ++i) {
    location += i ? '.' : '-';
    location += std::to_string(ports[i]);
  }
  return location;
}

int Departed(libusb_context*, libusb_device*, libusb_hotplug_event, void*) {
  return 0;  // waking the event handler is all it is for
}

class TLibUsb : public ILibUsb {
 public:
  TLibUsb() {
    if (libusb_init(&Context) != 0) Context = nullptr;
  }
  ~TLibUsb() override {
    if (Context) libusb_exit(Context);
  }
  bool Available() const override { return Context != nullptr; }

  std::vector<TUsbDevice> Devices() override {
    std::vector<TUsbDevice> out;
    libusb_device** list = nullptr;
    if (!Context || libusb_get_device_list(Context, &list) < 0) return out;
    for (libusb_device** d = list; *d; ++d) {
      libusb_device_descriptor descriptor;
      if (libusb_get_device_descriptor(*d, &descriptor) != 0) continue;
      TUsbDevice device{LocationOf(*d), descriptor.idVendor, descriptor.idProduct, {}};
      libusb_config_descriptor* config = nullptr;
      if (libusb_get_active_config_descriptor(*d, &config) == 0) {
        for (int i = 0; i < config->bNumInterfaces; ++i) {
          if (config->interface[i].num_altsetting < 1) continue;
          const libusb_interface_descriptor& a = config->interface[i].altsetting[0];
          device.Interfaces.push_back({a.bInterfaceNumber, a.bInterfaceClass, a.iInterface});
        }
        libusb_free_config_descriptor(config);
      }
      out.push_back(std::move(device));
    }
    libusb_free_device_list(list, 1);
    return out;
  }

  int Open(const std::string& location, TUsbHandle& handle) override {
    libusb_device** list = nullptr;
    if (!Context || libusb_get_device_list(Context, &list) < 0) return LIBUSB_ERROR_NO_DEVICE;
    int result = LIBUSB_ERROR_NO_DEVICE;
    for (libusb_device** d = list; *d; ++d) {
      if (LocationOf(*d) != location) continue;
      libusb_device_handle* opened = nullptr;
      result = libusb_open(*d, &opened);
      handle = reinterpret_cast<TUsbHandle>(opened);
      break;
    }
    libusb_free_device_list(list, 1);
    return result;
  }

  void Close(TUsbHandle handle) override { libusb_close(H(handle)); }
  int KernelDriverActive(TUsbHandle handle, int iface) override {
    return libusb_kernel_driver_active(H(handle), iface);
  }
  int DetachKernelDriver(TUsbHandle handle, int iface) override {
    return libusb_detach_kernel_driver(H(handle), iface);
  }
  int AttachKernelDriver(TUsbHandle handle, int iface) override {
    return libusb_attach_kernel_driver(H(handle), iface);
  }
  int ClaimInterface(TUsbHandle handle, int iface) override {
    return libusb_claim_interface(H(handle), iface);
  }
  int ReleaseInterface(TUsbHandle handle, int iface) override {
    return libusb_release_interface(H(handle), iface);
  }
  int GetStringDescriptor(TUsbHandle handle, std::uint8_t index, std::uint16_t language,
                          std::uint8_t* data, int length) override {
    return libusb_get_string_descriptor(H(handle), index, language, data, length);
  }
  int ControlTransfer(TUsbHandle handle, std::uint8_t requestType, std::uint8_t request,
                      std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                      std::uint16_t length, unsigned timeoutMs) override {
    return libusb_control_transfer(H(handle), requestType, request, value, index, data, length,
                                   timeoutMs);
  }

  bool WatchRemovals() override {
    if (!Context || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return false;
    if (!Watching) {
      Watching = libusb_hotplug_register_callback(
                     Context, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_NO_FLAGS,
                     kMotorolaVendor, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, Departed,
                     nullptr, nullptr) == LIBUSB_SUCCESS;
    }
    return Watching;
  }
  void HandleEvents(std::uint32_t ms) override {
    timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    if (Context) libusb_handle_events_timeout_completed(Context, &tv, nullptr);
  }
  void Interrupt() override {
    if (Context) libusb_interrupt_event_handler(Context);
  }

 private:
  libusb_context* Context = nullptr;
  bool Watching = false;
};

}  // namespace

std::unique_ptr<ILibUsb> CreateLibUsb() {
  return std::make_unique<TLibUsb>();
}
