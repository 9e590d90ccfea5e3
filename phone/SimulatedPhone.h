#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The simulated Motorola P2K phone on the simulated machine's USB port (SimulatedMachine.h): it
// answers the link's requests byte for byte, keeps files and seem records, and can be plugged,
// unplugged and switched between its modes.
//
// Seed folder (LoadSeed/SaveSeed):
//   DIR/funlight.pat     the phone's "/a/funlight.pat" (or the name given to LoadSeed)
//   DIR/<x>/<path>       any further file, stored as "/<x>/<path>" (x a drive letter such as a, c)
//   DIR/seems.txt        seem records, one run of bytes per line: SEEM RECORD OFFSET BYTES
//                        SEEM, RECORD, OFFSET decimal (a leading 0 too) or 0x hexadecimal, no
//                        sign, at most 65535; BYTES hexadecimal digit pairs, blanks allowed between
//                        them; '#' starts a comment. A record is as long as its furthest byte;
//                        bytes no line names are 0.

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

  int Restarts() const;

  // Reads the seed folder described above; throws std::runtime_error on a malformed seems.txt.
  void LoadSeed(const std::string& dir, const std::string& patName = "/a/funlight.pat");
  void SaveSeed(const std::string& dir, const std::string& patName = "/a/funlight.pat") const;

 private:
  friend class TSimulatedMachine;
  explicit TSimulatedPhone(TSimulatedMachine& machine) : Machine(machine) {}
  TSimulatedMachine& Machine;
};
