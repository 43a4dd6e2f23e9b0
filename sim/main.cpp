// liaison-sim: a simulated Casio Graph calculator at the other end of the line.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "calculator.h"
#include "screen.h"
#include "screenrecv.h"
#include "seven.h"
#include "transmission.h"
#include "link/link.h"

namespace {

const char kUsage[] =
    "usage: liaison-sim [--port DEVICE] ROLE [options]\n"
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
    "  --transmit FILE.cas  send every item of an archive in one transmission\n"
    "                       (liaison recevoir), then the end header\n"
    "  --take               receive a whole transmission (liaison envoyer)\n"
    "  --screen FILE.pbm    send a screen capture of this plain (P1) picture; given\n"
    "                       three times, a colour capture of three sheets\n"
    "  --seven              a Graph 35+ (Protocol 7.00) that the PC drives\n"
    "  --seven-transmit F   a Graph 35+ that sends the files of F.g1m by itself\n"
    "  --screenrecv PIC     a Graph 90+E in ScreenRecv on its USB mass-storage\n"
    "                       interface (command wrappers on the line): streams the\n"
    "                       picture (P6/P3 colour, P1 monochrome); again: more\n"
    "ScreenRecv:\n"
    "  --frames N           N frames, the pictures in turn (each once otherwise)\n"
    "  --fps N              frames a second (30)\n"
    "  --format F           colour frames in 1RC2 (default) or 1RC3\n"
    "  --lose N             the N-th frame loses 100 bytes in its middle\n"
    "  --damage N           the N-th frame goes with a wrong checksum\n"
    "Transmitting (--transmit, --screen):\n"
    "  --header-gap MS      each header in 4 pieces, MS milliseconds apart\n"
    "  --cut-header N       item N: 20 bytes of its header, then silence\n"
    "  --start-delay MS     the first 0x16 MS milliseconds after the PC opened\n"
    "Protocol 7.00:\n"
    "  --memory F.g1m       main memory holds the files of F.g1m (again: more)\n"
    "  --storage FILE       the storage memory holds FILE, under its own name\n"
    "  --storage-in DIR FILE  the same, in its folder DIR\n"
    "  --keep DIR           every file received is written to DIR (main-NAME,\n"
    "                       storage-NAME)\n"
    "  --no-storage         a model without storage memory\n"
    "  --user NAME          the user name of its device information\n"
    "  --corrupt-once N     its N-th packet goes once with a wrong checksum\n"
    "  --ask-resend N       it answers the PC's N-th packet with NAK 01, once\n"
    "  --silent-once N      it leaves the PC's N-th packet unanswered, once\n"
    "  --vanish-after N     the line closes after the PC's N-th packet\n"
    "  --silent             it answers nothing\n"
    "  --full               a file sent to it gets NAK 05 (memory full)\n"
    "  --ack-delay MS       each data packet's ACK held up to MS ms (a calculator on\n"
    "                       USB: about 30), sent at once when the PC's next packet\n"
    "                       begins; the report says how many came before it\n"
    "  --shift              its own files go one data packet ahead of the ACKs\n"
    "  --refuse-data N      the N-th data packet of a file gets NAK 00\n"
    "  --hardware-id ID     the hardware id of its device information (Gy362007)\n"
    "  --transmit-gap MS    (--seven-transmit) MS milliseconds between two files\n"
    "  --misname            a file it sends names the folder AUTRE, whatever was asked\n"
    "  --transmit-speed N   (--seven-transmit) the speed it asks for (115200)\n"
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
    "                       before 0x13, before the answer, mid-data, before the\n"
    "                       last 0x06 (ready, answer, data, ack: receiving)\n"
    "  --noise-after N      N random bytes after each exchange\n"
    "  --pace               send and take bytes at the real line rate (1.146 ms each)\n"
    "  --log FILE           every byte with a time stamp: '>' to the PC, '<' from it\n";

struct Options {
  std::string role, device, logPath, reportPath, text = "Bonjour", contentPath;
  SendPlan send;
  ReceivePlan receive;
  TransmitPlan transmit;
  TakePlan take;
  ScreenPlan screen;
  SevenPlan seven;
  ScreenRecvPlan screenRecv;
  int repeat = 1;
  bool pace = false;
  int noiseAfter = 0;
};

bool ReadFile(const std::string& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// A whole decimal number, or a message on stderr.
bool Number(const std::string& option, const std::string& text, int* value) {
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < INT_MIN || n > INT_MAX) {
    std::fprintf(stderr, "liaison-sim: %s takes a number, not '%s'\n", option.c_str(),
                 text.c_str());
    return false;
  }
  *value = static_cast<int>(n);
  return true;
}

// A byte in hexadecimal ("06", "2B"), or "none".
bool AnswerByte(const std::string& text, int* value) {
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 16);
  if (text == "none") {
    *value = -1;
  } else if (text.empty() || *end != '\0' || n < 0 || n > 0xFF) {
    std::fprintf(stderr, "liaison-sim: --answer takes a byte in hexadecimal or none, not '%s'\n",
                 text.c_str());
    return false;
  } else {
    *value = static_cast<int>(n);
  }
  return true;
}

