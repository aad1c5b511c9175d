// How `vexa-sim decode` scales: writes captures of many short stream
// connections (one command and its reply each, as a host in stream mode
// sends), a connection whose first byte is lost followed by a long run of
// one-byte segments, and a trace whose one frame block is huge; then decodes
// each in a child process and prints its time and peak memory.
//
//   bench_decode [--dir DIR] [--connections N,N,...] [--segments N] [--trace-mb N]
//
// The time per connection of the largest capture against that of the
// smallest tells whether the work grows linearly (a ratio near 1) or faster.
#include <pcap/pcap.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Decode.h"

namespace {

const uint32_t kHost = 0xC0000201;        // 192.0.2.1
const uint32_t kController = 0xC000020A;  // 192.0.2.10

const std::vector<uint8_t> kStartPlay = {0xFE, 0x5C, 0x4B, 0x89, 0x13, 0, 0, 0, 0x51, 0,
                                         0,    0,    0,    0,    0,    0, 0, 0xFF, 0xFF};
const std::vector<uint8_t> kAccept = {0xFE, 0x5C, 0x4B, 0x89, 0x14, 0, 0, 0, 0x81, 0,
                                      0,    0,    0,    1,    0,    0, 0, 0x31, 0xFF, 0xFF};

void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x >> 8));
  v.push_back(uint8_t(x));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x >> 16);
  put16(v, x & 0xFFFF);
}

// Raw IPv4 packets written through libpcap.
class Writer {
 public:
  explicit Writer(const std::string& path) {
    dead_ = pcap_open_dead(DLT_RAW, 65535);
    dumper_ = pcap_dump_open(dead_, path.c_str());
    if (!dumper_) {
      std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), pcap_geterr(dead_));
      std::exit(1);
    }
  }
  ~Writer() {
    pcap_dump_close(dumper_);
    pcap_close(dead_);
  }
  enum : uint8_t { FIN = 0x01, SYN = 0x02, ACK = 0x10 };
  void tcp(uint32_t src, int sport, uint32_t dst, int dport, uint32_t seq, uint8_t flags, const uint8_t* data,
           size_t n, long long us) {
    std::vector<uint8_t> p = {0x45, 0};
    put16(p, uint32_t(40 + n));
    put32(p, 0);
    p.push_back(64);
    p.push_back(6);
    put16(p, 0);
    put32(p, src);
    put32(p, dst);
    put16(p, uint32_t(sport));
    put16(p, uint32_t(dport));
    put32(p, seq);
    put32(p, 0);
    p.push_back(5 << 4);
    p.push_back(flags);
    put16(p, 65535);
    put32(p, 0);
    p.insert(p.end(), data, data + n);
    pcap_pkthdr h{};
    h.ts.tv_sec = time_t(1765000000 + us / 1000000);
    h.ts.tv_usec = suseconds_t(us % 1000000);
    h.caplen = h.len = bpf_u_int32(p.size());
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &h, p.data());
  }

 private:
  pcap_t* dead_ = nullptr;
  pcap_dumper_t* dumper_ = nullptr;
};

// count connections to the stream port, one after the other, each carrying
// one command and its reply and closed from both sides.
void writeConnections(const std::string& path, long count) {
  Writer w(path);
  long long us = 0;
  for (long i = 0; i < count; ++i) {
    const int port = 10000 + int(i % 50000);
    const uint32_t hs = uint32_t(i) * 7919u, cs = uint32_t(i) * 104729u;
    w.tcp(kHost, port, kController, 8900, hs, Writer::SYN, nullptr, 0, us);
    w.tcp(kController, 8900, kHost, port, cs, Writer::SYN | Writer::ACK, nullptr, 0, us + 100);
    w.tcp(kHost, port, kController, 8900, hs + 1, Writer::ACK, kStartPlay.data(), kStartPlay.size(), us + 200);
    w.tcp(kController, 8900, kHost, port, cs + 1, Writer::ACK, kAccept.data(), kAccept.size(), us + 900);
    w.tcp(kHost, port, kController, 8900, hs + 20, Writer::FIN | Writer::ACK, nullptr, 0, us + 1000);
    w.tcp(kController, 8900, kHost, port, cs + 21, Writer::FIN | Writer::ACK, nullptr, 0, us + 1100);
    w.tcp(kHost, port, kController, 8900, hs + 21, Writer::ACK, nullptr, 0, us + 1200);
    us += 2000;
  }
}

