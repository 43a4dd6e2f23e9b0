#include "session/seven.h"

#include <set>

#include "serial/serial.h"

using namespace seven;

namespace {

// How long reads wait: `totalMs` for one read in all, at most `betweenMs`
// between two bytes. Applied to the port only when they change.
void SetWaits(int totalMs, int betweenMs) {
  if (g_cto.ReadTotalTimeoutConstant == static_cast<DWORD>(totalMs) &&
      g_cto.ReadIntervalTimeout == static_cast<DWORD>(betweenMs) &&
      g_cto.ReadTotalTimeoutMultiplier == 0)
    return;
  g_cto.ReadTotalTimeoutConstant = static_cast<DWORD>(totalMs);
  g_cto.ReadIntervalTimeout = static_cast<DWORD>(betweenMs);
  g_cto.ReadTotalTimeoutMultiplier = 0;
  ConfigureCOM();
}

// The port's waits as they were, back when a session ends: the older
// protocol's exchanges read with them.
class KeptWaits {
 public:
  KeptWaits() : saved_(g_cto) {}
  ~KeptWaits() {
    g_cto = saved_;
    ConfigureCOM();
  }

 private:
  COMMTIMEOUTS saved_;
};

// Bytes that are no packet (the rest of a broken one) are read and dropped
// until the line has been quiet a moment.
void Drain() {
  SetWaits(100, 100);
  unsigned char junk[256];
  for (int i = 0; i < 64; ++i) {
    int got = 0;
    if (!ReadCOM(junk, sizeof junk, &got) || got == 0) return;
  }
}

bool Switch(unsigned long baud, BYTE parity, BYTE stops) {
  g_dcb.BaudRate = static_cast<DWORD>(baud);
  g_dcb.Parity = parity;
  g_dcb.StopBits = stops;
  return ConfigureCOM() != 0;
}

constexpr unsigned long kMaxFileBytes = 1024 * 1024;
// No calculator holds more: a request series past them is ended.
constexpr size_t kMostAnnounced = 200000;
constexpr unsigned long long kMostAnnouncedBytes = 64ull << 20;

bool AnnouncesData(int code) {
  return code == kMainFile || code == kStorageFile;
}

}  // namespace

SevenLink::Read SevenLink::ReadPacket(int firstMs, Packet* packet) {
  std::string bytes;
  while (bytes.empty()) {  // a run of 0x10 may come first: it is no packet
    SetWaits(firstMs, firstMs);
    unsigned char byte = 0;
    int got = 0;
    if (!ReadCOM(&byte, 1, &got)) return Read::Lost;
    if (got == 0) return Read::Silent;
    if (byte != 0x10) bytes += static_cast<char>(byte);
  }
  for (;;) {
    size_t length = 0;
    switch (CutPacket(bytes, &length, packet)) {
      case Cut::Whole:
        return Read::Packet;
      case Cut::Corrupt:  // whole: the sender waits for our answer
        return Read::Corrupt;
      case Cut::OutOfStep:  // the rest of it may still be coming
        Drain();
        return Read::Corrupt;
      case Cut::More:
        break;
    }
    int need = static_cast<int>(length - bytes.size());
    // A whole packet at 9600 bit/s: about 1.2 ms a byte.
    SetWaits(times_.between + 2 * need, times_.between);
    std::string more(static_cast<size_t>(need), '\0');
    int got = 0;
    if (!ReadCOM(&more[0], need, &got)) return Read::Lost;
    bytes.append(more, 0, static_cast<size_t>(got));
    if (got < need) return Read::Corrupt;  // cut short: asked again
  }
}

bool SevenLink::Write(const Packet& packet) {
  std::string bytes = Encode(packet);
  int written = 0;
  return WriteCOM(bytes.data(), static_cast<int>(bytes.size()), &written) &&
         written == static_cast<int>(bytes.size());
}