// "A,B,C" -> A, B, C.
std::vector<std::string> Commas(const std::string& list) {
  std::vector<std::string> words;
  for (size_t at = 0; at <= list.size();) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    words.push_back(list.substr(at, comma - at));
    at = comma + 1;
  }
  return words;
}

enum class Parsed { Ok, Help, Wrong };

Parsed Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string* value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "liaison-sim: %s wants a value\n", a.c_str());
        return false;
      }
      *value = argv[++i];
      return true;
    };
    auto number = [&](int* value) {
      std::string v;
      return next(&v) && Number(a, v, value);
    };
    std::string v;
    bool ok = true;
    if (a == "--help" || a == "-h") return Parsed::Help;
    if (a == "--send" || a == "--serve") {
      o->role = a;
      ok = next(&o->send.name);
    } else if (a == "--receive" || a == "--take") {
      o->role = a;
    } else if (a == "--transmit") {
      o->role = a;
      ok = next(&o->transmit.archive);
    } else if (a == "--screen") {
      o->role = a;
      ok = next(&v);
      o->screen.pictures.push_back(v);
    } else if (a == "--seven") {
      o->role = a;
    } else if (a == "--seven-transmit" || a == "--memory") {
      if (a == "--seven-transmit") o->role = a;
      ok = next(&v);
      std::vector<SevenFile>& into = a == "--memory" ? o->seven.main : o->seven.transmit;
      if (ok && !ReadG1mFiles(v, &into)) {
        std::fprintf(stderr, "liaison-sim: %s is no .g1m\n", v.c_str());
        ok = false;
      }
    } else if (a == "--storage" || a == "--storage-in") {
      std::string folder;
      if (a == "--storage-in") ok = next(&folder);
      ok = ok && next(&v);
      std::vector<unsigned char> bytes;
      ok = ok && ReadFile(v, &bytes);
      o->seven.storage.push_back(
          {"", folder, v.substr(v.rfind('/') + 1), 0, std::string(bytes.begin(), bytes.end())});
    } else if (a == "--keep") {
      ok = next(&o->seven.keep);
    } else if (a == "--no-storage") {
      o->seven.noStorage = true;
    } else if (a == "--user") {
      ok = next(&o->seven.user);
    } else if (a == "--corrupt-once") {
      ok = number(&o->seven.corruptOnce);
    } else if (a == "--ask-resend") {
      ok = number(&o->seven.askResend);
    } else if (a == "--silent-once") {
      ok = number(&o->seven.silentOnce);
    } else if (a == "--vanish-after") {
      ok = number(&o->seven.vanishAfter);
    } else if (a == "--silent") {
      o->seven.silent = true;
    } else if (a == "--full") {
      o->seven.full = true;
    } else if (a == "--ack-delay") {
      ok = number(&o->seven.ackDelay);
    } else if (a == "--shift") {
      o->seven.shift = true;
    } else if (a == "--refuse-data") {
      ok = number(&o->seven.refuseData);
    } else if (a == "--misname") {
      o->seven.misname = true;
    } else if (a == "--transmit-gap") {
      ok = number(&o->seven.transmitGap);
    } else if (a == "--hardware-id") {
      ok = next(&o->seven.hardwareId);
    } else if (a == "--transmit-speed") {
      int speed = 0;
      ok = number(&speed);
      o->seven.transmitSpeed = speed;
    } else if (a == "--colours") {
      ok = next(&v);
      o->screen.colours.clear();
      for (const std::string& code : Commas(v))
        o->screen.colours.push_back(std::atoi(code.c_str()));
      ok = ok && o->screen.colours.size() == 3;
    } else if (a == "--colour-out-of-sum") {
      o->screen.colourOutOfSum = true;
    } else if (a == "--repeat") {
      ok = number(&o->repeat);
    } else if (a == "--bad-part") {
      ok = number(&o->transmit.badPart);
    } else if (a == "--silent-part") {
      ok = number(&o->transmit.silentPart);
    } else if (a == "--vanish-part") {
      ok = number(&o->transmit.vanishPart);
    } else if (a == "--header-gap") {
      ok = number(&o->transmit.headerGapMs);
    } else if (a == "--cut-header") {
      ok = number(&o->transmit.cutHeader);
    } else if (a == "--start-delay") {
      ok = number(&o->transmit.startDelayMs);
    } else if (a == "--no-end") {
      o->transmit.noEnd = true;
    } else if (a == "--request-between") {
      o->transmit.requestBetween = true;
    } else if (a == "--holds" || a == "--refuse") {
      ok = next(&v);
      std::set<std::string>& into = a == "--holds" ? o->take.holds : o->take.refuse;
      for (const std::string& word : Commas(v)) into.insert(word);
    } else if (a == "--archive") {
      ok = next(&o->take.archive);
    } else if (a == "--screenrecv") {
      o->role = a;
      ok = next(&v);
      o->screenRecv.pictures.push_back(v);
    } else if (a == "--frames") {
      ok = number(&o->screenRecv.frames);
    } else if (a == "--fps") {
      ok = number(&o->screenRecv.fps);
    } else if (a == "--format") {
      ok = next(&o->screenRecv.format) &&
           (o->screenRecv.format == "1RC2" || o->screenRecv.format == "1RC3");
    } else if (a == "--lose") {
      ok = number(&o->screenRecv.lose);
    } else if (a == "--damage") {
      ok = number(&o->screenRecv.damage);
    } else if (a == "--port") {
      ok = next(&o->device);
    } else if (a == "--content") {
      ok = next(&o->contentPath);
    } else if (a == "--text") {
      ok = next(&o->text);
    } else if (a == "--password") {
      ok = next(&o->send.password);
    } else if (a == "--type") {
      ok = next(&o->send.type);
    } else if (a == "--bad-checksum") {
      o->send.badChecksum = true;
    } else if (a == "--bad-data-checksum") {
      o->send.badDataChecksum = true;
    } else if (a == "--noise") {
      ok = number(&o->send.noise);
    } else if (a == "--noise-after") {
      ok = number(&o->noiseAfter);
    } else if (a == "--header-pieces") {
      ok = number(&o->send.headerPieces);
    } else if (a == "--piece-gap") {
      ok = number(&o->send.pieceGapMs);
    } else if (a == "--header-cut") {
      ok = number(&o->send.headerCut);
    } else if (a == "--data-cut") {
      ok = number(&o->send.dataCut);
    } else if (a == "--answer") {
      ok = next(&v);
      ok = ok && AnswerByte(v, &o->receive.answer);
    } else if (a == "--answer-delay") {
      ok = number(&o->receive.answerDelayMs);
    } else if (a == "--report") {
      ok = next(&o->reportPath);
    } else if (a == "--vanish") {
      static const std::string phases = " request header data ready answer ack ";
      ok = next(&o->send.vanish) && phases.find(" " + o->send.vanish + " ") != std::string::npos;
      if (!ok) std::fprintf(stderr, "liaison-sim: --vanish takes one of:%s\n", phases.c_str());
      o->receive.vanish = o->send.vanish;
    } else if (a == "--pace") {
      o->pace = true;
    } else if (a == "--log") {
      ok = next(&o->logPath);
    } else {
      std::fprintf(stderr, "liaison-sim: unknown option %s\n", a.c_str());
      ok = false;
    }
    if (!ok) return Parsed::Wrong;
  }
  if (o->role.empty()) {
    std::fprintf(stderr,
                 "liaison-sim: say --send, --receive, --serve, --transmit, --take, --screen, "
                 "--seven, --seven-transmit or --screenrecv\n");
    return Parsed::Wrong;
  }
  if (!o->contentPath.empty()) {
    if (!ReadFile(o->contentPath, &o->send.content)) {
      std::fprintf(stderr, "liaison-sim: cannot read %s\n", o->contentPath.c_str());
      return Parsed::Wrong;
    }
  } else {
    o->send.content.assign(o->text.begin(), o->text.end());
  }
  return Parsed::Ok;
}

