#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "PhonePlatform.h"
#include "SimulatedPhone.h"

// The seam through which a test watches the simulated machine and bends it: told of every driver
// call and every command, asked before each request and answer whether to fault or change it.
// The program installs none; the queues and records behind it are the tests' own.

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

class ISimObserver {
 public:
  virtual ~ISimObserver() = default;
  // All are called with the machine's lock held: they must not call back into the machine.
  virtual void Request(const TSimRequest&) {}
  virtual void Command(const TPhoneCommand&) {}
  virtual std::optional<TIoFault> Fault(TRequestKind) { return std::nullopt; }
  virtual std::optional<TAnswerTweak> Tweak(const TPhoneCommand&) { return std::nullopt; }
  virtual bool ClassListFails(const TGuid&) { return false; }
};
