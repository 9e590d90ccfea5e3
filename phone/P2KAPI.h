#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PhonePlatform.h"
#include "StatusPoster.h"

// The phone link: finds a Motorola P2K phone on USB, switches it into P2K mode, opens its command
// interface, watches for its removal on a thread of its own, and carries the file, seem and
// restart commands over the P2K transport.
namespace P2KAPI {

struct TPhoneFileEntry {
  std::string Name;
  std::uint32_t Size = 0;
};

// The phone files listed by the last search, in the order the phone listed them.
class TFileList {
 public:
  void Clear() { Entries.clear(); }
  // A phone file was written: the listing takes its new size.
  void SetSize(const std::string& name, std::uint32_t size) {
    for (TPhoneFileEntry& entry : Entries) {
      if (entry.Name == name) entry.Size = size;
    }
  }
  void Add(TPhoneFileEntry entry) { Entries.push_back(std::move(entry)); }
  int Count() const { return static_cast<int>(Entries.size()); }
  const TPhoneFileEntry& Items(int index) const { return Entries.at(static_cast<size_t>(index)); }

 private:
  std::vector<TPhoneFileEntry> Entries;
};

// Created and freed by the main window; a search appends nothing while it is null.
extern TFileList* PhoneFiles;
// Diagnostic lines and transfer progress (0..100). Set them before the link is started.
extern std::function<void(const std::string&)> OnLog;
extern std::function<void(int)> OnProgress;

// The names of funlight.pat on the phone's two drives, as search patterns: UTF-16 big-endian
// "/a/" or "/c/", the separator 0xFFFE, "funlight.pat" and a terminating 0 (34 bytes each).
extern const std::string FunlightPattern1;
extern const std::string FunlightPattern2;

// Why the last failed operation failed, in terms a user can act on; the log line, or LastError,
// has the detail. Set by every failure and kept until the caller clears it.
enum class TFailure {
  None,
  NotConnected,    // no interface is open
  NoAnswer,        // the phone did not answer within the time-outs
  TransferFailed,  // the driver refused or failed a transfer
  BadAnswer,       // an answer that is short, malformed, or not for this command
  Refused          // the phone refused: a failure status in its answer
};

// The outcome of a file search: a failed command is not the same as no file.
enum class TSearchResult { Found, NotFound, Failed };

struct TInterfaceName {
  std::string Name;
  std::uint16_t QueryCode = 0;
};

inline constexpr std::uint32_t WM_P2KSTATUS = 0x437;

inline constexpr std::uint32_t kNameQueryIoctl = 0x80002010u;
inline constexpr std::uint32_t kTransferIoctl = 0x80002014u;
inline constexpr std::uint32_t kScsiPassThroughDirectIoctl = 0x0004D014u;
inline constexpr std::uint32_t kDeviceInterfaceFlags = 0x12;
inline constexpr std::uint16_t kDefaultInterfaceNumber = 8;
inline constexpr std::uint16_t kStorageSwitchCode = 8;

inline constexpr char kModemName[] = "\\\\.\\Motorola USB Modem";
inline constexpr char kModemNumberedName[] = "\\\\.\\Motorola USB Modem #";
inline constexpr int kLastModemNumber = 20;
inline constexpr char kModeSwitchCommand[] = "AT+MODE=8\r";
inline constexpr char kRegistryKeyPrefix[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#";
inline constexpr char kRegistryKeySuffix[] = "\\#\\Control";

inline constexpr std::uint16_t kCommandFileSystem = 0x4A;
inline constexpr std::uint16_t RDELEM = 0x20;
inline constexpr std::uint16_t WRELEM = 0x2F;
inline constexpr std::uint16_t kCommandRestart = 0x22;

inline constexpr std::uint32_t kFileOpen = 0;
inline constexpr std::uint32_t kFileRead = 1;
inline constexpr std::uint32_t kFileWrite = 2;
inline constexpr std::uint32_t kFileClose = 4;
inline constexpr std::uint32_t kFileSearch = 7;
inline constexpr std::uint32_t kFileSearchNext = 8;

inline constexpr std::uint32_t kChunkSize = 1024;
inline constexpr std::uint32_t kWriteDataLength = 1032;
inline constexpr std::uint32_t kMaxCommandData = 1032;
inline constexpr std::uint32_t kAnswerBufferSize = 4101;
inline constexpr std::uint32_t kAnswerDataOffset = 18;
inline constexpr std::uint32_t kPollAnswerSize = 8;
inline constexpr std::uint32_t kSearchEntrySize = 268;
inline constexpr std::uint32_t kTransferTimeoutMs = 5000;
inline constexpr std::uint32_t kAnswerTimeoutMs = 40000;

// Builds a search pattern: the text as UTF-16 big-endian with 0xFFFE in place of '|' and a
// terminating 0.
std::string MakeSearchPattern(const std::string& text);

class TP2KAPI;

// Stands for the link's hidden status window: posted status messages are delivered through it,
// and a message that arrives after the link is gone is dropped.
class TStatusWindow {
 public:
  explicit TStatusWindow(TP2KAPI* owner) : Owner(owner) {}
  void Release() { Owner.store(nullptr); }
  void Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

 private:
  std::atomic<TP2KAPI*> Owner;
};

class TP2KAPI {
 public:
  TP2KAPI(IPhonePlatform& platform, IStatusPoster& poster);
  // Stops the watcher and waits for it to end; it closes an open interface on its way out.
  ~TP2KAPI();
  // Frees the link without waiting longer than waitMs for its watcher, which may be held up in a
  // driver call that cannot be cancelled (a modem write, a 25 s SCSI request). A watcher still
  // running then is left to end by itself and frees the link when it does; it posts and logs
  // nothing more, but goes on using the platform, which must stay. Returns whether it was left.
  static bool Free(TP2KAPI* link, std::uint32_t waitMs = 1000);
  TP2KAPI(const TP2KAPI&) = delete;
  TP2KAPI& operator=(const TP2KAPI&) = delete;

  std::uint32_t ThreadId = 0;
  std::function<void(int)> OnStatus;
  std::uint16_t PacketNumber = 0;
  std::uint32_t FileSize = 0;
  std::string LastError;
  TFailure LastFailure = TFailure::None;
  bool Connected = false;
  // Lets the application handle pending window messages between the chunks of a write.
  std::function<void()> ProcessMessages;

  // Link state. The watcher writes the device fields under TransferLock; read them through
  // OpenDevice() or with the lock held.
  TInterfaceName TestCommandInterface;
  TInterfaceName FlashInterface;
  TInterfaceName CurrentInterface;
  THandle DeviceHandle = IPhonePlatform::kNoHandle;
  std::string DevicePath;
  std::uint16_t InterfaceNumber = kDefaultInterfaceNumber;
  std::atomic<bool> Running{false};
  std::shared_ptr<TStatusWindow> StatusWindow;

  // Resets the link and posts "not connected", unless the watcher holds an open interface.
  bool Start(bool watch);
  void Stop();

  bool SendModeSwitch();
  THandle FindP2KDevice(const std::string& name, std::uint16_t queryCode);
  bool SwitchStorageToP2K(std::uint16_t code);
  void WatchDevice();

  bool SendCommand(std::uint16_t command, const std::uint8_t* data, std::uint16_t dataLength,
                   std::uint8_t* answer, std::uint32_t answerCapacity, std::uint16_t& answerLength);
  // Each returns whether the request completed, and the number of bytes the driver transferred.
  bool WriteData(THandle device, const std::uint8_t* request, std::uint32_t length,
                 std::uint32_t& transferred);
  // answer must hold kAnswerBufferSize bytes.
  bool ReadData(THandle device, const std::uint8_t* request, std::uint8_t* answer,
                std::uint32_t& received);

  bool OpenPhoneFile(const std::string& name, std::uint32_t size, std::uint8_t attribute);
  bool ClosePhoneFile();
  bool ReadPhoneFile(const std::string& localPath, const std::string& phoneName,
                     std::uint32_t size);
  bool WritePhoneFile(const std::string& localPath, const std::string& phoneName,
                      bool processMessages, std::uint8_t attribute);
  bool FindPhoneFiles(const std::string& pattern, bool clear);
  // The search of FindPhoneFiles, telling a failed command apart from a search that lists nothing.
  TSearchResult SearchPhoneFiles(const std::string& pattern, bool clear);
  bool ReadSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset, std::uint16_t count,
                std::uint8_t* buffer, std::uint16_t& size);
  bool WriteSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset,
                 std::uint16_t count, const std::uint8_t* source);
  bool RestartPhone();

