// Both transfers at the real line rate (9600 bit/s, 11 bits a byte), the
// program's cost while it waits, its memory and its start-up time. It
// measures and reports; it passes or fails nothing.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/harness.h"
#include "files/screen.h"
#include "seven/command.h"
#include "seven/stream.h"
#include "session/seven.h"
#include "serial/usb.h"
#include "support/fake_usb.h"
#include "text/program_text.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteSeconds = 11.0 / 9600.0;  // 872.7 bytes a second

struct Line {
  int bytes = 0;
  double first = 0, last = 0;
  double simPace = 0;  // the simulator's own pace over its longest paced run
};

// The calculator's log: when each byte crossed the line, in which direction.
Line ReadLog(const std::string& path) {
  std::istringstream log(ReadAll(path));
  Line line;
  std::string at, dir, hex;
  char runDir = 0;
  int run = 0, longest = 0;
  double runStart = 0;
  while (log >> at >> dir >> hex) {
    double t = std::stod(at);
    if (line.bytes++ == 0) line.first = t;
    line.last = t;
    if (dir[0] != runDir) {
      runDir = dir[0];
      run = 0;
      runStart = t;
    }
    if (++run > longest && run > 1) {
      longest = run;
      line.simPace = (t - runStart) / ((run - 1) * kByteSeconds);
    }
  }
  return line;
}

struct Transfer {
  std::string name;
  double wire, measured, ratio, simPace;
  long maxRssKb;
};

Transfer Run(const std::string& name, bool reception, int size, bool traced = false) {
  TempDir dir;
  std::string typed;
  std::vector<std::string> sim = {"--pace"};
  if (reception) {
    WriteAll(dir / "program", std::string(static_cast<size_t>(size), 'A'));
    sim.insert(sim.end(), {"--send", "BENCH", "--content", dir / "program"});
    typed = "1 3\n\n3\n";
  } else {
    WriteAll(dir / "f.txt", std::string(static_cast<size_t>(size - 1), 'A') + "\n");
    sim.insert(sim.end(), {"--receive"});
    typed = "2 f.txt BENCH\n\n3\n";
  }
  Calculator calculator(dir, sim);
  RunOptions options;
  options.timeoutSeconds = 600;
  if (traced) options.env = {"LIAISON_TRACE=" + (dir / "trace.txt")};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), typed, options);
  calculator.Finish();
  Line line = ReadLog(dir / "sim.log");
  Transfer t;
  t.name = name;
  t.wire = line.bytes * kByteSeconds;
  t.measured = line.last - line.first + kByteSeconds;  // the last byte takes its time too
  t.ratio = t.measured / t.wire;
  t.simPace = line.simPace;
  t.maxRssKb = exit.maxRssKb;
  if (exit.status != 0)
    std::fprintf(stderr, "bench: %s ended with %d\n", name.c_str(), exit.status);
  return t;
}

// A whole transmission at the line rate: liaison recevoir takes the items
// from the simulator, or liaison envoyer gives them to it.
struct Transmitted {
  Transfer t;
  double longestAnswerMs = 0;  // from a header's or part's last byte to liaison's answer
};

// receive: liaison recevoir; capture: liaison ecran of a 128 x 64 screen
// (its answer to the last part waits until the picture is on disk and drawn);
// otherwise liaison envoyer.
enum class Way { Receive, Send, Capture };

