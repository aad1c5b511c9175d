// vexa: one command to one sign, to every sign of a hall, or a ticket
// called to a counter, from the command line or a script.
#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <thread>

#include <CLI/CLI.hpp>

#include "Cli.h"
#include "SKYREL.h"
#include "vexa.h"
#include "vexa-x86/version.h"

namespace {

using Clock = std::chrono::steady_clock;
using cli::Args;

const char kFooter[] =
    "Targets: --address IP (datagrams; --tcp for a stream connection, --login-port N\n"
    "for a controller that dials in), --serial COMn (--bus ADDR for the RS-485 bus\n"
    "frame), or --sign NAME / --all out of the hall file (--hall FILE, else\n"
    "$VEXA_HALL, else ./hall.toml). call and upload always use the hall file.\n"
    "\n"
    "Exit status: 0 every command accepted; 1 to 4 the first result that was not\n"
    "(1 not accepted, 2 no reply, 3 status \"2\", 4 status \"3\"); 64 a usage error;\n"
    "65 a hall file with mistakes, a text GBK cannot hold, a counter the hall does\n"
    "not have; 66 a hall file that cannot be read. See vexa(1).";

int Usage(const std::string& why) {
  std::cerr << "vexa: " << why << "\n(see vexa --help)\n";
  return cli::kUsage;
}

// Adds the subcommands and options to `app`, filling `a`.
void Define(CLI::App& app, Args& a) {
  app.require_subcommand(1);
  app.fallthrough();  // the target and the settings may follow the command
  app.footer(kFooter);
  app.set_version_flag("--version", VEXA_VERSION_STRING);

  app.add_option("--address", a.address, "the controller's IPv4 address");
  app.add_flag("--tcp", a.tcp, "send over a stream connection (port 8900)");
  app.add_option("--login-port", a.loginPort,
                 "serve logins on port N and send over the controller's own connection")
      ->check(CLI::Range(1, 65535));
  app.add_option("--serial", a.serial, "the serial line: the device COMn in this directory");
  app.add_option("--bus", a.bus, "RS-485 bus address on the serial line (\"5\" or eight numbers joined by _)");
  app.add_option("--baud", a.baud, "serial speed (default 9600)")->check(CLI::Range(1, 4000000));
  app.add_option("--sign", a.sign, "the sign of the hall file to send to");
  app.add_flag("--all", a.all, "send to every sign of the hall file that takes the command");
  app.add_option("--hall", a.hallPath, "the hall file (default $VEXA_HALL, then ./hall.toml)");
  app.add_option("--timeout", a.timeoutMs, "receive time-out in ms (default the hall's, 500)")
      ->check(CLI::Range(10, 600000));
  app.add_option("--retries", a.retries, "attempts after the first (default the hall's, 1)")
      ->check(CLI::Range(0, 100));
  app.add_option("--count", a.count, "send the command N times (ping: 4)")
      ->check(CLI::Range(1, 1000000));
  app.add_option("--interval", a.interval, "seconds between two sends (default 1)")
      ->check(CLI::Range(0.0, 86400.0));
  app.add_flag("--trace", a.trace, "trace every frame and reply on standard error");
  app.add_flag("--json", a.json, "one JSON object per result");

  const auto range = [](int low, int high) { return CLI::Range(low, high); };
  const auto colour = [&a](CLI::App* sub) {
    sub->add_option("--colour", a.colour, "red, green or yellow (default red)")
        ->check(CLI::IsMember({"red", "green", "yellow"}));
  };
  const auto colours = [&a](CLI::App* sub) {
    sub->add_option("--colours", a.colours, "the sign's colours: red, red-green or full")
        ->check(CLI::IsMember({"red", "red-green", "full"}));
  };
  const auto size = [&a](CLI::App* sub) {
    sub->add_option("--width", a.width, "width in dots (default the sign's, else 64)")
        ->check(CLI::Range(8, 8192));
    sub->add_option("--height", a.height, "height in dots (default the sign's, else 16)")
        ->check(CLI::Range(1, 4096));
  };

  CLI::App* s = app.add_subcommand("play", "play a show page");
  s->add_option("PAGE", a.page, "page number, 0 to 255")->required()->check(range(0, 255));
  app.add_subcommand("start", "start playing the show pages");
  app.add_subcommand("stop", "stop playing the show pages");
  s = app.add_subcommand("bright", "set the brightness");
  s->add_option("VALUE1", a.bright1, "first value, 0 to 255")->required()->check(range(0, 255));
  s->add_option("VALUE2", a.bright2, "second value, 0 to 255")->required()->check(range(0, 255));
  s = app.add_subcommand("relay", "switch a relay on or off, or pulse it");
  s->add_option("RELAY", a.relay, "relay 1 to 8")->required()->check(range(1, 8));
  s->add_option("ACTION", a.relayAction, "on, off or pulse")
      ->required()
      ->check(CLI::IsMember({"on", "off", "pulse"}));
  s->add_option("UNITS", a.pulseUnits, "pulse: duration, 1 to 16 relay time units");
  app.add_subcommand("clock", "set the clock from this host's clock");
  s = app.add_subcommand("text", "show a text in an area");
  s->add_option("TEXT", a.text, "the text (UTF-8, sent in GBK)")->required();
  size(s);
  s->add_option("--id", a.materialId, "the text's material number (default 1)")
      ->check(range(0, 999999999));
  colour(s);
  colours(s);
  s = app.add_subcommand("data", "fill a collected data field");
  s->add_option("FIELD", a.field, "data field 0 to 255")->required()->check(range(0, 255));
  s->add_option("TEXT", a.text, "the text (UTF-8, sent in GBK)")->required();
  colour(s);
  s = app.add_subcommand("coord", "show a text at a position (network only)");
  s->add_option("X", a.x, "left edge in dots")->required()->check(range(0, 65535));
  s->add_option("Y", a.y, "top edge in dots")->required()->check(range(0, 65535));
  s->add_option("TEXT", a.text, "the text (UTF-8, sent in GBK)")->required();
  colour(s);
  s = app.add_subcommand("voice", "speak a text through the voice module");
  s->add_option("TEXT", a.text, "the words (UTF-8, sent in GBK)")->required();
  s->add_option("--voice-tag", a.voiceTag, "[vN] in front of the words")->check(range(0, 99));
  s->add_option("--sound", a.sound, "a sound before the words, 1 to 3")->check(range(1, 3));
  s->add_option("--m-tag", a.mTag, "1 [m3], 2 [m51]")->check(range(1, 2));
  s = app.add_subcommand("lineup", "show a ticket in a line-up field");
  s->add_option("SLOT", a.slot, "line-up slot 0 to 255")->required()->check(range(0, 255));
  s->add_option("TEXT", a.text, "the ticket (UTF-8, sent in GBK)")->required();
  s->add_option("--kind", a.lineKind, "kind of line, 1 or 2 (default 1)")->check(range(0, 255));
  s->add_option("--unit", a.unitAddress, "line-up unit address (default 1)")->check(range(0, 255));
  s->add_flag("--bracketed", a.bracketed, "wrap the text in the start and end marks");
  s = app.add_subcommand("image", "play an image group, or upload one with --send");
  s->add_option("GROUP", a.group, "the image group to play, 0 to 255")->check(range(0, 255));
  s->add_option("--send", a.images, "upload these pictures (BMP, PNG) as one group")
      ->check(CLI::ExistingFile);
  size(s);
  s->add_option("--id", a.materialId, "the group's material number (default 1)")
      ->check(range(0, 999999999));
  colours(s);
  s = app.add_subcommand("bar", "show a text on a bar screen (serial line)");
  s->add_option("TEXT", a.text, "the text (UTF-8, sent in GBK)")->required();
  s->add_option("--screen", a.screen, "with --serial: the screen's address (default 1)")
      ->check(range(1, 255));
  s->add_option("--page-width", a.pageWidth, "with --serial: characters a page (default 4)")
      ->check(range(1, 255));
  colour(s);
  app.add_subcommand("upload", "upload the hall file's page sets");
  s = app.add_subcommand("call", "call a ticket to a counter (hall file)");
  s->add_option("TICKET", a.ticket, "the ticket (UTF-8)")->required();
  s->add_option("COUNTER", a.counter, "the counter's number")->required()->check(range(0, 9999));
  app.add_subcommand("ping", "set the clock --count times and show the statistics");
  s = app.add_subcommand("check-text", "show a text's GBK bytes and what cannot be shown");
  s->add_option("TEXT", a.text, "the text (UTF-8)")->required();
  s->add_option("--font", a.font, "the signs' font, a .hex file (default Unifont's)");
}

// The serial port number of "COM3" or "3"; -1 when it is neither.
int PortOf(const std::string& serial) {
  std::string digits = serial.rfind("COM", 0) == 0 ? serial.substr(3) : serial;
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  const int n = std::atoi(digits.c_str());
  return n <= 255 ? n : -1;
}

// The one sign that --address or --serial names, as a hall of one sign.
std::unique_ptr<hall::HallFile> DirectHall(const Args& a, std::string* why) {
  auto file = std::make_unique<hall::HallFile>();
  hall::Sign s;
  if (!a.address.empty()) {
    in_addr ip;
    if (inet_pton(AF_INET, a.address.c_str(), &ip) != 1) {
      *why = "--address " + a.address + " is not a dotted IPv4 address";
      return nullptr;
    }
    if (a.tcp && a.loginPort != 0) {
      *why = "--tcp and --login-port exclude each other";
      return nullptr;
    }
    s.name = a.address;
    s.address = a.address;
    s.transport = a.tcp ? hall::Transport::kTcp
                  : a.loginPort != 0 ? hall::Transport::kLogin : hall::Transport::kUdp;
    file->loginPort = a.loginPort;
  } else {
    s.port = PortOf(a.serial);
    if (s.port < 0) {
      *why = "--serial takes COMn or n, n from 0 to 255";
      return nullptr;
    }
    s.transport = hall::Transport::kSerial;
    s.baud = a.baud;
    s.name = "COM" + std::to_string(s.port);
    if (a.subcommand == "bar") {
      s.bar = true;
      s.barAddress = a.screen;
      s.pageWidth = a.pageWidth;
      s.name += " bar " + std::to_string(a.screen);
    } else if (!a.bus.empty()) {
      s.bus = a.bus;
      s.serialProtocol = 2;
      s.name += " bus " + a.bus;
    } else {
      s.bus = "0";
      s.serialProtocol = 1;  // the network frame on the line
    }
  }
  file->signs.push_back(s);
  return file;
}

// Repeats `send` while the sign is one that dials in and has not logged in
// yet, for up to `waitMs`; the library tells that case by its reason.
int UntilLoggedIn(const hall::Sign& s, int waitMs, const std::function<int()>& send,
                  double* lastMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const Clock::time_point start = Clock::now();
    const int r = send();
    *lastMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (s.transport != hall::Transport::kLogin || r != 2) return r;
    if (std::string(vexa_last_reason()).rfind("no controller logged in from ", 0) != 0) return r;
    if (Clock::now() >= deadline) return r;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int TimeoutOf(const hall::HallFile& f, const hall::Sign& s) {
  return s.timeoutMs > 0 ? s.timeoutMs : f.timeoutMs;
}

void PrintStats(const cli::PingStats& st, const std::string& sign, bool json) {
  if (!json) {
    st.Print(std::cout, sign);
    return;
  }
  st.PrintJson(std::cout, sign);
}

int Run(Args& a) {
  if (a.subcommand == "check-text") {
    return cli::CheckText(std::cout, a.text, a.font);
  }
  const bool direct = !a.address.empty() || !a.serial.empty();
  const bool hallOp = a.subcommand == "call" || a.subcommand == "upload";
  if (!a.address.empty() && !a.serial.empty()) return Usage("--address and --serial exclude each other");
  if (!a.sign.empty() && a.all) return Usage("--sign and --all exclude each other");
  if (direct && (hallOp || !a.sign.empty() || a.all)) {
    return Usage(hallOp ? a.subcommand + " sends to the signs of the hall file: leave out " +
                              (a.address.empty() ? "--serial" : "--address")
                        : "--address and --serial exclude --sign and --all");
  }
  if (!direct && !hallOp && a.sign.empty() && !a.all) {
    return Usage("say where to send: --address, --serial, --sign or --all");
  }
  if (a.address.empty() && (a.tcp || a.loginPort != 0)) return Usage("--tcp and --login-port go with --address");
  if (a.serial.empty() && !a.bus.empty()) return Usage("--bus goes with --serial");

  std::unique_ptr<hall::HallFile> file;
  if (direct) {
    std::string why;
    file = DirectHall(a, &why);
    if (!file) return Usage(why);
  } else {
    std::string path = a.hallPath;
    if (path.empty()) {
      const char* env = std::getenv("VEXA_HALL");
      path = env && *env ? env : "hall.toml";
    }
    std::vector<hall::Mistake> mistakes;
    file = hall::LoadHallFile(path, &mistakes);
    if (!file) {
      for (const hall::Mistake& m : mistakes) std::cerr << m.Text() << '\n';
      const bool unreadable = !mistakes.empty() && mistakes.front().unreadable;
      return unreadable ? cli::kNoInput : cli::kDataError;
    }
  }
  // The command line's settings over the hall's and each sign's own.
  if (a.timeoutMs > 0) file->timeoutMs = a.timeoutMs;
  if (a.retries >= 0) file->retries = a.retries;
  for (hall::Sign& s : file->signs) {
    if (a.timeoutMs > 0) s.timeoutMs = a.timeoutMs;
    if (a.retries >= 0) s.retries = a.retries;
  }

  cli::Command command;
  std::vector<const hall::Sign*> signs;
  if (hallOp) {
    command.name = a.subcommand;
    if (!a.sign.empty() && a.subcommand == "call") return Usage("call sends to the counter's signs: leave out --sign");
    if (!a.sign.empty() && file->FindSign(a.sign) == nullptr) {
      return Usage("the hall has no sign \"" + a.sign + "\"");
    }
  } else {
    std::string why;
    int status = cli::kUsage;
    if (!cli::MakeCommand(a, &command, &why, &status)) {
      if (status == cli::kUsage) return Usage(why);
      std::cerr << "vexa: " << why << '\n';
      return status;
    }
    if (!a.sign.empty()) {
      const hall::Sign* s = file->FindSign(a.sign);
      if (s == nullptr) return Usage("the hall has no sign \"" + a.sign + "\"");
      if (!cli::Takes(command, *s, &why)) return Usage(why);
      signs.push_back(s);
    } else {
      for (const hall::Sign& s : file->signs) {
        if (cli::Takes(command, s, &why)) {
          signs.push_back(&s);
        } else if (direct) {
          return Usage(why);
        }
      }
      if (signs.empty()) return Usage("no sign of the hall takes " + command.name);
    }
  }

  std::string ticketGbk;
  if (a.subcommand == "call") {
    // Refused before anything is sent, as the hall would refuse it.
    if (file->FindCounter(a.counter) == nullptr) {
      std::cerr << "vexa: " << file->path << ": the hall has no counter " << a.counter
                << "; nothing sent\n";
      return cli::kDataError;
    }
    std::string bad;
    if (!hall::ToGbk(a.ticket, &bad)) {
      std::cerr << "vexa: the ticket has a character GBK cannot hold: " << bad << '\n';
      return cli::kDataError;
    }
  }

  const bool ping = a.subcommand == "ping";
  const int count = a.count > 0 ? a.count : ping ? 4 : 1;
  hall::Hall h(std::move(file));
  const hall::HallFile& f = h.file();
  if (h.ServeLogins() != 0) {
    std::cerr << "vexa: the login server cannot start: " << vexa_last_reason() << '\n';
    return 1;
  }
  // A call or an upload goes out through the hall: the signs that dial in
  // are waited for first, by setting their clock (which shows nothing) as
  // soon as they are in.
  if (hallOp) {
    std::vector<const hall::Sign*> dialIn;
    for (const hall::Sign& s : f.signs) {
      if (s.transport == hall::Transport::kLogin && (a.sign.empty() || s.name == a.sign)) {
        dialIn.push_back(&s);
      }
    }
    if (!dialIn.empty()) {
      h.SendEach(dialIn, "login", [&f](const hall::Sign& s) {
        double ms = 0;
        return UntilLoggedIn(s, TimeoutOf(f, s), [&s] {
          return TimeCheck_Net(hall::Hall::Address(s), s.networkMode());
        }, &ms);
      });
    }
  }

  std::map<const hall::Sign*, double> lastMs;
  for (const hall::Sign* s : signs) lastMs[s] = 0;
  std::map<std::string, cli::PingStats> stats;
  std::vector<std::string> order;
  int status = 0;
  for (int round = 0; round < count; ++round) {
    if (round > 0 && a.interval > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(a.interval));
    }
    std::vector<hall::SignResult> results;
    if (a.subcommand == "call") {
      std::string mistake;
      results = h.Call(a.ticket, a.counter, &mistake);
      if (results.empty() && !mistake.empty()) {
        std::cerr << "vexa: " << mistake << "; nothing sent\n";
        return cli::kDataError;
      }
    } else if (a.subcommand == "upload") {
      results = h.Upload(a.sign.empty() ? std::vector<std::string>{} : std::vector<std::string>{a.sign});
      if (results.empty()) return Usage("no sign of the hall has a page set to upload");
    } else {
      results = h.SendEach(signs, command.name, [&](const hall::Sign& s) {
        return UntilLoggedIn(s, TimeoutOf(f, s), [&] { return command.send(s); }, &lastMs.at(&s));
      });
    }
    for (size_t i = 0; i < results.size(); ++i) {
      const hall::SignResult& r = results[i];
      const bool own = !hallOp && i < signs.size();
      const double ms = own ? lastMs.at(signs[i]) : static_cast<double>(r.ms);
      cli::Print(std::cout, r, ms, a.json);
      if (status == 0 && r.result != 0) status = r.result;
      if (ping) {
        if (!stats.count(r.sign)) order.push_back(r.sign);
        stats[r.sign].Add(r.result, ms);
      }
    }
    std::cout.flush();
  }
  for (const std::string& sign : order) PrintStats(stats[sign], sign, a.json);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  CLI::App app{"Sends commands to the LED sign controllers of a queue-calling hall.", "vexa"};
  Define(app, a);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Usage(e.what());
  }
  for (const CLI::App* sub : app.get_subcommands()) a.subcommand = sub->get_name();
  // The trace is chosen when the library is first used.
  if (a.trace) setenv("VEXA_TRACE", "stderr", 1);
  try {
    return Run(a);
  } catch (const std::exception& e) {
    std::cerr << "vexa: " << e.what() << '\n';
    return 1;
  }
}
