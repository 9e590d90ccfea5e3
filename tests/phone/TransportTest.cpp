// The P2K command transport: request, poll and fetch buffers, time-outs and answer checks.
#include "PhoneTestSupport.h"

using P = IPhonePlatform;
using enum P2KAPI::TFailure;

namespace {

struct Sent {
  bool ok = false;
  std::uint16_t length = 0;
  Bytes answer;
};

}  // namespace

class Transport : public PhoneLinkTest {
 protected:
  void SetUp() override {
    PhoneLinkTest::SetUp();
    ConnectDirect();
  }

  Sent Send(std::uint16_t command, const Bytes& data, std::uint32_t capacity = 64) {
    Sent s;
    s.answer.assign(capacity + 4, 0xEE);
    s.ok = Link->SendCommand(command, data.data(), static_cast<std::uint16_t>(data.size()),
                             s.answer.data(), capacity, s.length);
    return s;
  }
};

struct RequestCase {
  std::uint16_t command;
  Bytes data;
  Bytes request;
};

class RequestBuffers : public Transport, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestBuffers, AreLaidOutForTheDriver) {
  const RequestCase c = GetParam();
  EXPECT_TRUE(Send(c.command, c.data).ok);
  const auto transfers = Ioctls(P2KAPI::kTransferIoctl);
  ASSERT_EQ(transfers.size(), 3u);  // command, one poll, fetch
  EXPECT_EQ(transfers[0].Input, c.request);
  EXPECT_EQ(transfers[1].Input, (Bytes{0xC1, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x00}));
  // The phone announced an answer of 12 + data bytes with ready code 1: fetch 18 + data bytes.
  EXPECT_EQ(transfers[2].Input, (Bytes{0xC1, 0x01, 0x01, 0x00, 0x08, 0x00, 0x12, 0x00, 0x00}));
  for (const auto& t : transfers) EXPECT_EQ(t.Handle, Link->DeviceHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, RequestBuffers,
    ::testing::Values(RequestCase{0x22,
                                  {},
                                  {0x41, 0x02, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00,
                                   0x22, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
                      RequestCase{0x0555,
                                  {0xAA, 0xBB, 0xCC},
                                  {0x41, 0x02, 0x00, 0x00, 0x08, 0x00, 0x0B, 0x00, 0x00, 0x01, 0x05,
                                   0x55, 0x00, 0x03, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0x00, 0x00}},
                      // Only the low twelve bits of the command go out.
                      RequestCase{0xF777,
                                  {0x01},
                                  {0x41, 0x02, 0x00, 0x00, 0x08, 0x00, 0x09, 0x00, 0x00, 0x01, 0x07,
                                   0x77, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00}}));

TEST_F(Transport, LargestRequestCarries1032DataBytesAndLongerOnesAreRefused) {
  const Bytes largest(1032, 0x5A);
  EXPECT_TRUE(Send(0x0555, largest).ok);
  const auto transfers = Ioctls(P2KAPI::kTransferIoctl);
  ASSERT_FALSE(transfers.empty());
  EXPECT_EQ(transfers[0].Input.size(), 1050u);
  EXPECT_EQ(transfers[0].Input[6] | (transfers[0].Input[7] << 8), 1040);

  Forget();
  EXPECT_FALSE(Send(0x0555, Bytes(1033, 0x5A)).ok);
  EXPECT_TRUE(Sim.Requests().empty());
}

struct DelayCase {
  std::uint32_t readyDelay;
  bool drop;
  bool ok;
};

class AnswerTimeout : public Transport, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(AnswerTimeout, ComesExactlyFortySecondsAfterTheCommand) {
  const DelayCase c = GetParam();
  Sim.QueueTweak({.Data = Bytes{1, 2, 3}, .ReadyDelayMs = c.readyDelay, .Drop = c.drop});
  const auto start = Sim.Now();

  const Sent s = Send(0x0555, {});

  EXPECT_EQ(s.ok, c.ok);
  const auto elapsed = Sim.Now() - start;
  EXPECT_EQ(elapsed, c.drop ? 40000u : std::min<std::uint64_t>(c.readyDelay, 40000));
  EXPECT_EQ(LoggedLine("USB Time-out"), !c.ok);
  EXPECT_EQ(Link->LastFailure, c.ok ? None : NoAnswer);
  const auto polls = Ioctls(P2KAPI::kTransferIoctl).size() - 1 - (c.ok ? 1 : 0);
  EXPECT_EQ(polls, elapsed);  // one poll per millisecond, each after its 1 ms sleep
  if (c.ok) {
    EXPECT_EQ(Bytes(s.answer.begin(), s.answer.begin() + 3), (Bytes{1, 2, 3}));
  }
}

INSTANTIATE_TEST_SUITE_P(Phone, AnswerTimeout,
                         ::testing::Values(DelayCase{1, false, true}, DelayCase{39999, false, true},
                                           DelayCase{40000, false, false},
                                           DelayCase{40001, false, false},
                                           DelayCase{0, true, false}));

TEST(TransportClock, TimeOutHoldsAcrossTheTickCountWrap) {
  TTestMachine sim(TClockMode::Manual, 0xFFFFFFFFu - 20000);
  TQueuedPoster poster;
  sim.Phone().Plug(TPhoneMode::P2K);
  P2KAPI::TP2KAPI link(sim, poster);
  link.Start(false);
  link.DeviceHandle = link.FindP2KDevice("Motorola Test Command", 0x0102);
  ASSERT_NE(link.DeviceHandle, P::kNoHandle);
  sim.QueueTweak({.Drop = true});
  const auto start = sim.Now();
  std::uint8_t answer[4];
  std::uint16_t length = 0;
  EXPECT_FALSE(link.SendCommand(0x22, nullptr, 0, answer, 4, length));
  EXPECT_EQ(sim.Now() - start, 40000u);
}

struct FaultCase {
  TRequestKind kind;
  TIoFaultKind fault;
  std::uint32_t delay;
  bool ok;
  std::string log;
  std::uint64_t elapsed;
  std::size_t cancels;
  std::size_t phoneCommands;
  P2KAPI::TFailure failure;
};

class DriverFaults : public Transport, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DriverFaults, EndTheCommandThroughItsOwnErrorPath) {
  const FaultCase c = GetParam();
  Sim.InjectIoFault({c.kind, c.fault, c.delay, 0});
  const auto start = Sim.Now();

  EXPECT_EQ(Send(0x22, {}).ok, c.ok);

  EXPECT_EQ(Sim.Now() - start, c.elapsed);
  if (c.log.empty()) {
    EXPECT_TRUE(Logged().empty());
  } else {
    EXPECT_EQ(Logged(), (std::vector<std::string>{c.log}));
  }
  EXPECT_EQ(Calls(TSimCall::CancelIo).size(), c.cancels);
  EXPECT_EQ(Sim.Commands().size(), c.phoneCommands);
  EXPECT_EQ(Link->LastFailure, c.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, DriverFaults,
    ::testing::Values(
        FaultCase{TRequestKind::Command, TIoFaultKind::Hang, 0, false, "WriteData DevIOCtl fail",
                  5000, 1, 0, NoAnswer},
        FaultCase{TRequestKind::Command, TIoFaultKind::Fail, 0, false,
                  "WriteData GetOverlappedResult fail", 0, 1, 0, TransferFailed},
        FaultCase{TRequestKind::Command, TIoFaultKind::Delay, 5000, true, "", 5001, 0, 1, None},
        FaultCase{TRequestKind::Command, TIoFaultKind::Delay, 5001, false,
                  "WriteData DevIOCtl fail", 5000, 1, 0, NoAnswer},
        FaultCase{TRequestKind::Poll, TIoFaultKind::Fail, 0, false,
                  "ReadData GetOverlappedResult fail", 1, 1, 1, TransferFailed},
        FaultCase{TRequestKind::Poll, TIoFaultKind::Hang, 0, false, "ReadData DevIOCtl fail", 5001,
                  1, 1, NoAnswer},
        FaultCase{TRequestKind::Fetch, TIoFaultKind::Fail, 0, false,
                  "ReadData GetOverlappedResult fail", 1, 1, 1, TransferFailed},
        FaultCase{TRequestKind::Fetch, TIoFaultKind::Delay, 4999, true, "", 5000, 0, 1, None},
        FaultCase{TRequestKind::Fetch, TIoFaultKind::Hang, 0, false, "ReadData DevIOCtl fail", 5001,
                  1, 1, NoAnswer}));

struct CheckCase {
  TAnswerTweak tweak;
  bool passes;
};

TAnswerTweak Tweak(std::optional<std::uint16_t> packet, std::optional<std::uint8_t> kind,
                   std::optional<std::uint8_t> byte4 = std::nullopt, int skew = 0,
                   std::optional<std::uint8_t> ready = std::nullopt) {
  return {.Data = Bytes{9, 8, 7},
          .ReadyCode = ready,
          .Byte4 = byte4,
          .PacketWord = packet,
          .KindByte = kind,
          .LengthSkew = skew};
}

class AnswerChecks : public Transport, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(AnswerChecks, AcceptOnlyAnAnswerToThisCommand) {
  const CheckCase c = GetParam();
  Sim.QueueTweak(c.tweak);
  const Sent s = Send(0x0555, {});
  EXPECT_EQ(s.ok, c.passes);
  EXPECT_TRUE(Logged().empty());  // a rejected answer is not logged
  EXPECT_EQ(Link->LastFailure, c.passes ? None : BadAnswer);
  if (c.passes) {
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(Bytes(s.answer.begin(), s.answer.begin() + 4), (Bytes{9, 8, 7, 0xEE}));
  } else {
    EXPECT_EQ(s.answer, Bytes(68, 0xEE));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Phone, AnswerChecks,
    ::testing::Values(
        CheckCase{Tweak(std::nullopt, std::nullopt), true},
        CheckCase{Tweak(0xF001, std::nullopt), true}, CheckCase{Tweak(0x1001, std::nullopt), true},
        CheckCase{Tweak(0x0002, std::nullopt), false},
        CheckCase{Tweak(0x0101, std::nullopt), false},
        CheckCase{Tweak(0x0000, std::nullopt), false}, CheckCase{Tweak(std::nullopt, 0x80), true},
        CheckCase{Tweak(std::nullopt, 0x8F), true}, CheckCase{Tweak(std::nullopt, 0x60), true},
        CheckCase{Tweak(std::nullopt, 0x6A), true}, CheckCase{Tweak(std::nullopt, 0x00), false},
        CheckCase{Tweak(std::nullopt, 0x40), false}, CheckCase{Tweak(std::nullopt, 0x70), false},
        CheckCase{Tweak(std::nullopt, 0x90), false}, CheckCase{Tweak(std::nullopt, 0xA0), false},
        CheckCase{Tweak(std::nullopt, std::nullopt, 0), false},
        CheckCase{Tweak(std::nullopt, std::nullopt, 2), false},
        CheckCase{Tweak(std::nullopt, std::nullopt, std::nullopt, 1), false},
        CheckCase{Tweak(std::nullopt, std::nullopt, std::nullopt, -1), false},
        CheckCase{Tweak(std::nullopt, std::nullopt, std::nullopt, 0, 2), true}));

TEST_F(Transport, ReadyCodeTwoSizesTheFetchWithFourMoreBytes) {
  Sim.QueueTweak(Tweak(std::nullopt, std::nullopt, std::nullopt, 0, 2));
  EXPECT_TRUE(Send(0x0555, {}).ok);
  const auto transfers = Ioctls(P2KAPI::kTransferIoctl);
  ASSERT_EQ(transfers.size(), 3u);
  // Announced length 18 + 3 - 4 - 4 = 13; fetch wLength 13 + 4 + 4 = 21, wValue 2.
  EXPECT_EQ(transfers[2].Input, (Bytes{0xC1, 0x01, 0x02, 0x00, 0x08, 0x00, 0x15, 0x00, 0x00}));
}

struct CapacityCase {
  std::size_t answerSize;
  std::uint32_t capacity;
  bool ok;
};

class AnswerCapacity : public Transport, public ::testing::WithParamInterface<CapacityCase> {};

TEST_P(AnswerCapacity, CopiesNoMoreThanTheCallerHolds) {
  const CapacityCase c = GetParam();
  const Bytes data = Pattern(c.answerSize);
  Sim.QueueTweak({.Data = data});

  const Sent s = Send(0x0555, {}, c.capacity);

  ASSERT_EQ(s.ok, c.ok);
  if (!c.ok) return;
  EXPECT_EQ(static_cast<std::size_t>(s.length), c.answerSize);
  const std::size_t copied = std::min<std::size_t>(c.answerSize, c.capacity);
  EXPECT_EQ(Bytes(s.answer.begin(), s.answer.begin() + static_cast<long>(copied)),
            Bytes(data.begin(), data.begin() + static_cast<long>(copied)));
  EXPECT_EQ(Bytes(s.answer.begin() + static_cast<long>(copied), s.answer.end()),
            Bytes(s.answer.size() - copied, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(Phone, AnswerCapacity,
                         ::testing::Values(CapacityCase{10, 4, true}, CapacityCase{10, 10, true},
                                           CapacityCase{0, 4, true}, CapacityCase{1, 1, true},
                                           CapacityCase{4083, 4083, true},
                                           CapacityCase{4083, 1024, true},
                                           // More than the fetch buffer can have carried.
                                           CapacityCase{4090, 65536, false}));

struct ShortAnswerCase {
  TRequestKind kind;
  std::uint32_t delivered;  // bytes the driver hands over of the poll or fetch answer
  std::size_t answerSize;   // data bytes of the phone's answer
  bool ok;
};

class ShortAnswers : public Transport, public ::testing::WithParamInterface<ShortAnswerCase> {};

TEST_P(ShortAnswers, AreRefusedUnlessHeaderAndDataArrived) {
  const ShortAnswerCase c = GetParam();
  const Bytes data = Pattern(c.answerSize);
  Sim.QueueTweak({.Data = data});
  Sim.InjectIoFault({.Kind = c.kind, .Fault = TIoFaultKind::Short, .Bytes = c.delivered});

  const Sent s = Send(0x0555, {}, 1024);

  EXPECT_EQ(s.ok, c.ok);
  EXPECT_TRUE(Logged().empty());
  EXPECT_EQ(Link->LastFailure, c.ok ? None : BadAnswer);
  if (c.ok) {
    EXPECT_EQ(s.length, c.answerSize);
    EXPECT_EQ(Bytes(s.answer.begin(), s.answer.begin() + static_cast<long>(c.answerSize)), data);
  } else {
    EXPECT_EQ(s.answer, Bytes(1028, 0xEE));
  }
}

INSTANTIATE_TEST_SUITE_P(Phone, ShortAnswers,
                         ::testing::Values(ShortAnswerCase{TRequestKind::Poll, 0, 3, false},
                                           ShortAnswerCase{TRequestKind::Poll, 7, 3, false},
                                           ShortAnswerCase{TRequestKind::Poll, 8, 3, true},
                                           ShortAnswerCase{TRequestKind::Fetch, 0, 3, false},
                                           // Shorter than the header: not an answer without data.
                                           ShortAnswerCase{TRequestKind::Fetch, 17, 0, false},
                                           ShortAnswerCase{TRequestKind::Fetch, 18, 0, true},
                                           ShortAnswerCase{TRequestKind::Fetch, 20, 3, false},
                                           ShortAnswerCase{TRequestKind::Fetch, 21, 3, true},
                                           ShortAnswerCase{TRequestKind::Fetch, 100, 1024, false},
                                           ShortAnswerCase{TRequestKind::Fetch, 1041, 1024, false},
                                           ShortAnswerCase{TRequestKind::Fetch, 1042, 1024, true}));

TEST_F(Transport, NoOpenInterfaceFailsAtOnceWithoutDriverCalls) {
  const THandle device = Link->DeviceHandle;
  Link->DeviceHandle = P::kNoHandle;
  const auto start = Sim.Now();
  EXPECT_FALSE(Send(0x22, {}).ok);
  EXPECT_EQ(Sim.Now(), start);
  EXPECT_TRUE(Sim.Requests().empty());
  EXPECT_EQ(Link->LastFailure, NotConnected);
  Link->DeviceHandle = device;
}

TEST_F(Transport, EveryPacketCarriesPacketNumberOne) {
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Send(0x0555, {}).ok);
  const auto commands = Sim.Commands();
  ASSERT_EQ(commands.size(), 3u);
  for (const auto& c : commands) EXPECT_EQ(c.PacketWord, 1);
}