Transmitted RunTransmission(const std::string& name, Way way, const Bytes& items) {
  TempDir dir;
  WriteAll(dir / "items.cas", std::string(items.begin(), items.end()));
  std::string pbm = "P1\n128 64\n";
  for (int i = 0; i < 128 * 64; ++i) pbm += (i / 128 + i % 128) % 3 ? "0 " : "1 ";
  WriteAll(dir / "screen.pbm", pbm);
  std::vector<std::string> sim = {"--pace"};
  RunOptions options;
  options.timeoutSeconds = 600;
  bool receive = way == Way::Receive;
  if (receive) {
    sim.insert(sim.end(), {"--transmit", dir / "items.cas"});
    options.args = {"recevoir"};
  } else if (way == Way::Send) {
    sim.insert(sim.end(), {"--take", "--archive", dir / "taken.cas"});
    options.args = {"envoyer", "items.cas"};
  } else {
    sim.insert(sim.end(), {"--screen", dir / "screen.pbm"});
    options.args = {"ecran", "--nombre", "1"};
  }
  Calculator calculator(dir, sim);
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  if (exit.status != 0)
    std::fprintf(stderr, "bench: %s ended with %d\n", name.c_str(), exit.status);
  Line line = ReadLog(dir / "sim.log");
  Transmitted r;
  r.t = {name,
         line.bytes * kByteSeconds,
         line.last - line.first + kByteSeconds,
         0,
         line.simPace,
         exit.maxRssKb};
  r.t.ratio = r.t.measured / r.t.wire;
  // An answer of liaison's follows a run of the calculator's bytes.
  std::istringstream log(ReadAll(dir / "sim.log"));
  std::string at, direction, hex;
  double lastFromCalculator = -1;
  char previous = 0;
  while (log >> at >> direction >> hex) {
    double t = std::stod(at);
    if (direction[0] == '<' && previous == '>' && lastFromCalculator >= 0)
      r.longestAnswerMs = std::max(r.longestAnswerMs, (t - lastFromCalculator) * 1000);
    if (direction[0] == '>') lastFromCalculator = t;
    previous = direction[0];
  }
  return r;
}

// Protocol 7.00: a 64 KiB storage file sent and fetched at `speed`. The wire
// time counts every byte of the exchange at the speed the line had then.
Transmitted RunSeven(const std::string& name, bool send, unsigned long speed) {
  TempDir dir;
  std::string file(65536, '\0');
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 + i / 256);
  WriteAll(dir / "BENCH.BIN", file);
  std::vector<std::string> sim = {"--pace", "--seven"};
  if (!send) sim.insert(sim.end(), {"--storage", dir / "BENCH.BIN"});
  RunOptions options;
  options.timeoutSeconds = 600;
  std::string baud = std::to_string(speed);
  if (send)
    options.args = {"envoyer", "--protocole", "7", "--stockage", "--vitesse", baud, "BENCH.BIN"};
  else
    options.args = {"recuperer", "--stockage", "--vitesse", baud, "BENCH.BIN"};
  Calculator calculator(dir, sim);
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  if (exit.status != 0)
    std::fprintf(stderr, "bench: %s ended with %d\n", name.c_str(), exit.status);
  std::istringstream log(ReadAll(dir / "sim.log"));
  std::string at, direction, value;
  double byteSeconds = 11.0 / 9600, wire = 0, first = -1, last = 0, lastByte = 0;
  double lastFromCalculator = -1, longest = 0;
  char previous = 0;
  while (log >> at >> direction >> value) {
    double t = std::stod(at);
    if (direction == "S") {
      byteSeconds = std::stod(value.substr(value.find('/') + 1)) / std::stod(value);
      continue;
    }
    if (first < 0) first = t;
    last = t;
    lastByte = byteSeconds;
    wire += byteSeconds;
    if (direction[0] == '<' && previous == '>' && lastFromCalculator >= 0)
      longest = std::max(longest, (t - lastFromCalculator) * 1000);
    if (direction[0] == '>') lastFromCalculator = t;
    previous = direction[0];
  }
  Transmitted r;
  r.t = {name, wire, last - first + lastByte, 0, 0, exit.maxRssKb};
  r.t.ratio = r.t.measured / r.t.wire;
  r.longestAnswerMs = longest;
  return r;
}

// Packet shifting on USB: a 64 KiB storage file sent through the libusb
// backend (the library's calls stood in for) to the simulated calculator
// holding each data packet's ACK up to 30 ms, with the packets one ahead and
// each waiting; and fetched from it, the calculator sending one ahead or not.
struct Shifting {
  double sentAhead, sentWaiting, fetchedAhead, fetchedWaiting;
};

