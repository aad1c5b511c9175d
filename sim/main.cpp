// vexa-sim: plays a sign controller on this machine and prints every frame it
// receives, one line each.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Bitmaps.h"
#include "Decode.h"
#include "HallPlay.h"
#include "Render.h"
#include "SignWebServer.h"
#include "SignService.h"
#include "Text.h"
#include "VexaSim.h"

namespace {

const char kUsage[] =
    "usage: vexa-sim [options]\n"
    "       vexa-sim decode [--json] [--host A] [--port N] FILE...   (see vexa-sim decode --help)\n"
    "\n"
    "Plays an LED sign controller: receives frames by UDP (port 8800) and TCP\n"
    "(port 8900) on one IPv4 address, optionally on a serial line and over a\n"
    "connection to a host's login server, decodes each frame into named fields\n"
    "with its length fields and check bytes verified, prints one line per frame\n"
    "on standard output and answers like a controller.\n"
    "\n"
    "options:\n"
    "  --address A        listen on IPv4 address A (default 127.0.0.1); repeat it\n"
    "                     to play one controller on each of several addresses\n"
    "  --udp-port N       datagram port (default 8800)\n"
    "  --tcp-port N       stream port (default 8900)\n"
    "  --no-udp, --no-tcp do not listen for datagrams / stream connections\n"
    "  --reply MODE       how to answer each frame:\n"
    "                       accept     accepted reply (status \"1\", \"O\" for voice; default)\n"
    "                       refuse2    refusal with status \"2\"\n"
    "                       refuse3    refusal with status \"3\"\n"
    "                       silent     no reply at all\n"
    "                       malformed  a few bytes that are no reply frame\n"
    "                       echo       a reply carrying the received command code\n"
    "                       delay:MS   the accepted reply after MS milliseconds (at\n"
    "                                  most 64 waiting per stream connection)\n"
    "  --json             print each frame as one JSON line (default: short text)\n"
    "  --out DIR          also write what was received as files to look at into\n"
    "                     DIR (created if missing), e.g. each page set as a PNG\n"
    "                     and each image of a received image group or multimedia\n"
    "                     upload as a PNG (lit pixels in their plane colours),\n"
    "                     and after every change each sign as sign-<address>.png\n"
    "  --bitmap-size WxH  size of the images of image groups, whose frames do not\n"
    "                     carry it (multimedia 0x78 frames do); without it, or\n"
    "                     when the bytes do not fill WxH, an image is written as\n"
    "                     a strip one pixel high holding all its pixels in order\n"
    "  --http [HOST:]PORT serve the sign page on HOST (default 127.0.0.1): every\n"
    "                     controller's sign as an LED dot matrix with its page,\n"
    "                     brightness, relays and announcements, and the decoded\n"
    "                     frames, updated live in the browser\n"
    "  --font FILE        the .hex font the signs' texts and the pictures' labels\n"
    "                     are drawn in (default /usr/share/unifont/unifont.hex)\n"
    "  --size WxH         the real size in dots of the sign of the --address\n"
    "                     before it (before every --address: the first\n"
    "                     controller's), W up to 2048, H up to 1024; what lies\n"
    "                     beyond its edge is cut off. Without it a sign grows to\n"
    "                     hold what it shows\n"
    "  --serial LINK      also serve a serial line: create a pseudo-terminal and\n"
    "                     make LINK (e.g. COM1) a symbolic link to its slave side\n"
    "  --login HOST:PORT  also dial in to the login server at HOST:PORT as a\n"
    "                     controller, answer its greeting and serve the frames\n"
    "                     sent over that connection; with --hall: where the\n"
    "                     hall's login signs dial in\n"
    "  --hall FILE        play every sign of the hall file FILE: each udp and tcp\n"
    "                     sign listens at its address, each login sign dials in\n"
    "                     from its address to 127.0.0.1 and the hall's login_port\n"
    "                     (or --login) once a second until it is in and again\n"
    "                     after a drop, each serial port is a pseudo-terminal\n"
    "                     linked as COM<port> carrying its bus signs and bar\n"
    "                     screens; every sign drawn at its size and named on\n"
    "                     the sign page and in each line. A file with mistakes\n"
    "                     starts nothing: each is printed as FILE:LINE:COLUMN,\n"
    "                     exit status 2. Not with --address, --size or --serial\n"
    "  --keep N           hold the N most recent frames in memory (default 1000)\n"
    "  --help             show this text\n"
    "\n"
    "Runs until interrupted (SIGINT or SIGTERM), then exits with status 0; 2 for\n"
    "a usage error or a hall file with mistakes, 1 when it cannot start.\n";

// Prints one line: the frames on standard output, the status on standard
// error. Controllers, the dialling of login signs and the picture writer
// print from threads of their own: a line put together from several writes
// lets another thread's line in between, so each line and its newline go out
// in one write.
void printLine(std::FILE* to, std::string line) {
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), to);
  std::fflush(to);
}