Step SevenLink::Exchange(const Packet& out, Packet* answer, int firstMs) {
  if (Stop()) return Fail(Step::Stopped, "interrompu");
  const int wait = firstMs > 0 ? firstMs : times_.answer;
  for (int sends = 0; sends < 3;) {
    if (!Write(out)) return Fail(Step::LineLost, "ecriture impossible");
    ++sends;
    for (int asks = 0;;) {
      Read read = ReadPacket(wait, answer);
      if (read == Read::Lost) return Fail(Step::LineLost, "liaison perdue");
      if (read == Read::Corrupt) {  // its answer came damaged: ask for it again
        if (++asks >= 3) return Fail(Step::Broken, "reponses abimees (checksum)");
        if (!Write(Basic(kNak, kNakResend))) return Fail(Step::LineLost, "ecriture impossible");
        continue;
      }
      if (read == Read::Silent) {
        // The answer may be lost: the regular check asks the calculator
        // for it; whatever it answers, the packet goes again.
        if (!Write(Basic(kCheck, 1))) return Fail(Step::LineLost, "ecriture impossible");
        Packet reply;
        Read checked = ReadPacket(times_.answer, &reply);
        if (checked == Read::Lost) return Fail(Step::LineLost, "liaison perdue");
        if (checked == Read::Silent) return Fail(Step::NoAnswer, "pas de reponse");
        break;
      }
      if (answer->Is(kNak, kNakResend)) break;  // the calculator found our packet damaged
      return Step::Done;
    }
  }
  return Fail(Step::Broken, "paquet refuse trois fois (checksum)");
}

Step SevenLink::Receive(Packet* packet, int firstMs) {
  if (Stop()) return Fail(Step::Stopped, "interrompu");
  for (int asks = 0; asks < 3; ++asks) {
    Read read = ReadPacket(firstMs > 0 ? firstMs : times_.answer, packet);
    if (read == Read::Packet) return Step::Done;
    if (read == Read::Lost) return Fail(Step::LineLost, "liaison perdue");
    if (read == Read::Silent) return Fail(Step::NoAnswer, "pas de reponse");
    if (!Write(Basic(kNak, kNakResend))) return Fail(Step::LineLost, "ecriture impossible");
  }
  return Fail(Step::Broken, "paquets abimes (checksum)");
}

Step SevenLink::AnswerNak(const Packet& answer) {
  if (answer.type == kNak) {
    nak_ = answer.subtype;
    return Fail(Step::Refused, "NAK " + Hex(static_cast<unsigned long>(answer.subtype), 2));
  }
  return Fail(Step::Broken, "reponse inattendue (type " + Hex(answer.type, 2) + ", " +
                                Hex(static_cast<unsigned long>(answer.subtype), 2) + ")");
}

Step SevenLink::Open(int tries) {
  KeptWaits kept;
  for (int i = 0; i < tries; ++i) {
    if (!Write(Basic(kCheck, 0))) return Fail(Step::LineLost, "ecriture impossible");
    Packet answer;
    Read read = ReadPacket(times_.opening, &answer);
    if (read == Read::Lost) return Fail(Step::LineLost, "liaison perdue");
    if (read == Read::Packet && answer.Is(kAck, kAckPlain)) {
      // A slow calculator may answer the earlier checks too: their ACKs
      // would be taken for the answers of the next packets.
      if (i > 0) Drain();
      return Step::Done;
    }
  }
  return Fail(Step::NoAnswer, "pas de reponse");
}

Step SevenLink::Info(DeviceInfo* info) {
  KeptWaits kept;
  Packet answer;
  Step step = Exchange(Command(kDeviceInfo), &answer);
  if (step != Step::Done) return step;
  if (!answer.Is(kAck, kAckDevice)) return AnswerNak(answer);
  if (!ReadDeviceInfo(answer.data, info))
    return Fail(Step::Broken, "informations de " + std::to_string(answer.data.size()) + " octets");
  return Step::Done;
}

Step SevenLink::SetSpeed(unsigned long baud) {
  // A USB cable has no line speed: command 02 means nothing there.
  if (CurrentSerialBackend().IsUsb()) return Step::Done;
  KeptWaits kept;
  bool back = baud == 9600;  // the start speed is 9600 N 2; any other goes with even parity, 1 stop
  Fields fields;
  fields.d[0] = std::to_string(baud);
  fields.d[1] = back ? "NONE" : "EVEN";
  fields.d[2] = back ? "2" : "1";
  Packet answer;
  Step step = Exchange(Command(kLinkSettings, fields), &answer);
  if (step != Step::Done) return step;
  if (!answer.Is(kAck, kAckPlain)) return AnswerNak(answer);
  // Only after the ACK: the calculator switches once it has sent it.
  if (!Switch(baud, back ? NOPARITY : EVENPARITY, back ? TWOSTOPBITS : ONESTOPBIT))
    return Fail(Step::LineLost, "le port refuse " + std::to_string(baud) + " bit/s");
  speed_ = baud;
  return Step::Done;
}

