#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PhonePlatform.h"

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
//
// Seed folder (LoadSeed/SaveSeed):
//   DIR/funlight.pat     the phone's "/a/funlight.pat" (or the name given to LoadSeed)
//   DIR/<x>/<path>       any further file, stored as "/<x>/<path>" (x a drive letter such as a, c)
//   DIR/seems.txt        seem records, one run of bytes per line: SEEM RECORD OFFSET BYTES
//                        SEEM, RECORD, OFFSET decimal (a leading 0 too) or 0x hexadecimal, no
//                        sign, at most 65535; BYTES hexadecimal digit pairs, blanks allowed between
//                        them; '#' starts a comment. A record is as long as its furthest byte;
//                        bytes no line names are 0.

enum class TClockMode { Manual, RealTime };

enum class TPhoneMode {
  Modem,    // offers its USB modem port; "AT+MODE=8" on it switches to P2K mode
  Storage,  // attached as a USB disk; the vendor SCSI command switches to P2K mode
  P2K       // offers its P2K interface(s)
};

// A device interface of the P2K class.
struct TSimInterface {
  std::string Path;
  std::string Name = "Motorola Test Command";  // answered to the driver's name query
  std::uint16_t UsbInterface = 8;              // the wIndex its control transfers must carry
  bool Openable = true;
  bool AnswersNameQuery = true;                           // false: the name query never completes
  std::optional<std::vector<std::uint8_t>> NameAnswer{};  // raw name-query answer instead
  std::optional<std::uint32_t> DetailSize{};  // reported detail size instead of the real
  bool SizeQuerySucceeds = false;             // the size query wrongly succeeds
  bool HasRegistryKey = true;                 // its removal key exists
};

struct TPhoneSetup {
  std::string ModemPort = "\\\\.\\Motorola USB Modem";
  std::string DiskPath =
      "\\\\?\\usbstor#disk&ven_motorola&prod_p2k_storage&rev_0001#8&1f2e3d4c&0#"
      "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  std::vector<TSimInterface> Interfaces = {
      {"\\\\?\\usb#vid_22b8&pid_4902&mi_08#6&2c1e7a4b&0&0008#"
       "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}"}};
  std::uint32_t ModeSwitchDelayMs = 0;  // from the switch command to the P2K interface
  std::uint32_t RestartDelayMs = 2000;  // from a restart until the phone is back in modem mode
  std::uint8_t OpenStatus = 1;          // status of an open of an existing file
};

// Changes the answer to the next command that matches Command and SubCommand (any when unset).
struct TAnswerTweak {
  std::optional<std::uint16_t> Command{};
  std::optional<std::uint32_t> SubCommand{};        // of a file-system command
  std::optional<std::uint8_t> Status{};             // replaces the first answer byte
  std::optional<std::vector<std::uint8_t>> Data{};  // replaces the whole answer data
  std::uint32_t ReadyDelayMs = 0;           // polls see the answer only this long after the command
  bool Drop = false;                        // the answer never comes
  std::optional<std::uint8_t> ReadyCode{};  // poll byte 5 (1 by default)
  std::optional<std::uint8_t> Byte4{};      // fetch byte 4 (1 by default)
  std::optional<std::uint16_t> PacketWord{};  // fetch bytes 10 and 11 as sent
  std::optional<std::uint8_t> KindByte{};     // fetch byte 12
  int LengthSkew = 0;                         // added to the length in fetch bytes 8 and 9
};

// ModemWrite and StorageSwitch are the synchronous requests of the mode switch (the write to the
// modem port, the SCSI pass-through); a fault names them by kind, Any never matches them.
enum class TRequestKind { Any, Command, Poll, Fetch, NameQuery, ModemWrite, StorageSwitch };
enum class TIoFaultKind {
  Fail,    // the request completes with an error
  Hang,    // the request never completes (a synchronous one blocks its caller for good)
  Delay,   // the request completes after DelayMs; a synchronous one blocks its caller that long
  Unplug,  // the phone is pulled out as the request arrives
  Short    // the request completes, but the driver delivers at most Bytes bytes of its answer
};

// Acts on the matching request after Skip matching requests have gone through.
struct TIoFault {
  TRequestKind Kind = TRequestKind::Any;
  TIoFaultKind Fault = TIoFaultKind::Fail;
  std::uint32_t DelayMs = 0;
  int Skip = 0;
  std::uint32_t Bytes = 0;
};

enum class TSimCall {
  OpenDevice,
  WriteDevice,
  CloseHandle,
  GetClassDevices,
  IoControl,
  CancelIo,
  RegOpenKey,
  RegNotify,
  RegCloseKey,
  StartThread
};

// One driver call as the machine received it.
struct TSimRequest {
  TSimCall Call = TSimCall::OpenDevice;
  std::uint64_t Time = 0;  // ms since the machine started
  std::string Name;        // device name, path or registry key
  THandle Handle = 0;      // the handle used or returned
  std::uint32_t Code = 0;  // IOCTL code; access of an open; filter of a notification
  std::uint32_t Share = 0;
  std::uint32_t Flags = 0;
  std::vector<std::uint8_t> Input{};
  bool Succeeded = false;
};

// A P2K command as the phone decoded it.
struct TPhoneCommand {
  std::uint64_t Time = 0;
  std::uint16_t PacketWord = 0;
  std::uint16_t Command = 0;
  std::vector<std::uint8_t> Data{};
  // The sub-command of a file-system command, or -1.
  long SubCommand() const;
};

class TSimulatedMachine;

class TSimulatedPhone {
 public:
  void Plug(TPhoneMode mode);
  void Unplug();
  bool Plugged() const;
  TPhoneMode Mode() const;

  // Changes the phone's make-up; a plugged phone shows the change at once.
  void Configure(const std::function<void(TPhoneSetup&)>& change);
  TPhoneSetup Setup() const;

  void AddFile(const std::string& name, const std::vector<std::uint8_t>& data);
  std::optional<std::vector<std::uint8_t>> File(const std::string& name) const;
  std::vector<std::string> FileNames() const;
  void SetSeem(std::uint16_t seem, std::uint16_t record, const std::vector<std::uint8_t>& data);
  std::optional<std::vector<std::uint8_t>> Seem(std::uint16_t seem, std::uint16_t record) const;

  void QueueTweak(const TAnswerTweak& tweak);
  void InjectIoFault(const TIoFault& fault);
  std::vector<TPhoneCommand> Commands() const;
  void ClearCommands();
  int Restarts() const;

  // Reads the seed folder described above; throws std::runtime_error on a malformed seems.txt.
  void LoadSeed(const std::string& dir, const std::string& patName = "/a/funlight.pat");
  void SaveSeed(const std::string& dir, const std::string& patName = "/a/funlight.pat") const;

 private:
  friend class TSimulatedMachine;
  explicit TSimulatedPhone(TSimulatedMachine& machine) : Machine(machine) {}
  TSimulatedMachine& Machine;
};

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
  void SetClassListFails(const TGuid& interfaceClass, bool fails);

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

  std::vector<TSimRequest> Requests() const;
  void ClearRequests();
  void SetRecording(bool on);
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
