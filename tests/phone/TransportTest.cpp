// The P2K command transport: request, poll and fetch buffers, time-outs and answer checks.
#include "PhoneTestSupport.h"

class Transport : public PhoneLinkOnBothTest {
 protected:
  void SetUp() override {
    PhoneLinkOnBothTest::SetUp();
    ConnectDirect();
  }
  bool Send(std::uint16_t command, const Bytes& data, std::uint32_t capacity = 64) {
    Answer.assign(capacity + 4, 0xEE);
    Link->LastFailure = None;
    return Link->SendCommand(command, data.data(), static_cast<std::uint16_t>(data.size()),
                             Answer.data(), capacity, Length);
  }
  std::vector<Bytes> Transfers() const {
    std::vector<Bytes> out;
    for (const auto& r : Calls(TSimCall::IoControl, P2KAPI::kTransferIoctl)) out.push_back(r.Input);
    return out;
  }
  Bytes Answer;
  std::uint16_t Length = 0;
};
INSTANTIATE_TEST_SUITE_P(Platforms, Transport, testing::Bool());

TEST_P(Transport, RequestPollAndFetchBuffers) {
  EXPECT_TRUE(Send(0x0555, Bytes(1032, 0x5A)));  // 1032 data bytes at most
  Sim.Clear();
  // Only the low twelve bits of the command go out; the fetch asks for 18 + data bytes.
  EXPECT_TRUE(Send(0xF555, {0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(Transfers(), (std::vector<Bytes>{{0x41, 2, 0, 0, 8, 0,    0x0B, 0,    0, 1, 5,
                                              0x55, 0, 3, 0, 0, 0xAA, 0xBB, 0xCC, 0, 0},
                                             {0xC1, 0, 0, 0, 8, 0, 8, 0, 0},
                                             {0xC1, 1, 1, 0, 8, 0, 0x12, 0, 0}}));
  // Ready code 2: announced 18 + 3 - 8 bytes; the fetch asks for 8 more, with wValue 2.
  Sim.Clear();
  Sim.QueueTweak({.Data = Bytes{9, 8, 7}, .ReadyCode = 2});
  EXPECT_TRUE(Send(0x22, {}));
  EXPECT_EQ(Transfers().at(0), (Bytes{0x41, 2, 0, 0, 8, 0, 8, 0, 0, 1, 0, 0x22, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Transfers().at(2), (Bytes{0xC1, 1, 2, 0, 8, 0, 0x15, 0, 0}));
  EXPECT_EQ(Sim.Commands().at(0).PacketWord, 1);
  Sim.Clear();
  EXPECT_FALSE(Send(0x0555, Bytes(1033, 0x5A)));
  Link->DeviceHandle = P::kNoHandle;
  EXPECT_FALSE(Send(0x22, {}));
  EXPECT_EQ(std::tuple(Link->LastFailure, Sim.Requests().size()), std::tuple(NotConnected, 0u));
}

// One poll per millisecond, each after its 1 ms sleep, for 40 s after the command (the tick count
// wraps during the second case).
TEST_P(Transport, AnswerTimeOutAndPollPacing) {
  for (const std::uint32_t delay : {1u, 39999u, 40000u, 0u}) {
    Sim.Clear();
    Sim.QueueTweak({.Data = Bytes{1, 2, 3}, .ReadyDelayMs = delay, .Drop = delay == 0});
    const auto start = Sim.Now();
    const bool ok = delay != 0 && delay < 40000;
    EXPECT_EQ(Send(0x0555, {}), ok);
    const auto elapsed = Sim.Now() - start;
    EXPECT_EQ(
        std::tuple(elapsed, Transfers().size(), Link->LastFailure, LoggedLine("USB Time-out")),
        std::tuple(ok ? delay : 40000u, elapsed + 1 + ok, ok ? None : NoAnswer, !ok));
    EXPECT_EQ(Answer[2], ok ? 3 : 0xEE);
  }
}

TEST_P(Transport, DriverFaultsEndTheCommandThroughItsOwnErrorPath) {
  using enum TRequestKind;
  using enum TIoFaultKind;
  using Case = std::tuple<TRequestKind, TIoFaultKind, std::uint32_t, std::string, int, std::size_t>;
  const std::string w = "WriteData ", r = "ReadData ", dev = "DevIOCtl fail";
  const std::string res = "GetOverlappedResult fail";
  // clang-format off
  for (const auto& [kind, fault, delay, log, elapsed, commands] : std::vector<Case>{
       {Command, Hang, 0, w + dev, 5000, 0}, {Command, Fail, 0, w + res, 0, 0},
       {Command, Delay, 5000, "", 5001, 1}, {Command, Delay, 5001, w + dev, 5000, 0},
       {Poll, Fail, 0, r + res, 1, 1}, {Poll, Hang, 0, r + dev, 5001, 1},
       {Fetch, Fail, 0, r + res, 1, 1}, {Fetch, Delay, 4999, "", 5000, 1},
       {Fetch, Hang, 0, r + dev, 5001, 1}}) {
    // clang-format on
    ConnectDirect();
    Sim.InjectIoFault({kind, fault, delay, 0});
    const auto start = Sim.Now();
    EXPECT_EQ(Send(0x22, {}), log.empty()) << log << delay;  // empty log: the command succeeds
    // Over USB a failed transfer fails at once, with nothing left to cancel.
    const auto failure = log.empty() ? None : fault == Fail ? TransferFailed : NoAnswer;
    EXPECT_EQ(
        std::tuple(Sim.Now() - start, Calls(TSimCall::CancelIo).size(), Sim.Commands().size(),
                   Link->LastFailure),
        std::tuple(elapsed, log.empty() || (Usb && fault == Fail) ? 0u : 1u, commands, failure))
        << log << delay;
    EXPECT_EQ(Logged(), log.empty() ? std::vector<std::string>{} : std::vector{log});
  }
}

// Only an answer to this command is taken (packet number 1 in the low 12 bits, kind 0x8x or 0x6x,
// byte 4 one, length as announced), and only when the driver handed over its header and data.
TEST_P(Transport, AnswerChecks) {
  using enum TRequestKind;
  const TIoFault none{.Kind = Any, .Fault = TIoFaultKind::Short, .Bytes = 1100};
  const auto cut = [](TRequestKind k, std::uint32_t n) {
    return TIoFault{.Kind = k, .Fault = TIoFaultKind::Short, .Bytes = n};
  };
  using Case = std::tuple<TAnswerTweak, TIoFault, int, bool>;
  // clang-format off
  for (const auto& [tweak, fault, size, ok] : std::vector<Case>{
       {{.PacketWord = 0xF001}, none, 3, true}, {{.PacketWord = 0x0002}, none, 3, false},
       {{.KindByte = 0x6A}, none, 3, true}, {{.KindByte = 0x70}, none, 3, false},
       {{.KindByte = 0x90}, none, 3, false}, {{.Byte4 = 2}, none, 3, false},
       {{.LengthSkew = 1}, none, 3, false}, {{.LengthSkew = -1}, none, 3, false},
       {{}, cut(Poll, 7), 3, false}, {{}, cut(Poll, 8), 3, true}, {{}, cut(Fetch, 17), 0, false},
       {{}, cut(Fetch, 18), 0, true}, {{}, cut(Fetch, 20), 3, false}, {{}, cut(Fetch, 21), 3, true},
       {{}, cut(Fetch, 1041), 1024, false}, {{}, cut(Fetch, 1042), 1024, true}}) {
    // clang-format on
    TAnswerTweak t = tweak;
    t.Data = Pattern(size);
    Sim.QueueTweak(t);
    Sim.InjectIoFault(fault);
    EXPECT_EQ(Send(0x0555, {}, 1024), ok) << fault.Bytes;
    Bytes expected = ok ? *t.Data : Bytes{};
    expected.resize(1028, 0xEE);
    EXPECT_EQ(std::tuple(Link->LastFailure, Answer), std::tuple(ok ? None : BadAnswer, expected))
        << fault.Bytes;
  }
  EXPECT_TRUE(Logged().empty());
  // No more than the caller holds is copied; the length is the phone's.
  Sim.QueueTweak({.Data = Pattern(10)});
  EXPECT_TRUE(Send(0x0555, {}, 4));
  EXPECT_EQ(std::tuple(Length, Answer),
            std::tuple(10, Bytes{1, 8, 15, 22, 0xEE, 0xEE, 0xEE, 0xEE}));
  Sim.QueueTweak({.Data = Pattern(4090)});  // more than the fetch buffer can have carried
  EXPECT_FALSE(Send(0x0555, {}, 65536));
}