double UsbSession(const std::vector<std::string>& sim, bool ahead, bool send) {
  TempDir dir;
  WriteAll(dir / "BENCH.BIN", std::string(65536, '\x5C'));
  std::vector<std::string> args = {"--seven", "--storage", dir / "BENCH.BIN"};
  args.insert(args.end(), sim.begin(), sim.end());
  Calculator calculator(dir, args);
  setenv("LIAISON_FAKE_USB_PTY", calculator.Port().c_str(), 1);
  UsbLine line(NativeUsbBus());
  if (line.Open(1) != OpenResult::Opened) return -1;
  SerialBackend& previous = UseSerialBackend(line);
  SevenEvents events;
  SevenLink link(events);
  link.AllowShifting(ahead);
  auto start = Clock::now();
  bool done = link.Open() == Step::Done;
  std::vector<Announced> got;
  if (send)
    done = done && link.SendFile(seven::kStorageFile, seven::StorageFields("", "NEW.BIN"),
                                 std::string(65536, '\x5C')) == Step::Done;
  else
    done = done && link.Request(seven::kRequestStorage, seven::StorageFields("", "BENCH.BIN"),
                                &got) == Step::Done && got.size() == 1;
  link.Close();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  UseSerialBackend(previous);
  line.Close();
  unsetenv("LIAISON_FAKE_USB_PTY");
  return done ? seconds : -1;
}

Shifting MeasureShifting() {
  Shifting s{};
  s.sentAhead = UsbSession({"--ack-delay", "30"}, true, true);
  s.sentWaiting = UsbSession({"--ack-delay", "30"}, false, true);
  s.fetchedAhead = UsbSession({"--shift"}, false, false);
  s.fetchedWaiting = UsbSession({}, false, false);
  return s;
}

void PrintShifting(const Shifting& s) {
  std::printf(
      "\n| USB, 64 KiB storage file, calculator holding each ACK 30 ms (libusb stand-in, "
      "simulator) | one packet ahead | each packet waits | speed-up |\n|---|---:|---:|---:|\n");
  std::printf("| envoyer --stockage | %.3f s | %.3f s | %.1fx |\n", s.sentAhead, s.sentWaiting,
              s.sentWaiting / s.sentAhead);
  std::printf("| recuperer --stockage (the calculator sends) | %.3f s | %.3f s | %.1fx |\n",
              s.fetchedAhead, s.fetchedWaiting, s.fetchedWaiting / s.fetchedAhead);
}

// The USB cable, on the fake bus with a modelled 12 Mbit/s link: a 64 KiB
// storage file sent and fetched (Protocol 7.00 over the USB line, in this
// process), against the time of every byte of the exchange on such a link.
struct UsbFigures {
  double sendSeconds, fetchSeconds, wireSeconds;
  double framesPerSecond;
};