Step SevenLink::SendFile(int code, Fields fields, const std::string& content) {
  KeptWaits kept;
  fields.overwrite = kAsk;
  fields.size = content.size();
  Packet answer;
  Step step = Exchange(Command(code, fields), &answer);
  if (step != Step::Done) return step;
  if (answer.Is(kNak, kNakExists)) {  // the calculator has it: ours in its place, or not
    bool replace = events_.Replace(fields.d[1]);
    step = Exchange(replace ? Basic(kAck, kAckOverwrite) : Basic(kNak, kNakNoOverwrite), &answer);
    if (step != Step::Done) return step;
    if (!answer.Is(kAck, kAckPlain)) return AnswerNak(answer);
    if (!replace) return Step::Kept;
  } else if (!answer.Is(kAck, kAckPlain)) {
    return AnswerNak(answer);
  }
  std::vector<Packet> packets = DataPackets(code, content);
  if (shifting_ && packets.size() >= 3 && CurrentSerialBackend().IsUsb())
    return SendShifted(packets, content.size());
  unsigned long done = 0;
  for (const Packet& packet : packets) {
    step = Exchange(packet, &answer);
    if (step != Step::Done) return step;
    if (!answer.Is(kAck, kAckPlain) && !answer.Is(kAck, kAckEnd)) return AnswerNak(answer);
    done += static_cast<unsigned long>(packet.data.size() - 8);
    events_.Progress(done, content.size());
  }
  return Step::Done;
}

Step SevenLink::ShiftedAnswer() {
  Packet answer;
  Read read = ReadPacket(times_.answer, &answer);
  ended_ = read != Read::Packet || !answer.Is(kAck, kAckPlain);
  if (!ended_) return Step::Done;
  if (read == Read::Lost) return Fail(Step::LineLost, "liaison perdue");
  if (read == Read::Silent) return Fail(Step::NoAnswer, "pas de reponse");
  if (read == Read::Corrupt) return Fail(Step::Broken, "reponse abimee pendant l'envoi en rafale");
  return AnswerNak(answer);
}

Step SevenLink::SendShifted(const std::vector<Packet>& packets, unsigned long total) {
  // The first packet waits for its answer: a calculator that refuses the
  // file does so before anything else goes.
  Packet answer;
  Step step = Exchange(packets[0], &answer);
  if (step != Step::Done) return step;
  if (!answer.Is(kAck, kAckPlain)) return AnswerNak(answer);
  auto bytesOf = [](const Packet& p) { return static_cast<unsigned long>(p.data.size() - 8); };
  unsigned long done = bytesOf(packets[0]);
  events_.Progress(done, total);
  const size_t last = packets.size() - 1;
  for (size_t i = 1; i < last; ++i) {
    // A stop lets the answers of what went come first.
    if (Stop()) {
      if (i > 1) ShiftedAnswer();  // the one still owed
      ended_ = true;
      return Fail(Step::Stopped, "interrompu");
    }
    if (!Write(packets[i])) return Fail(Step::LineLost, "ecriture impossible");
    if (i == 1) continue;  // one ahead: packet 2 goes before the answer of 1 is read
    if ((step = ShiftedAnswer()) != Step::Done) return step;
    done += bytesOf(packets[i - 1]);
    events_.Progress(done, total);
  }
  if ((step = ShiftedAnswer()) != Step::Done) return step;
  done += bytesOf(packets[last - 1]);
  events_.Progress(done, total);
  step = Exchange(packets[last], &answer);
  if (step != Step::Done) return step;
  if (!answer.Is(kAck, kAckPlain) && !answer.Is(kAck, kAckEnd)) return AnswerNak(answer);
  events_.Progress(total, total);
  return Step::Done;
}

Step SevenLink::ReceiveData(const Announced& file, std::string* content, bool* kept) {
  DataReceiver receiver(file.code, file.fields.size);
  std::string why;
  while (!receiver.Done()) {
    Packet packet;
    Step step = Receive(&packet);
    if (step != Step::Done) return step;
    if (!receiver.Take(packet, &why)) {
      Write(Basic(kNak, kNakError));
      return Fail(Step::Broken, why);  // the caller names the file
    }
    Packet answer = Basic(kAck, kAckPlain);
    if (receiver.Done() && kept) {
      Announced whole = file;
      whole.content = receiver.Content();
      int nak = kNakError;
      *kept = events_.Keep(whole, &nak);
      if (!*kept) answer = Basic(kNak, nak);
    }
    if (!Write(answer)) return Fail(Step::LineLost, "ecriture impossible");
    events_.Progress(receiver.Content().size(), file.fields.size);
  }
  *content = receiver.Content();
  return Step::Done;
}

