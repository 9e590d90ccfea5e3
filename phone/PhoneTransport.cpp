#include <algorithm>
#include <cstring>
#include <vector>

#include "Bytes.h"
#include "P2KAPI.h"

// The transport: every command as a vendor control transfer, then polls until the answer waits,
// then its fetch.
namespace P2KAPI {

namespace {
using P = IPhonePlatform;
}  // namespace

bool TP2KAPI::IoWait(THandle device, const std::uint8_t* input, std::uint32_t inputLength,
                     std::uint8_t* output, std::uint32_t outputLength, const char* name,
                     std::uint32_t& transferred) {
  transferred = 0;
  TOverlapped overlapped;
  overlapped.Event = Platform.CreateEventObject(true, false);
  std::uint32_t error = 0;
  if (!Platform.IoControl(device, kTransferIoctl, input, inputLength, output, outputLength,
                          &overlapped, error) &&
      error != P::kErrorIoPending) {
    // Refused outright: its event will never be signalled, so waiting for it is pointless.
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::TransferFailed;
    Log(std::string(name) + " GetOverlappedResult fail");
    return false;
  }
  if (Platform.WaitForObject(overlapped.Event, kTransferTimeoutMs) != P::kWaitObject0) {
    Platform.CancelIo(device, overlapped);
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::NoAnswer;
    Log(std::string(name) + " DevIOCtl fail");
    return false;
  }
  if (!Platform.GetOverlappedResult(device, overlapped, transferred, false)) {
    transferred = 0;
    Platform.CancelIo(device, overlapped);
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::TransferFailed;
    Log(std::string(name) + " GetOverlappedResult fail");
    return false;
  }
  Platform.CloseHandle(overlapped.Event);
  return true;
}

bool TP2KAPI::WriteData(THandle device, const std::uint8_t* request, std::uint32_t length,
                        std::uint32_t& transferred) {
  std::uint8_t output[5] = {};
  return IoWait(device, request, length, output, sizeof output, "WriteData", transferred);
}

bool TP2KAPI::ReadData(THandle device, const std::uint8_t* request, std::uint8_t* answer,
                       std::uint32_t& received) {
  return IoWait(device, request, 9, answer, kAnswerBufferSize, "ReadData", received);
}

bool TP2KAPI::SendCommand(std::uint16_t command, const std::uint8_t* data, std::uint16_t dataLength,
                          std::uint8_t* answer, std::uint32_t answerCapacity,
                          std::uint16_t& answerLength) {
  if (dataLength > kMaxCommandData) {
    LastFailure = TFailure::TransferFailed;
    return false;
  }
  std::lock_guard lock(TransferLock);
  // The watcher has closed the interface (or never opened one): nothing to send to.
  const THandle device = DeviceHandle;
  if (device == P::kNoHandle) {
    LastFailure = TFailure::NotConnected;
    return false;
  }
  const std::uint16_t iface = InterfaceNumber;

  std::vector<std::uint8_t> request(dataLength + 18u, 0);
  request[0] = 0x41;
  request[1] = 0x02;
  Bytes::PutLE16(&request[4], iface);
  Bytes::PutLE16(&request[6], dataLength + 8u);
  Bytes::PutBE16(&request[8], PacketNumber & 0x0FFFu);
  Bytes::PutBE16(&request[10], command & 0x0FFFu);
  Bytes::PutBE16(&request[12], dataLength);
  if (dataLength > 0) std::memcpy(&request[16], data, dataLength);
  std::uint32_t transferred = 0;
  if (!WriteData(device, request.data(), static_cast<std::uint32_t>(request.size()), transferred)) {
    return false;
  }
  const std::uint32_t written = Platform.GetTickCount();

  std::vector<std::uint8_t> buffer(kAnswerBufferSize, 0);
  std::uint8_t poll[9] = {0xC1, 0x00, 0, 0, 0, 0, 0, 0, 0};
  Bytes::PutLE16(&poll[4], iface);
  Bytes::PutLE16(&poll[6], 8);
  for (;;) {
    std::memset(buffer.data(), 0, 12);
    Platform.Sleep(1);
    if (!ReadData(device, poll, buffer.data(), transferred)) return false;
    // The bytes a short poll answer lacks would read as zeros: refuse it.
    if (transferred < kPollAnswerSize) {
      LastFailure = TFailure::BadAnswer;
      return false;
    }
    if (buffer[5] == 1 || buffer[5] == 2) break;
    if (Platform.GetTickCount() - written >= kAnswerTimeoutMs) break;
  }
  if (Platform.GetTickCount() - written >= kAnswerTimeoutMs) {
    LastFailure = TFailure::NoAnswer;
    Log("USB Time-out");
    return false;
  }

  const std::uint8_t ready = buffer[5];
  std::uint8_t fetch[9] = {0xC1, 0x01, ready, 0, 0, 0, 0, 0, 0};
  Bytes::PutLE16(&fetch[4], iface);
  Bytes::PutLE16(&fetch[6], static_cast<std::uint16_t>(Bytes::BE16(&buffer[6]) + 4 + 2 * ready));
  std::memset(buffer.data(), 0, 1024);
  if (!ReadData(device, fetch, buffer.data(), transferred)) return false;

  // The answer counts only when all of its header and data arrived.
  const std::uint32_t length = Bytes::BE16(&buffer[14]);
  if (transferred < kAnswerDataOffset + length || buffer[4] != 1 ||
      Bytes::BE16(&buffer[8]) != length + 8 ||
      (((buffer[10] & 0x0Fu) << 8) | buffer[11]) != PacketNumber ||
      ((buffer[12] >> 4) != 6 && (buffer[12] >> 4) != 8) ||
      length > kAnswerBufferSize - kAnswerDataOffset) {
    LastFailure = TFailure::BadAnswer;
    return false;
  }
  answerLength = static_cast<std::uint16_t>(length);
  std::memcpy(answer, &buffer[kAnswerDataOffset], std::min(length, answerCapacity));
  return true;
}

}  // namespace P2KAPI