UsbFigures MeasureUsb() {
  using seven::Encode;
  const std::string file(65536, '\x5C');
  const std::string ack = Encode(seven::Basic(seven::kAck, 0));
  UsbFigures f{};
  auto calculator = [&](FakeUsbBus& bus, std::vector<std::string> after) {
    auto queue = std::make_shared<std::vector<std::string>>(std::move(after));
    auto next = std::make_shared<size_t>(0);
    auto probe = std::make_shared<std::string>();
    bus.answer = [=](const std::string& chunk) -> std::vector<std::string> {
      if (probe->size() < 6) {  // the probe's check: its ACK once whole
        *probe += chunk;
        return probe->size() == 6 ? std::vector<std::string>{ack} : std::vector<std::string>{};
      }
      if (*next < queue->size()) return {(*queue)[(*next)++]};
      return {ack};
    };
  };
  // One session over a paced fake calculator: its seconds, and what the PC wrote.
  auto timed = [&](std::vector<std::string> replies, const std::function<void(SevenLink&)>& step,
                   std::string* written) {
    FakeUsbBus bus;
    calculator(bus, std::move(replies));
    UsbLine line(bus);
    line.Open(1);
    bus.bitsPerSecond = 12e6;
    SerialBackend& previous = UseSerialBackend(line);
    SevenEvents events;
    SevenLink link(events);
    auto start = Clock::now();
    link.Open();
    step(link);
    link.Close();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    UseSerialBackend(previous);
    *written = bus.written;
    return seconds;
  };
  std::string written;
  f.sendSeconds = timed(
      {},
      [&](SevenLink& link) {
        link.SendFile(seven::kStorageFile, seven::StorageFields("", "BENCH.BIN"), file);
      },
      &written);
  f.wireSeconds = (written.size() - 6) * 8 / 12e6;  // what the PC sent, the probe aside
  std::vector<std::string> replies = {ack, ack};    // the check, the request 44
  replies.push_back(                                // answers the roleswap
      Encode(seven::Command(seven::kStorageFile, seven::StorageFields("", "BENCH.BIN", 65536))));
  for (const seven::Packet& p : seven::DataPackets(seven::kStorageFile, file))
    replies.push_back(Encode(p));  // each answers the PC's ACK
  replies.push_back(Encode(seven::Basic(seven::kRoleswap, 0)));
  f.fetchSeconds = timed(
      replies,
      [&](SevenLink& link) {
        std::vector<Announced> got;
        link.Request(seven::kRequestStorage, seven::StorageFields("", "BENCH.BIN"), &got);
      },
      &written);
  // Frames: decoded from the stream and drawn, as ecran does for each one.
  std::string frame(1024, '\0');
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>(i * 37);
  std::string packet = StreamPacket("\x0BTYP01", frame);
  seven::StreamReader reader;
  const int count = 2000;
  auto start = Clock::now();
  std::size_t drawn = 0;
  for (int i = 0; i < count; ++i) {
    reader.Feed(reinterpret_cast<const unsigned char*>(packet.data()), packet.size());
    seven::Frame decoded;
    while (reader.Next(&decoded) == seven::StreamReader::Event::Frame) {
      Screen screen;
      screen.width = decoded.width;
      screen.height = decoded.height;
      screen.pixels = decoded.pixels;
      drawn += DrawScreen(screen, false, 80).size();
    }
  }
  f.framesPerSecond = count / std::chrono::duration<double>(Clock::now() - start).count();
  if (drawn == 0) f.framesPerSecond = 0;
  return f;
}

double CpuSecondsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  std::vector<std::string> fields;
  while (stat >> field) fields.push_back(field);
  if (fields.size() < 15) return -1;
  return (std::stod(fields[13]) + std::stod(fields[14])) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

// liaison waits on a silent calculator for `seconds`: what does it cost?
double IdleCpu(const std::vector<std::string>& sim, const std::string& typed, int seconds) {
  TempDir dir;
  WriteAll(dir / "f.txt", "x\n");
  Calculator calculator(dir, sim);
  Liaison liaison(dir.Path(), calculator.Port());
  liaison.Type(typed);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return CpuSecondsOf(liaison.Pid());
}

double StartToMenu() {
  TempDir dir;
  Calculator calculator(dir, {"--receive"});
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    Clock::time_point start = Clock::now();
    Liaison liaison(dir.Path(), calculator.Port());
    liaison.WaitFor("Choix : ");
    double spent = std::chrono::duration<double>(Clock::now() - start).count();
    if (spent < best) best = spent;
    liaison.Type("3\n");
    liaison.Finish();
  }
  return best;
}

// Linux counts in a child's peak memory that of the process it was forked
// from: liaison-texte is measured from a fresh, small copy of this program
// (--peak-memory), which starts it and reports what it alone used.
long PeakMemoryKb(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/proc/self/exe", "--peak-memory", LIAISON_TEXTE_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) argv[0] = std::string(self, static_cast<size_t>(n));
  return std::atol(Process(argv, "", RunOptions{}).Finish().out.c_str());
}

int ReportPeakMemory(char** argv) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  std::printf("%ld\n", usage.ru_maxrss);
  return 0;
}

// A program of 65,533 bytes (the demo program again and again) and ten times
// that: liaison-texte's time in process, best of 5, and its peak memory as a
// program, to show that both grow in proportion.
struct TextCost {
  double lireMs, ecrireMs;
  long lireKb, ecrireKb;
};