  // The status window's message handler.
  void StatusWindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  // The registry key that changes when the open interface goes away.
  std::string RegistryKeyName() const;
  // The open interface, or kNoHandle.
  THandle CurrentDevice();
  bool WatcherRunning() const { return WatcherActive.load(); }

 private:
  void Log(const std::string& line) const;
  void PostStatus(int status);
  // The end of the watcher thread: tells Free, or frees the link when Free has left it.
  void WatcherFinished();
  // Waits ms milliseconds; false when the link was stopped meanwhile.
  bool Pause(std::uint32_t ms);
  // The watcher takes the transfer lock by polling through the platform's sleep, so that a
  // simulated clock can still run the transfer that holds it.
  std::unique_lock<std::mutex> LockFromWatcher();
  void WaitForRemoval();
  bool DeviceStillListed();
  // Hands the device path of each present interface of the class to visit, in enumeration
  // order, until visit returns true; interfaces without a usable detail are skipped. False when
  // the class list cannot be had.
  bool EachInterface(const TGuid& interfaceClass,
                     const std::function<bool(const std::string& path)>& visit);
  void CloseDevice();
  bool IoWait(THandle device, const std::uint8_t* input, std::uint32_t inputLength,
              std::uint8_t* output, std::uint32_t outputLength, const char* name,
              std::uint32_t& transferred);

  IPhonePlatform& Platform;
  IStatusPoster& Poster;
  std::mutex TransferLock;
  THandle StopEvent = IPhonePlatform::kNoHandle;
  THandle WatcherEnded = IPhonePlatform::kNoHandle;
  std::unique_ptr<IPhoneThread> Watcher;
  std::atomic<bool> WatcherActive{false};
  // Guards the end of the watcher against Free; once Abandoned, the owner's poster and hooks may
  // be gone.
  mutable std::mutex ExitMutex;
  bool Abandoned = false;
};

}  // namespace P2KAPI
