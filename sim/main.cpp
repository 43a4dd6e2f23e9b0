// liaison-sim: a simulated Casio Graph calculator at the other end of the line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "calculator.h"
#include "link/link.h"

namespace {

const char kUsage[] =
    "usage: liaison-sim [--port DEVICE] (--send NAME | --receive | --serve NAME) [options]\n"
    "\n"
    "Plays a Casio Graph calculator for liaison. Without --port it creates a\n"
    "pseudo-terminal pair and prints the path that LIAISON_PORT must name; with\n"
    "--port it drives a real serial device (9600 bit/s, 8 data bits, 2 stop bits).\n"
    "\n"
    "Roles:\n"
    "  --send NAME          send one program named NAME (the PC picks 1)\n"
    "  --receive            receive one program (the PC picks 2)\n"
    "  --serve NAME         both, again and again, until the PC closes the line:\n"
    "                       program NAME is offered whenever the PC receives\n"
    "Sending:\n"
    "  --content FILE       the program's data (default: --text)\n"
    "  --text STRING        the program's data as text (default \"Bonjour\")\n"
    "  --password PW        a password in the header\n"
    "  --type XYZ           header bytes 1 to 3 (default TXT: a program)\n"
    "  --bad-checksum       a wrong header checksum\n"
    "  --bad-data-checksum  a wrong data block checksum\n"
    "  --noise N            N random bytes before the request 0x16\n"
    "  --header-pieces N    the header in N pieces ...\n"
    "  --piece-gap MS       ... with MS milliseconds between them\n"
    "  --header-cut N       only N header bytes, then silence for --piece-gap MS\n"
    "                       and the line closes\n"
    "  --data-cut N         only N bytes of the data block\n"
    "Receiving:\n"
    "  --answer HEX|none    the answer to the header (default 06; 21 exists, 2B error)\n"
    "  --answer-delay MS    answer after MS milliseconds (over 5000: too late)\n"
    "  --report FILE        append what was received: name, size, checksums, content\n"
    "Both:\n"
    "  --vanish PHASE       close the line, as a cable pulled out: before the request,\n"
    "                       mid-header or mid-data (request, header, data: sending);\n"
    "                       before 0x13, before the answer, before the last 0x06\n"
    "                       (ready, answer, ack: receiving)\n"
    "  --noise-after N      N random bytes after each exchange\n"
    "  --pace               send and take bytes at the real line rate (1.146 ms each)\n"
    "  --log FILE           every byte with a time stamp: '>' to the PC, '<' from it\n";

struct Options {
  std::string role, device, logPath, reportPath, text = "Bonjour", contentPath;
  SendPlan send;
  ReceivePlan receive;
  bool pace = false;
  int noiseAfter = 0;
};

bool ReadFile(const std::string& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string* value) {
      if (i + 1 >= argc) return false;
      *value = argv[++i];
      return true;
    };
    auto number = [&](int* value) {
      std::string v;
      if (!next(&v)) return false;
      *value = std::atoi(v.c_str());
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") return false;
    if (a == "--send" || a == "--serve") {
      o->role = a;
      if (!next(&o->send.name)) return false;
    } else if (a == "--receive") {
      o->role = a;
    } else if (a == "--port") {
      if (!next(&o->device)) return false;
    } else if (a == "--content") {
      if (!next(&o->contentPath)) return false;
    } else if (a == "--text") {
      if (!next(&o->text)) return false;
    } else if (a == "--password") {
      if (!next(&o->send.password)) return false;
    } else if (a == "--type") {
      if (!next(&o->send.type)) return false;
    } else if (a == "--bad-checksum") {
      o->send.badChecksum = true;
    } else if (a == "--bad-data-checksum") {
      o->send.badDataChecksum = true;
    } else if (a == "--noise") {
      if (!number(&o->send.noise)) return false;
    } else if (a == "--noise-after") {
      if (!number(&o->noiseAfter)) return false;
    } else if (a == "--header-pieces") {
      if (!number(&o->send.headerPieces)) return false;
    } else if (a == "--piece-gap") {
      if (!number(&o->send.pieceGapMs)) return false;
    } else if (a == "--header-cut") {
      if (!number(&o->send.headerCut)) return false;
    } else if (a == "--data-cut") {
      if (!number(&o->send.dataCut)) return false;
    } else if (a == "--answer") {
      if (!next(&v)) return false;
      o->receive.answer = v == "none" ? -1 : static_cast<int>(std::strtol(v.c_str(), nullptr, 16));
    } else if (a == "--answer-delay") {
      if (!number(&o->receive.answerDelayMs)) return false;
    } else if (a == "--report") {
      if (!next(&o->reportPath)) return false;
    } else if (a == "--vanish") {
      if (!next(&o->send.vanish)) return false;
      o->receive.vanish = o->send.vanish;
    } else if (a == "--pace") {
      o->pace = true;
    } else if (a == "--log") {
      if (!next(&o->logPath)) return false;
    } else {
      std::fprintf(stderr, "liaison-sim: unknown option %s\n", a.c_str());
      return false;
    }
  }
  if (o->role.empty()) return false;
  if (!o->contentPath.empty()) {
    if (!ReadFile(o->contentPath, &o->send.content)) {
      std::fprintf(stderr, "liaison-sim: cannot read %s\n", o->contentPath.c_str());
      return false;
    }
  } else {
    o->send.content.assign(o->text.begin(), o->text.end());
  }
  return true;
}

// Offers the program whenever the PC receives, takes every program it sends.
void Serve(Wire& wire, const Options& o, FILE* report) {
  for (;;) {
    if (!SendNoise(wire, o.send.noise) || !wire.SendByte(CODE_REQUEST)) return;
    int byte;
    do {
      byte = wire.Receive(-1);
    } while (byte >= 0 && byte != CODE_READY && byte != CODE_REQUEST);
    if (byte < 0) return;
    bool going = byte == CODE_READY ? SendProgram(wire, o.send, true)
                                    : ReceiveProgram(wire, o.receive, report, true);
    if (!going || !SendNoise(wire, o.noiseAfter)) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  FILE* log = o.logPath.empty() ? nullptr : std::fopen(o.logPath.c_str(), "w");
  FILE* report = o.reportPath.empty() ? nullptr : std::fopen(o.reportPath.c_str(), "a");
  Wire wire;
  wire.SetLog(log);
  wire.SetPace(o.pace);
  if (o.device.empty()) {
    std::string path;
    if (!wire.CreatePty(&path)) {
      std::perror("liaison-sim: pseudo-terminal");
      return 1;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
  } else if (!wire.OpenDevice(o.device)) {
    std::fprintf(stderr, "\nliaison-sim: cannot open %s\n", o.device.c_str());
    return 1;
  }
  if (!wire.AwaitPc()) {
    std::fprintf(stderr, "liaison-sim: no PC opened the line\n");
    return 1;
  }

  bool done = true;
  if (o.role == "--serve") {
    Serve(wire, o, report);
  } else if (o.role == "--send") {
    done = SendProgram(wire, o.send, false);
  } else {
    done = ReceiveProgram(wire, o.receive, report, false);
  }
  done = done && SendNoise(wire, o.noiseAfter);
  // The exchange is over; the line stays up until the PC closes its side.
  while (done && wire.Receive(-1) != Wire::kGone) {
  }
  wire.Close();
  return 0;
}
