// Every exported function with each of its int (and short) arguments set in
// turn to the extremes, the other arguments valid. Nothing may crash, and in
// the UndefinedBehaviorSanitizer build no arithmetic may overflow: field
// values the protocol cuts to a byte are computed in types that cannot.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ImageFiles.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "model/GlobalMember.h"

namespace {

constexpr int kInts[] = {INT_MIN, -1, 0, INT_MAX};
constexpr short kShorts[] = {SHRT_MIN, -1, 0, SHRT_MAX};

// Calls `fn` with `args`; a function that returns a result code must
// return one of the five.
template <class Fn, class Tuple>
void CallAndCheck(Fn fn, const Tuple& args, size_t argument, long value) {
  using R = decltype(std::apply(fn, args));
  if constexpr (std::is_same_v<R, int>) {
    const int result = std::apply(fn, args);
    EXPECT_TRUE(result >= 0 && result <= 4)
        << "result " << result << " with argument " << argument << " = " << value;
  } else {
    (void)std::apply(fn, args);
  }
}

// Calls `fn` once for each extreme value of each int or short argument,
// with `valid` for all the others, then `after` to put shared state back.
template <class Tuple, class Fn, class After, size_t I>
void ProbeArgument(Fn fn, const Tuple& valid, After after) {
  using Arg = std::tuple_element_t<I, Tuple>;
  if constexpr (std::is_same_v<Arg, int>) {
    for (int v : kInts) {
      Tuple t = valid;
      std::get<I>(t) = v;
      CallAndCheck(fn, t, I, v);
      after();
    }
  } else if constexpr (std::is_same_v<Arg, short>) {
    for (short v : kShorts) {
      Tuple t = valid;
      std::get<I>(t) = v;
      CallAndCheck(fn, t, I, v);
      after();
    }
  }
}

// The bar screens' move-style table, whose value is no result code.
void MoveStyle(int moveStyle) { (void)getMoveStyle(moveStyle); }

template <class Tuple, class Fn, class After, size_t... I>
void ProbeAll(Fn fn, const Tuple& valid, After after, std::index_sequence<I...>) {
  (ProbeArgument<Tuple, Fn, After, I>(fn, valid, after), ...);
}

class EveryArgument : public SerialLineTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SerialLineTest::SetUp());
    net_.reset(new vexasim::Emulator(vexasim::TestOptions()));
    std::string error;
    ASSERT_TRUE(net_->start(&error)) << error;
    Settle();
  }
  void TearDown() override {
    globalMember.showPages.clear();
    Settle();
    SerialLineTest::TearDown();
  }

  // Short waits (the emulator answers at once; the results do not matter
  // here), one attempt, datagrams from a port the system picks.
  void Settle() {
    SetTimeOut(10, 10);
    SetReSendTimes(0);
    BindNetworkCard(ip(), 0);
    net_->clear();
  }

  template <class R, class... A, class... V>
  void Probe(R (*fn)(A...), V... valid) {
    ProbeAll(
        fn, std::tuple<A...>(valid...), [this] { Settle(); }, std::index_sequence_for<A...>());
  }

  char* ip() { return &address_[0]; }

  std::string address_ = vexasim::TestAddress();
  std::unique_ptr<vexasim::Emulator> net_;
};