Step SevenLink::Request(int code, const Fields& fields, std::vector<Announced>* files) {
  KeptWaits kept;
  Packet answer;
  Step step = Exchange(Command(code, fields), &answer);
  if (step != Step::Done) return step;
  if (!answer.Is(kAck, kAckPlain)) return AnswerNak(answer);
  // The calculator is active now; its first command answers the roleswap,
  // its roleswap ends the series and is not answered.
  if (!Write(Basic(kRoleswap, 0))) return Fail(Step::LineLost, "ecriture impossible");
  std::set<std::string> announced;
  unsigned long long bytes = 0;
  for (;;) {
    Packet packet;
    step = Receive(&packet);
    if (step != Step::Done) return step;
    if (packet.Is(kRoleswap, 0)) return Step::Done;
    Announced file;
    file.code = packet.subtype;
    if (packet.type != kCommand || !ReadFields(packet, &file.fields)) {
      Write(Basic(kNak, kNakError));
      return AnswerNak(packet);
    }
    // A series that would never end: what came is kept, the rest not asked.
    bytes += file.fields.size;
    if (!announced.insert(packet.data).second)
      return Fail(Step::Broken, "la calculatrice annonce de nouveau un fichier deja annonce");
    if (files->size() >= kMostAnnounced || bytes > kMostAnnouncedBytes)
      return Fail(Step::Broken, "serie trop longue (" + std::to_string(files->size()) +
                                    " fichiers, " + std::to_string(bytes) + " octets annonces)");
    if (!Write(Basic(kAck, kAckPlain))) return Fail(Step::LineLost, "ecriture impossible");
    if (AnnouncesData(file.code) && file.fields.size > 0) {
      step = ReceiveData(file, &file.content);
      if (step != Step::Done) return step;
    }
    files->push_back(file);
  }
}

Step SevenLink::Simple(int code, const Fields& fields) {
  KeptWaits kept;
  Packet answer;
  Step step = Exchange(Command(code, fields), &answer, code == kOptimize ? times_.longCommand : 0);
  if (step != Step::Done) return step;
  return answer.Is(kAck, kAckPlain) ? Step::Done : AnswerNak(answer);
}

Step SevenLink::Close() {
  KeptWaits kept;
  closing_ = true;
  if (lost_ || dead_) {
    Switch(9600, NOPARITY, TWOSTOPBITS);
    return lost_ ? Step::LineLost : Step::NoAnswer;
  }
  Step step = Step::Done;
  // Whether a calculator keeps a speed after the link is not known: it is
  // put back to the start speed first.
  if (speed_ != 9600) step = SetSpeed(9600);
  Packet answer;
  Step ended = Exchange(Basic(kTerminate, 0), &answer);
  Switch(9600, NOPARITY, TWOSTOPBITS);
  return step != Step::Done ? step : ended;
}

Protocol FindProtocol(SevenLink& link) {
  KeptWaits kept;
  for (;;) {
    Step step = link.Open(1);
    if (step == Step::Done) return Protocol::Seven;
    if (step == Step::LineLost) return Protocol::LineLost;
    unsigned char request = 0x16;
    int written = 0;
    if (!WriteCOM(&request, 1, &written) || written != 1) return Protocol::LineLost;
    // The Graph 35/65 answers at once; other bytes are none of its answer.
    SetWaits(1000, 1000);
    for (;;) {
      unsigned char byte = 0;
      int got = 0;
      if (!ReadCOM(&byte, 1, &got)) return Protocol::LineLost;
      if (got == 0) break;
      if (byte == 0x13) return Protocol::Cas50;
    }
  }
}

// The PC as the passive side.
class SevenPassive {
 public:
  SevenPassive(SevenEvents& events, const DeviceInfo& info, SevenTimes times)
      : link_(events, times), events_(events), info_(info) {}
  SevenTaken Run();