void say(const std::string& line) { printLine(stderr, line); }

int usageError(const std::string& why) {
  say("vexa-sim: " + why + "\n(see vexa-sim --help)");
  return 2;
}

// " udp 8800 tcp 8900": the ports an emulator listens on.
std::string listeningPorts(const vexasim::Emulator& e) {
  std::string s;
  if (e.options().udp) s += " udp " + std::to_string(e.options().udpPort);
  if (e.options().tcp) s += " tcp " + std::to_string(e.options().tcpPort);
  return s;
}

// Makes link a symbolic link to a serial line's slave side; a link left by
// an earlier run is replaced.
bool linkSerial(const std::string& link, const std::string& slave) {
  struct stat st;
  if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.c_str());
  if (::symlink(slave.c_str(), link.c_str()) != 0) {
    say("vexa-sim: cannot link " + link + " to " + slave + ": " + std::strerror(errno));
    return false;
  }
  say("vexa-sim serial line " + link + " -> " + slave);
  return true;
}

// Removes a link linkSerial made, if it is still a link.
void unlinkSerial(const std::string& link) {
  struct stat st;
  if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.c_str());
}

using SinkFor = std::function<std::function<void(const vexasim::Frame&)>(const std::string& address,
                                                                          const vexasim::PlayedController*)>;

// The controllers of a hall, each played by an emulator of its own, and
// the serial links made for its lines.
struct HallPlayers {
  std::vector<std::unique_ptr<vexasim::Emulator>> emulators;
  std::vector<std::string> links;
  ~HallPlayers() { stop(); }
  // Stops every emulator, then removes the links of the lines they served.
  void stop() {
    for (auto& e : emulators) e->stop();
    for (const std::string& link : links) unlinkSerial(link);
    links.clear();
  }
};