// One connection whose first data byte never shows, then segments of one
// byte each: start-play frames, byte by byte.
void writeGap(const std::string& path, long segments) {
  Writer w(path);
  const uint32_t seq = 5000;
  w.tcp(kHost, 40000, kController, 8900, seq, Writer::SYN, nullptr, 0, 0);
  for (long i = 0; i < segments; ++i) {
    const uint8_t b = kStartPlay[size_t(i + 1) % kStartPlay.size()];
    w.tcp(kHost, 40000, kController, 8900, seq + 2 + uint32_t(i), Writer::ACK, &b, 1, 100 + i);
  }
  w.tcp(kHost, 40000, kController, 8900, seq + 2 + uint32_t(segments), Writer::FIN | Writer::ACK, nullptr, 0,
        100 + segments);
}

// A trace record whose one frame block holds megabytes of hex lines.
void writeHugeTrace(const std::string& path, long megabytes) {
  std::ofstream out(path, std::ios::binary);
  const long lines = megabytes * 1024 * 1024 / 100;
  out << "2026-12-07 23:28:22.123 thread 4711 udp 192.0.2.10:8800 from :8801\n"
      << "  attempt 1 of 1\n"
      << "  > frame 1 of 1: " << lines * 32 << " bytes\n";
  std::string line = "   ";
  for (int i = 0; i < 32; ++i) line += " 41";
  line += '\n';
  for (long i = 0; i < lines; ++i) out << line;
  out << "  < no reply (timed out after 500 ms)\n"
      << "  = result 2: nothing received\n";
}

struct Run {
  double seconds = -1;
  long peakKb = -1;
  int status = -1;
};

// vexa-sim decode FILE in a child process, its output thrown away.
Run decodeInChild(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::ofstream null("/dev/null");
    std::istringstream none;
    std::string a0 = "decode", a1 = path;
    char* argv[] = {&a0[0], &a1[0], nullptr};
    std::_Exit(vexasim::runDecodeCommand(2, argv, none, null, std::cerr));
  }
  int status = 0;
  rusage use{};
  ::wait4(pid, &status, 0, &use);
  Run r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakKb = use.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<long> listOf(const char* text) {
  std::vector<long> v;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) v.push_back(std::atol(item.c_str()));
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "/tmp";
  std::vector<long> connections = {5000, 10000, 20000, 40000};
  long segments = 262144 + 1000;
  long traceMb = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--dir") dir = argv[i + 1];
    else if (a == "--connections") connections = listOf(argv[i + 1]);
    else if (a == "--segments") segments = std::atol(argv[i + 1]);
    else if (a == "--trace-mb") traceMb = std::atol(argv[i + 1]);
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  const std::string base = dir + "/bench-decode-" + std::to_string(::getpid());
  double firstPer = 0;
  for (long n : connections) {
    const std::string path = base + "-conn.pcap";
    writeConnections(path, n);
    const Run r = decodeInChild(path);
    const double per = r.seconds / double(n) * 1e6;
    if (firstPer == 0) firstPer = per;
    std::printf("%6ld connections        %8.3f s  %6.2f us each (x%.2f of the first)  peak %7.1f MB  exit %d\n", n,
                r.seconds, per, per / firstPer, r.peakKb / 1024.0, r.status);
    std::fflush(stdout);
    std::remove(path.c_str());
  }
  {
    const std::string path = base + "-gap.pcap";
    writeGap(path, segments);
    const Run r = decodeInChild(path);
    std::printf("gap, %ld one-byte segments  %8.3f s  peak %7.1f MB  exit %d\n", segments, r.seconds,
                r.peakKb / 1024.0, r.status);
    std::fflush(stdout);
    std::remove(path.c_str());
  }
  if (traceMb > 0) {
    const std::string path = base + ".trace";
    writeHugeTrace(path, traceMb);
    const Run r = decodeInChild(path);
    std::printf("trace, one %ld MB frame block %8.3f s  peak %7.1f MB  exit %d\n", traceMb, r.seconds,
                r.peakKb / 1024.0, r.status);
    std::remove(path.c_str());
  }
  return 0;
}