TextCost MeasureText(size_t size, int timings = 5) {
  TempDir dir;
  std::string demo = ReadAll(std::string(LIAISON_SOURCE_DIR) + "/samples/DEMO.txt").substr(1);
  std::string bytes;
  while (bytes.size() < size) bytes += demo + "\r";
  bytes.resize(size);
  while (!bytes.empty() && (static_cast<unsigned char>(bytes.back()) == 0x7F ||
                            static_cast<unsigned char>(bytes.back()) == 0xF7))
    bytes.back() = 'A';  // no token cut in two at the end
  std::string text = BytesToText(bytes, Spelling::Calculator), back;
  TextError error;
  TextCost cost{1e9, 1e9, 0, 0};
  for (int i = 0; i < timings; ++i) {
    Clock::time_point start = Clock::now();
    text = BytesToText(bytes, Spelling::Calculator);
    Clock::time_point middle = Clock::now();
    TextToBytes(text, &back, &error);
    Clock::time_point end = Clock::now();
    cost.lireMs =
        std::min(cost.lireMs, std::chrono::duration<double, std::milli>(middle - start).count());
    cost.ecrireMs =
        std::min(cost.ecrireMs, std::chrono::duration<double, std::milli>(end - middle).count());
  }
  if (timings > 0 && back != bytes)
    std::fprintf(stderr, "bench: the round trip of %zu bytes failed\n", size);
  WriteAll(dir / "program", ":" + bytes);
  WriteAll(dir / "text", text);
  cost.lireKb = PeakMemoryKb({"lire", dir / "program"});
  cost.ecrireKb = PeakMemoryKb({"ecrire", dir / "text", dir / "out"});
  return cost;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--peak-memory") return ReportPeakMemory(argv + 2);
  if (argc > 1 && std::string(argv[1]) == "--seven") {  // the Protocol 7.00 rows alone
    for (const Transmitted& r :
         {RunSeven("envoyer --stockage, 64 KiB, 115200 E 1", true, 115200),
          RunSeven("recuperer --stockage, 64 KiB, 115200 E 1", false, 115200),
          RunSeven("envoyer --stockage, 64 KiB, 9600 N 2", true, 9600),
          RunSeven("recuperer --stockage, 64 KiB, 9600 N 2", false, 9600)})
      std::printf("| %s | %.2f | %.2f | %.4f | %.2f ms | %.2f MiB |\n", r.t.name.c_str(), r.t.wire,
                  r.t.measured, r.t.ratio, r.longestAnswerMs, r.t.maxRssKb / 1024.0);
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "--usb") {  // the USB figures alone
    PrintShifting(MeasureShifting());
    UsbFigures usb = MeasureUsb();
    std::printf("USB 64 KiB: sent %.3f s (bytes %.3f s), fetched %.3f s; %.0f frames a second\n",
                usb.sendSeconds, usb.wireSeconds, usb.fetchSeconds, usb.framesPerSecond);
    return 0;
  }
  int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
  auto waitRequest = std::async(std::launch::async, IdleCpu, std::vector<std::string>{"--receive"},
                                "1\n", idleSeconds);
  auto waitReady = std::async(std::launch::async, IdleCpu, std::vector<std::string>{"--send", "X"},
                              "2 f.txt P\n", idleSeconds);
  std::vector<Transfer> transfers = {
      Run("reception, 100 B", true, 100),
      Run("reception, 4 KiB", true, 4096),
      Run("reception, 60 KiB", true, 61440),
      Run("emission, 100 B", false, 100),
      Run("emission, 4 KiB", false, 4096),
      Run("emission, 65,533 B", false, 65533),
      Run("reception, 60 KiB, traced", true, 61440, true),
      Run("emission, 65,533 B, traced", false, 65533, true),
  };
  const Bytes programs = Join({ProgramItemBytes("A", std::string(1000, 'a')),
                               ProgramItemBytes("B", std::string(4000, 'b')),
                               ProgramItemBytes("C", std::string(10000, 'c'))});
  const Bytes backup = BackupItemBytes(61440);
  std::vector<Transmitted> transmissions = {
      RunTransmission("recevoir, 3 programs (15 KB)", Way::Receive, programs),
      RunTransmission("recevoir, a 60 KiB backup", Way::Receive, backup),
      RunTransmission("envoyer, 3 programs (15 KB)", Way::Send, programs),
      RunTransmission("envoyer, a 60 KiB backup", Way::Send, backup),
      RunTransmission("ecran, a 128 x 64 capture to PNG and terminal", Way::Capture, {}),
  };
  std::vector<Transmitted> sevens = {
      RunSeven("envoyer --stockage, 64 KiB, 115200 E 1", true, 115200),
      RunSeven("recuperer --stockage, 64 KiB, 115200 E 1", false, 115200),
      RunSeven("envoyer --stockage, 64 KiB, 9600 N 2", true, 9600),
      RunSeven("recuperer --stockage, 64 KiB, 9600 N 2", false, 9600),
  };
  UsbFigures usb = MeasureUsb();
  Shifting shifting = MeasureShifting();
  double request = waitRequest.get(), ready = waitReady.get();
  double menu = StartToMenu();

  std::printf("| transfer | wire time (s) | measured (s) | ratio | simulator's own pace |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  long rss = 0;
  for (const Transfer& t : transfers) {
    std::printf("| %s | %.2f | %.2f | %.4f | %.4f |\n", t.name.c_str(), t.wire, t.measured, t.ratio,
                t.simPace);
    if (t.maxRssKb > rss) rss = t.maxRssKb;
  }
  std::printf(
      "\n| transmission | wire time (s) | measured (s) | ratio | longest answer of liaison's | "
      "peak memory |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const Transmitted& r : transmissions) {
    std::printf("| %s | %.2f | %.2f | %.4f | ", r.t.name.c_str(), r.t.wire, r.t.measured,
                r.t.ratio);
    if (r.t.name.compare(0, 7, "envoyer") != 0)
      std::printf("%.2f ms |", r.longestAnswerMs);
    else
      std::printf("(the calculator answers) |");
    std::printf(" %.2f MiB |\n", r.t.maxRssKb / 1024.0);
  }
  std::printf(
      "\n| Protocol 7.00 | wire time (s) | measured (s) | ratio | longest answer of liaison's | "
      "peak memory |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const Transmitted& r : sevens)
    std::printf("| %s | %.2f | %.2f | %.4f | %.2f ms | %.2f MiB |\n", r.t.name.c_str(), r.t.wire,
                r.t.measured, r.t.ratio, r.longestAnswerMs, r.t.maxRssKb / 1024.0);
  std::printf("\n| USB (fake bus, 12 Mbit/s modelled) | measured |\n|---|---:|\n");
  std::printf("| envoyer --stockage, 64 KiB | %.3f s (its bytes alone: %.3f s) |\n",
              usb.sendSeconds, usb.wireSeconds);
  std::printf("| recuperer --stockage, 64 KiB | %.3f s |\n", usb.fetchSeconds);
  std::printf("| screen frames decoded and drawn | %.0f a second |\n", usb.framesPerSecond);
  PrintShifting(shifting);
  std::printf("\n| liaison | measured |\n|---|---:|\n");
  std::printf("| CPU during a %d s wait for 0x16 | %.3f s (%.3f%%) |\n", idleSeconds, request,
              100 * request / idleSeconds);
  std::printf("| CPU during a %d s wait for 0x13 | %.3f s (%.3f%%) |\n", idleSeconds, ready,
              100 * ready / idleSeconds);
  std::printf("| peak resident memory (largest transfer) | %.2f MiB |\n", rss / 1024.0);
  std::printf("| start to menu prompt (best of 5) | %.1f ms |\n", menu * 1000);

  TextCost small = MeasureText(65533), large = MeasureText(655330),
           huge = MeasureText(100000000, 0);
  std::printf("\n| liaison-texte | 65,533 B | 655,330 B | 100,000,000 B |\n|---|---:|---:|---:|\n");
  std::printf("| lire (best of 5) | %.1f ms | %.1f ms | |\n", small.lireMs, large.lireMs);
  std::printf("| ecrire (best of 5) | %.1f ms | %.1f ms | |\n", small.ecrireMs, large.ecrireMs);
  std::printf("| lire, peak resident memory | %.2f MiB | %.2f MiB | %.1f MiB |\n",
              small.lireKb / 1024.0, large.lireKb / 1024.0, huge.lireKb / 1024.0);
  std::printf("| ecrire, peak resident memory | %.2f MiB | %.2f MiB | %.1f MiB |\n",
              small.ecrireKb / 1024.0, large.ecrireKb / 1024.0, huge.ecrireKb / 1024.0);
  return 0;
}
