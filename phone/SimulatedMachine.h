#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PhonePlatform.h"
#include "SimulatedFaults.h"
#include "SimulatedPhone.h"

// A simulated machine with a simulated Motorola P2K phone on its USB port. The phone answers the
// driver requests of the phone link byte for byte, keeps files and seem records, can be plugged
// and unplugged, and can be told to answer late, wrongly or not at all.
//
// Clock. In Manual mode the clock moves only when a thread that the machine did not start waits
// (a test, or the user-interface thread in a transfer): that thread steps the clock from one due
// moment to the next, and at each step lets the threads started through StartThread run until
// they all wait again. Those threads never move the clock themselves, so a watcher without a
// phone costs nothing and every run takes the same course. In RealTime mode the ticks are real
// and every wait really waits.

enum class TClockMode { Manual, RealTime };

class TSimulatedMachine : public IPhonePlatform {
 public:
  explicit TSimulatedMachine(TClockMode mode = TClockMode::Manual, std::uint32_t startTick = 0);
  ~TSimulatedMachine() override;
  TSimulatedMachine(const TSimulatedMachine&) = delete;
  TSimulatedMachine& operator=(const TSimulatedMachine&) = delete;

  TSimulatedPhone& Phone() { return PhoneFacade; }

  // Other devices of the machine, listed before the phone's.
  void AddP2KInterface(const TSimInterface& entry);
  void AddDisk(const std::string& path);

  TClockMode ClockMode() const;
  std::uint64_t Now() const;  // ms since the machine started
  // Manual mode: moves the clock on by ms, letting the machine's threads run at every step.
  void Advance(std::uint32_t ms);
  // Moves the clock on until done() holds (checked at every step) or maxMs have passed.
  bool AdvanceUntil(const std::function<bool()>& done, std::uint32_t maxMs);
  // Waits until every thread started through StartThread waits on the machine.
  void WaitIdle();
  // Threads started through StartThread that have not ended, detached ones included. The machine
  // waits for its detached threads when it is destroyed.
  int Threads() const;
  // Times the machine gave up waiting for its threads to settle (a thread blocked elsewhere).
  int SettleTimeouts() const;

  // Installs the test's observer (null for none); it must outlive the machine's use of it.
  void SetObserver(ISimObserver* observer);
  int OpenHandles() const;        // handles neither closed nor freed
  int InvalidHandleUses() const;  // calls made with a handle that was closed or never opened

  // IPhonePlatform
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

  struct TState;

 private:
  friend class TSimulatedPhone;
  std::unique_ptr<TState> State;
  TSimulatedPhone PhoneFacade;
};

// A real-time machine whose phone is seeded from dir and plugged in modem mode, for running the
// program without a phone.
std::unique_ptr<TSimulatedMachine> CreateSimulatedPhonePlatform(const std::string& seedDir);

// The registry key under which Windows keeps a device interface of the P2K class.
std::string DeviceInterfaceKey(const std::string& devicePath);