// A log or report that cannot be written would leave a test nothing to check.
FILE* OpenOutput(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  FILE* file = std::fopen(path.c_str(), mode);
  if (!file) std::fprintf(stderr, "liaison-sim: cannot write %s\n", path.c_str());
  return file;
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
  Parsed parsed = Parse(argc, argv, &o);
  if (parsed != Parsed::Ok) {
    std::fputs(kUsage, parsed == Parsed::Help ? stdout : stderr);
    return parsed == Parsed::Help ? 0 : 2;
  }
  FILE* log = OpenOutput(o.logPath, "w");
  FILE* report = OpenOutput(o.reportPath, "a");
  if ((!o.logPath.empty() && !log) || (!o.reportPath.empty() && !report)) return 2;
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
  } else if (o.role == "--transmit") {
    o.transmit.noise = o.send.noise;
    done = Transmit(wire, o.transmit, report);
  } else if (o.role == "--screen") {
    if (o.screen.pictures.size() != 1 && o.screen.pictures.size() != 3) {
      std::fprintf(stderr, "liaison-sim: --screen once (monochrome) or three times (colour)\n");
      return 2;
    }
    o.screen.badHeader = o.send.badChecksum;
    SimItem capture;
    if (!BuildCapture(o.screen, &capture)) return 2;
    // Each capture is a transmission of its own: a new 0x16, no end header.
    o.transmit.noEnd = true;
    o.transmit.requestBetween = true;
    o.transmit.noise = o.send.noise;
    done = TransmitItems(wire, std::vector<SimItem>(static_cast<size_t>(o.repeat), capture),
                         o.transmit, report);
  } else if (o.role == "--take") {
    done = Take(wire, o.take, report);
  } else if (o.role == "--seven") {
    done = ServeSeven(wire, o.seven, report);
  } else if (o.role == "--screenrecv") {
    done = ServeScreenRecv(wire, o.screenRecv, report);
  } else if (o.role == "--seven-transmit") {
    done = TransmitSeven(wire, o.seven, report);
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