TEST_F(EveryArgument, ExtremeIntsNeitherCrashNorOverflow) {
  imagefiles::ScratchDir dir;
  std::string picture = dir.write("q.png", imagefiles::Quadrants());
  char* const img = &picture[0];
  char* const ip = this->ip();
  char text[] = "A012", bus[] = "5", none[] = "", from[] = "00:00", to[] = "23:59";
  char files[] = "a.bmp,b.bmp";
  const int port = kPort;

  // Settings and services.
  Probe(BindNetworkCard, ip, 8801);
  Probe(SetTimeOut, 100, 100);
  Probe(SetReceiveTimeOut, 100);
  Probe(SetReSendTimes, 0);
  Probe(SetChnCodeMode, 0);
  Probe(OpenServer, 0);
  Probe(currentDateToString, 0);
  Probe(MoveStyle, 1);

  // Network commands.
  Probe(PlayShowPage_Net, ip, 1, 1);
  Probe(RelaySwitch_Net, ip, 1, 3, 1);
  Probe(RelayDelay_Net, ip, 1, 3, 5);
  Probe(SetBright_Net, ip, 1, 10, 1);
  Probe(StartPlay_Net, ip, 1);
  Probe(StopPlay_Net, ip, 1);
  Probe(TimeCheck_Net, ip, 1);
  Probe(SendDateTime_Net, ip, 1, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0);
  Probe(SendCollectionData_Net, text, ip, 1, 1, 3, 2, 1);
  Probe(SendCoordinateText_Net, text, ip, 1, 0, 16, 1, 1, 0);
  Probe(SendInternalText_Net, text, ip, 1, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1, true, 0);
  Probe(SendInternalText_Net_Custom, text, ip, 1, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1, 1);
  Probe(SendMulCollectionData_Net, text, ip, 1, 1, 0, 3, 2, 1, 1, 1);
  Probe(SendMulInternalText_Net, text, ip, 1, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1, true, 0, 1, 1);
  Probe(SendMulMaterial, 1, 1, ip, 0, port, 9600, bus, text, 0x31, 12, 12, 0, 192, 16, 0, 0, 0, 1,
        1, 0, 1, true, 0, 1, 1);
  Probe(PlayVoice_Net, text, ip, none, 1, 2);
  Probe(PlayVoice2_Net, text, ip, none, 1, 2, 5, 1, 2);
  Probe(SendLineUpContent, text, ip, 1, 3, 1, 1, false);
  Probe(SendLineUp_Net, text, ip, 1, 3, 1, 1, false);
  Probe(SendLineUp2_Net, text, ip, 1, 3, 1, 1, false, 2);
  Probe(PlayImageGroup_Net, ip, 1, 1, 3, 0, 0, 0, 1, 1, 1, true, false);
  Probe(ImageContentBuffer, img, 2, 16, 8);
  Probe(SendImageGroup_Net, img, ip, 1, 16, 8, 9, 0, 1, 2, 3, 1, true, 1, 1);
  Probe(SendImageGroupBuffer, 1, 1, ip, 0, port, 9600, bus, img, 16, 8, 9, 0, 1, 2, 3, 1, true, 1,
        1);
  Probe(SendMultimedia_Net, img, ip, 1, true, 0, 0, 16, 8, 2, 0, 0);
  Probe(SendMultimediaBuffer, img, ip, 1, static_cast<short>(0x78), 0, 0, 16, 8, 2, 0, 0);

  // Serial commands and bar screens.
  Probe(SetParams4BarScreen_Com, 1, port, 9600, 1, 2, 3, 1, 4, false);
  Probe(SendContent2BarScreen_Com, text, 1, port, 9600, 1, 1, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, false);
  Probe(PlayShowPage_Com, bus, 2, port, 9600, 1);
  Probe(StartPlay_Com, bus, 1, port, 9600);
  Probe(StopPlay_Com, bus, 1, port, 9600);
  Probe(RelaySwitch_Com, bus, 2, port, 9600, 3, 1);
  Probe(RelayDelay_Com, bus, 2, port, 9600, 3, 5);
  Probe(SetBright_Com, bus, 1, port, 9600, 10, 1);
  Probe(TimeCheck_Com, bus, 2, port, 9600);
  Probe(SendDateTime_Com, bus, 1, port, 9600, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0);
  Probe(PlayImageGroup_Com, bus, 2, port, 9600, 1, 3, 0, 0, 0, 1, 1, 1, true, false);
  Probe(SendCollectionData_Com, text, bus, 2, port, 9600, 1, 3, 2, 1);
  Probe(SendInternalText_Com, text, bus, 2, port, 9600, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1, true,
        0);
  Probe(SendLineUp_Com, text, bus, 1, port, 9600, 3, 1, 1, false);
  Probe(PlayVoice_Com, text, bus, 2, port, 9600);
  Probe(PlayVoice2_Com, text, bus, 2, port, 9600, 5, 1, 2);
  Probe(SendMulCollectionData_Com, text, bus, 1, port, 9600, 1, 0, 3, 2, 1, 1, 1);
  Probe(SendMulInternalText_Com, text, bus, 1, port, 9600, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1,
        true, 0, 1, 1);
  Probe(SendImageGroup_Com, img, bus, 1, port, 9600, 16, 8, 9, 0, 1, 2, 3, 1, true, 1, 1);

  // Show pages: builders on a page with an area, then the upload.
  auto page = [&] {
    globalMember.showPages.clear();
    AddShowPage(2, from, to, 0);
    AddArea(2, 0, 0, 192, 16);
  };
  page();
  Probe(AddShowPage, 2, from, to, 0);
  page();
  Probe(AddArea, 2, 0, 0, 192, 16);
  page();
  Probe(AddTemplate_InternalText, 2, text, 12, 0, 0, 0, 0, 1, 1, 0, false);
  Probe(AddTemplate_CollectData, 2, text, 1, 1, 3, 2, 1);
  Probe(AddTemplate_DateTime, 2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false);
  Probe(AddTemplate_ImageGroup, 2, files, 9, 0, 1, 2, 3);
  Probe(AddTemplate_LineUp, 2, text, 0, 4, 1, 2, 6, true);
  Probe(GenMaterial, 2, text, files, 2, 12, 0, 0, 0, 0, 3, 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 6,
        true, false);
  page();
  AddTemplate_CollectData(2, text, 1, 1, 3, 2, 1);
  Probe(SendTemplateData_Net, ip, 1);
}

}  // namespace