// Starts an emulator for every controller of the hall: listening at a
// sign's address, dialling in from it to loginHost:loginPort, or serving a
// line linked as COM<port> in the working directory; shows each sign. False
// (said on standard error) when one cannot start.
bool startHall(const std::vector<vexasim::PlayedController>& played, const vexasim::Options& opt,
               const std::string& loginHost, int loginPort, vexasim::SignService* signs, const SinkFor& sinkFor,
               HallPlayers& out) {
  using Role = vexasim::PlayedController::Role;
  for (const vexasim::PlayedController& c : played) {
    vexasim::Options o = opt;
    o.address = c.address;
    out.emulators.push_back(std::make_unique<vexasim::Emulator>(o));
    vexasim::Emulator& e = *out.emulators.back();
    e.setSink(sinkFor(c.address, &c));
    if (signs) {
      if (c.role == Role::Line) signs->addLine(c.address);
      for (const vexasim::PlayedSign& s : c.signs) signs->addSign(s.id, s.kind, s.name, s.width, s.height);
    }
    std::string names;
    for (const vexasim::PlayedSign& s : c.signs) names += (names.empty() ? "" : ", ") + s.name;
    std::string error;
    if (c.role == Role::Listen) {
      if ((opt.udp || opt.tcp) && !e.start(&error)) {
        say("vexa-sim: " + names + ": " + error);
        return false;
      }
      say("vexa-sim " + names + " listening on " + c.address + listeningPorts(e));
    } else if (c.role == Role::DialIn) {
      const std::string server = loginHost + ":" + std::to_string(loginPort);
      const std::string who = "vexa-sim " + names + " ";
      auto onChange = [who, server, from = c.address](bool connected) {
        say(who + (connected ? "dialled in to " + server + " from " + from
                             : "has no connection to " + server + "; dialling again every second"));
      };
      if (!e.keepDialling(loginHost, loginPort, c.address, &error, onChange)) {
        say("vexa-sim: " + names + ": " + error);
        return false;
      }
    } else {
      const std::string slave = e.openSerial();
      if (slave.empty()) {
        say("vexa-sim: " + names + ": cannot create a pseudo-terminal: " + std::strerror(errno));
        return false;
      }
      if (!linkSerial(c.address, slave)) return false;
      out.links.push_back(c.address);
      say("vexa-sim " + c.address + " carries " + names);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "decode") == 0)
    return vexasim::runDecodeCommand(argc - 1, argv + 1, std::cin, std::cout, std::cerr);
  vexasim::Options opt;
  bool json = false;
  std::string serialLink;
  std::string login;
  std::string outDir;
  int bitmapW = 0, bitmapH = 0;
  std::vector<std::string> addresses;  // every --address
  // --size by the index of its controller in addresses (0 also for the
  // default address when none is given).
  std::map<size_t, std::pair<int, int>> sizes;
  std::string httpHost, fontPath = vexasim::GlyphFont::kDefaultPath;
  int httpPort = -1;
  std::string hallPath;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--no-udp") {
      opt.udp = false;
    } else if (a == "--no-tcp") {
      opt.tcp = false;
    } else if (a == "--address") {
      const char* v = value();
      if (!v) return usageError("--address needs a value");
      addresses.push_back(v);
    } else if (a == "--udp-port" || a == "--tcp-port") {
      const char* v = value();
      int port = 0;
      if (!v || !vexasim::parsePort(v, port, 0)) return usageError(a + " needs a port number");
      (a == "--udp-port" ? opt.udpPort : opt.tcpPort) = port;
    } else if (a == "--reply") {
      const char* v = value();
      if (!v || !vexasim::parseReplyMode(v, opt.mode, opt.delayMs))
        return usageError("--reply needs accept, refuse2, refuse3, silent, malformed, echo or delay:MS");
    } else if (a == "--out") {
      const char* v = value();
      if (!v || !*v) return usageError("--out needs a directory");
      outDir = v;
    } else if (a == "--bitmap-size") {
      const char* v = value();
      char x = 0, extra = 0;
      if (!v || std::sscanf(v, "%d%c%d%c", &bitmapW, &x, &bitmapH, &extra) != 3 || x != 'x' ||
          bitmapW <= 0 || bitmapH <= 0 || bitmapW > 65535 || bitmapH > 65535)
        return usageError("--bitmap-size needs WxH, e.g. 192x16");
    } else if (a == "--http") {
      const char* v = value();
      if (!v || !vexasim::SignWebServer::parseAddress(v, httpHost, httpPort))
        return usageError("--http needs [HOST:]PORT, e.g. 8080 or 127.0.0.1:8080");
    } else if (a == "--size") {
      const char* v = value();
      int w = 0, h = 0;
      if (!v || !vexasim::parseSignSize(v, w, h))
        return usageError("--size needs WxH in dots, W from 1 to " + std::to_string(vexasim::kMaxSignWidth) +
                          " and H from 1 to " + std::to_string(vexasim::kMaxSignHeight) + ", e.g. 64x16");
      const size_t index = addresses.empty() ? 0 : addresses.size() - 1;
      if (!sizes.emplace(index, std::make_pair(w, h)).second)
        return usageError("--size given twice for one controller");
    } else if (a == "--font") {
      const char* v = value();
      if (!v || !*v) return usageError("--font needs a file");
      fontPath = v;
    } else if (a == "--serial") {
      const char* v = value();
      if (!v) return usageError("--serial needs a link name");
      serialLink = v;
    } else if (a == "--keep") {
      const char* v = value();
      char* end = nullptr;
      long n = v ? std::strtol(v, &end, 10) : 0;
      if (!v || !*v || *end || n < 1 || n > 1000000) return usageError("--keep needs a number from 1 to 1000000");
      opt.keep = size_t(n);
    } else if (a == "--login") {
      const char* v = value();
      int port = 0;
      if (!v || !std::strchr(v, ':') || !vexasim::parsePort(std::strrchr(v, ':') + 1, port, 1))
        return usageError("--login needs HOST:PORT");
      login = v;
    } else if (a == "--hall") {
      const char* v = value();
      if (!v || !*v) return usageError("--hall needs a file");
      hallPath = v;
    } else {
      return usageError("unknown option " + a);
    }
  }

  // A hall's signs are where the hall file puts them: options that place or
  // size controllers of their own would stand beside them unnamed.
  std::unique_ptr<hall::HallFile> hallFile;
  std::vector<vexasim::PlayedController> played;
  std::string loginHost = "127.0.0.1";
  int loginPort = 0;
  if (!hallPath.empty()) {
    if (!addresses.empty() || !sizes.empty() || !serialLink.empty())
      return usageError(
          "--hall places and sizes every sign itself; --address, --size and --serial do not go with it");
    std::vector<hall::Mistake> mistakes;
    hallFile = hall::LoadHallFile(hallPath, &mistakes);
    if (!hallFile) {
      for (const hall::Mistake& m : mistakes) say(m.Text());
      return 2;
    }
    played = vexasim::controllersOf(*hallFile);
    loginPort = hallFile->loginPort;
    if (!login.empty()) {
      loginHost = login.substr(0, login.rfind(':'));
      vexasim::parsePort(login.c_str() + login.rfind(':') + 1, loginPort, 0);
    }
  }

  // Signals are taken by sigwait below; every thread inherits the mask. A
  // shell starts background jobs with SIGINT ignored, which would discard it
  // before sigwait could see it, so both get their default action back first.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  if (!addresses.empty()) opt.address = addresses.front();
  if (hallFile) {
    for (const vexasim::PlayedController& c : played)
      if (c.role == vexasim::PlayedController::Role::Listen) addresses.push_back(c.address);
  } else if (addresses.empty()) {
    addresses.push_back(opt.address);
  }
  // What the network can make the process hold stays within its descriptor
  // limit: the controllers' stream connections take at most half of it,
  // shared among the addresses, the sign page's connections at most an
  // eighth (SignWebServer::limitsFor), and the rest stays for the listening
  // sockets, the serial line and the files written.
  size_t descriptors = 1024;
  rlimit lim{};
  if (::getrlimit(RLIMIT_NOFILE, &lim) == 0)
    descriptors = lim.rlim_cur == RLIM_INFINITY ? size_t(1) << 20 : size_t(lim.rlim_cur);
  opt.maxConnections =
      std::min(opt.maxConnections, std::max<size_t>(1, descriptors / 2 / std::max<size_t>(1, addresses.size())));
  if (!outDir.empty() && ::mkdir(outDir.c_str(), 0777) != 0 && errno != EEXIST) {
    say("vexa-sim: cannot create " + outDir + ": " + std::strerror(errno));
    return 1;
  }
  // The virtual signs are drawn on a thread of their own from the frames the
  // sinks hand over; declared before the emulators so that it outlives them.
  // The one font of every picture: the signs' texts and the labels of the
  // pictures written for --out.
  auto font = std::make_shared<vexasim::GlyphFont>();
  std::unique_ptr<vexasim::SignService> signs;
  if (!outDir.empty() || httpPort >= 0) {
    std::string fontError;
    if (!font->load(fontPath, &fontError))
      say("vexa-sim: " + fontError + "; every character shows as a box (install unifont or give --font)");
    vexasim::SignService::Settings settings;
    settings.outDir = outDir;
    settings.bitmapW = bitmapW;
    settings.bitmapH = bitmapH;
    settings.onError = [](const std::string& why) { say("vexa-sim: " + why); };
    signs = std::make_unique<vexasim::SignService>(font, settings);
  }

  // Files for --out are made on a thread of their own, after the reply has
  // gone; declared before the emulator so that it outlives the sink.
  vexasim::BackgroundJobs fileWriter;
  // Each address gets a controller of its own; with several, every line
  // says which controller received the frame, and in a hall which sign.
  const bool several = addresses.size() > 1;
  auto sinkFor = [&](const std::string& address, const vexasim::PlayedController* hallController = nullptr) {
    return [json, outDir, bitmapW, bitmapH, &fileWriter, several, address, hallController, font,
            signs = signs.get()](const vexasim::Frame& f) {
      std::string line = json ? f.json() : f.text();
      if (hallController) {
        const vexasim::PlayedSign* sign = hallController->signOf(f);
        std::string name = sign ? sign->name : hallController->idOf(f);
        if (name.empty()) name = address;
        line = json ? "{\"sign\":" + vexasim::detail::jsonString(name) + ",\"controller\":" +
                          vexasim::detail::jsonString(address) + "," + line.substr(1)
                    : name + "  " + line;
      } else if (several) {
        line = json ? "{\"controller\":\"" + address + "\"," + line.substr(1) : address + "  " + line;
      }
      printLine(stdout, std::move(line));
      if (signs && !signs->post(f, address))
        say("vexa-sim: too many frames waiting to be drawn; the sign misses this one");
      if (outDir.empty()) return;
      bool queued = fileWriter.post([f, outDir, bitmapW, bitmapH, font] {
        std::string error;
        for (const std::string& path : vexasim::writeOutputFiles(f, outDir, *font, &error))
          say("vexa-sim wrote " + path);
        if (!error.empty()) say("vexa-sim: " + error);
        std::string note;
        for (const std::string& path : vexasim::writeBitmapFiles(f, outDir, bitmapW, bitmapH, &note))
          say("vexa-sim wrote " + path);
        if (!note.empty()) say("vexa-sim: " + note);
      });
      if (!queued) say("vexa-sim: too many pictures waiting; no file for this frame");
    };
  };
  std::string error;
  HallPlayers hallPlayers;
  std::vector<std::unique_ptr<vexasim::Emulator>> emulators;  // one for each --address
  if (hallFile) {
    if (!startHall(played, opt, loginHost, loginPort, signs.get(), sinkFor, hallPlayers)) return 1;
  } else {
    for (size_t i = 0; i < addresses.size(); ++i) {
      vexasim::Options o = opt;
      o.address = addresses[i];
      emulators.push_back(std::make_unique<vexasim::Emulator>(o));
      vexasim::Emulator* e = emulators.back().get();
      e->setSink(sinkFor(o.address));
      if ((opt.udp || opt.tcp) && !e->start(&error)) {
        say("vexa-sim: " + error);
        return 1;
      }
      say("vexa-sim listening on " + e->options().address + listeningPorts(*e));
      const std::pair<int, int> size = sizes.count(i) ? sizes[i] : std::make_pair(0, 0);
      if (signs) signs->addController(e->options().address, size.first, size.second);
    }
  }

  std::unique_ptr<vexasim::SignWebServer> web;
  if (httpPort >= 0) {
    web = std::make_unique<vexasim::SignWebServer>(*signs, vexasim::SignWebServer::limitsFor(descriptors));
    if (!web->start(httpHost, httpPort, &error)) {
      say("vexa-sim: " + error);
      return 1;
    }
    say("vexa-sim sign page on http://" + httpHost + ":" + std::to_string(web->port()) + "/");
  }

  // Without a hall, the serial line and the login link belong to the first
  // controller.
  if (!serialLink.empty()) {
    std::string slave = emulators.front()->openSerial();
    if (slave.empty()) {
      say(std::string("vexa-sim: cannot create a pseudo-terminal: ") + std::strerror(errno));
      return 1;
    }
    if (!linkSerial(serialLink, slave)) return 1;
  }

  if (!login.empty() && !hallFile) {
    size_t colon = login.rfind(':');
    int port = 0;
    vexasim::parsePort(login.c_str() + colon + 1, port, 0);
    if (!emulators.front()->connectLogin(login.substr(0, colon), port)) {
      say("vexa-sim: cannot connect to the login server at " + login);
      return 1;
    }
    say("vexa-sim dialled in to " + login);
  }

  int sig = 0;
  sigwait(&stopSignals, &sig);
  if (web) web->stop();
  for (auto& e : emulators) e->stop();
  hallPlayers.stop();
  if (!serialLink.empty()) unlinkSerial(serialLink);
  return 0;
}