 private:
  bool Answer(const Packet& packet) {
    if (link_.Write(packet)) return true;
    taken_.end = Step::LineLost;
    return false;
  }
  bool TakeFile(const Packet& command);
  bool ChangeSpeed(const Packet& command);

  SevenLink link_;
  SevenEvents& events_;
  DeviceInfo info_;
  SevenTaken taken_;
};

bool SevenPassive::ChangeSpeed(const Packet& command) {
  Fields f;
  bool known = ReadFields(command, &f) && (f.d[2] == "1" || f.d[2] == "2") &&
               (f.d[1] == "NONE" || f.d[1] == "EVEN" || f.d[1] == "ODD");
  if (!known || !IsCalculatorSpeed(f.d[0]))
    return Answer(Basic(kNak, kNakError));  // nothing changes
  if (!Answer(Basic(kAck, kAckPlain))) return false;
  // The ACK has left the port (a write returns once its bytes are out):
  // switch at once, the calculator's next packet comes at the new speed.
  unsigned long baud = std::stoul(f.d[0]);
  BYTE parity = f.d[1] == "NONE" ? NOPARITY : f.d[1] == "ODD" ? ODDPARITY : EVENPARITY;
  if (!Switch(baud, parity, f.d[2] == "2" ? TWOSTOPBITS : ONESTOPBIT)) {
    taken_.end = Step::LineLost;
    return false;
  }
  link_.speed_ = baud;
  return true;
}

bool SevenPassive::TakeFile(const Packet& command) {
  Announced file;
  file.code = command.subtype;
  // Nothing of main memory comes near 1 MiB.
  if (!ReadFields(command, &file.fields) || file.fields.size > kMaxFileBytes) {
    ++taken_.refused;
    return Answer(Basic(kNak, kNakEnds));
  }
  if (file.fields.size == 0) {  // no data: its command's answer says whether it is kept
    int nak = kNakError;
    bool kept = events_.Keep(file, &nak);
    ++(kept ? taken_.kept : taken_.refused);
    return Answer(kept ? Basic(kAck, kAckPlain) : Basic(kNak, nak));
  }
  if (!Answer(Basic(kAck, kAckPlain))) return false;
  bool kept = false;
  Step step = link_.ReceiveData(file, &file.content, &kept);
  if (step == Step::Broken) {
    ++taken_.refused;
    return true;  // said; the calculator goes on or ends
  }
  if (step != Step::Done) {
    taken_.end = step;
    return false;
  }
  ++(kept ? taken_.kept : taken_.refused);
  return true;
}

SevenTaken SevenPassive::Run() {
  KeptWaits kept;
  // The initial check's other five bytes.
  std::string rest(5, '\0');
  int got = 0;
  SetWaits(2000, 2000);
  if (!ReadCOM(&rest[0], 5, &got)) {
    taken_.end = Step::LineLost;
    return taken_;
  }
  if (!Answer(Basic(kAck, kAckPlain))) return taken_;
  for (;;) {
    Packet packet;
    Step step = link_.Receive(&packet, 60000);
    if (step != Step::Done) {
      taken_.end = step;
      return taken_;
    }
    bool goOn = true;
    if (packet.type == kCheck) {
      goOn = Answer(Basic(kAck, kAckPlain));
    } else if (packet.Is(kCommand, kDeviceInfo)) {
      goOn = Answer(Extended(kAck, kAckDevice, DeviceInfoPayload(info_)));
    } else if (packet.Is(kCommand, kLinkSettings)) {
      goOn = ChangeSpeed(packet);
    } else if (packet.Is(kCommand, kVerify)) {
      goOn = Answer(Basic(kAck, kAckPlain));
    } else if (packet.Is(kCommand, kMainFile)) {
      goOn = TakeFile(packet);
    } else if (packet.type == kTerminate) {
      Answer(Basic(kAck, kAckPlain));
      Switch(9600, NOPARITY, TWOSTOPBITS);
      return taken_;
    } else {
      goOn = Answer(Basic(kNak, kNakEnds));
    }
    if (!goOn) {
      if (taken_.end == Step::Done) taken_.end = Step::Broken;
      Switch(9600, NOPARITY, TWOSTOPBITS);
      return taken_;
    }
  }
}

SevenTaken TakeSevenTransmission(SevenEvents& events, const DeviceInfo& info, SevenTimes times) {
  return SevenPassive(events, info, times).Run();
}
