// The calculator's side of Protocol 7.00, written from the packet layout
// alone: none of it is the program's, so that a fault in the packets cannot
// hide on both ends of a test.
#include "seven.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

const char kHex[] = "0123456789ABCDEF";
// How long it waits for the PC's next packet inside an exchange: longer than
// the PC's own wait before its regular check, so that a check always finds
// it listening (a calculator waits minutes).
constexpr int kWait = 60000;

std::string HexOf(unsigned long value, int width) {
  std::string text;
  for (int shift = 4 * (width - 1); shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
  return text;
}

bool FromHex(const std::string& text, size_t at, int width, unsigned long* value) {
  if (at + static_cast<size_t>(width) > text.size()) return false;
  *value = 0;
  for (int i = 0; i < width; ++i) {
    char c = text[at + i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    *value = *value * 16 + static_cast<unsigned long>(d);
  }
  return true;
}

struct Pk {
  int type = 0, sub = 0;
  bool ext = false;
  std::string data;  // unescaped
};

std::string Build(int type, int sub, const std::string* data, bool corrupt) {
  std::string out(1, static_cast<char>(type));
  out += HexOf(static_cast<unsigned long>(sub), 2);
  out += data ? '1' : '0';
  if (data) {
    std::string escaped;
    for (unsigned char b : *data) {
      if (b < 0x20) {
        escaped += '\\';
        escaped += static_cast<char>(b + 0x20);
      } else if (b == '\\') {
        escaped += "\\\\";
      } else {
        escaped += static_cast<char>(b);
      }
    }
    out += HexOf(escaped.size(), 4) + escaped;
  }
  unsigned sum = 0;
  for (size_t i = 1; i < out.size(); ++i) sum += static_cast<unsigned char>(out[i]);
  unsigned cs = (0x100 - (sum & 0xFF)) & 0xFF;
  return out + HexOf(corrupt ? cs ^ 0x01 : cs, 2);
}

// OW, DT, FS, the six lengths, the six strings.
std::string Payload(int ow, int type, unsigned long size, const std::string (&d)[6]) {
  std::string p = HexOf(static_cast<unsigned long>(ow), 2) +
                  HexOf(static_cast<unsigned long>(type), 2) + HexOf(size, 8);
  for (const std::string& s : d) p += HexOf(s.size(), 2);
  for (const std::string& s : d) p += s;
  return p;
}

struct Fields {
  int ow = 0, type = 0;
  unsigned long size = 0;
  std::string d[6];
};

bool ReadPayload(const Pk& p, Fields* f) {
  *f = Fields();
  if (!p.ext) return true;
  unsigned long ow, type, len[6];
  if (!FromHex(p.data, 0, 2, &ow) || !FromHex(p.data, 2, 2, &type) ||
      !FromHex(p.data, 4, 8, &f->size))
    return false;
  size_t at = 24;
  for (int i = 0; i < 6; ++i)
    if (!FromHex(p.data, 12 + 2 * static_cast<size_t>(i), 2, &len[i])) return false;
  for (int i = 0; i < 6; ++i) {
    if (at + len[i] > p.data.size()) return false;
    f->d[i] = p.data.substr(at, len[i]);
    at += len[i];
  }
  f->ow = static_cast<int>(ow);
  f->type = static_cast<int>(type);
  return at == p.data.size();
}

std::string Padded(const std::string& text, size_t length, char pad) {
  std::string field = text.substr(0, length);
  field.resize(length, pad);
  return field;
}

class Calc {
 public:
  Calc(Wire& wire, SevenPlan& plan, FILE* report) : wire_(wire), plan_(plan), report_(report) {}

  bool Send(int type, int sub, const std::string* data = nullptr) {
    ++sent_;
    bool corrupt = plan_.corruptOnce == sent_;
    last_ = Build(type, sub, data, false);
    std::string bytes = corrupt ? Build(type, sub, data, true) : last_;
    return wire_.Send(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
  }
  bool Ack(int sub = 0) { return Send(0x06, sub); }
  bool Nak(int sub) { return Send(0x15, sub); }

  // The PC's next sound packet: 1, 0 after `timeoutMs` of silence, -1 when
  // the line is gone. A damaged one is asked again (NAK 01); the PC's NAK 01
  // gets the last packet again; its regular check gets NAK 01, "send it
  // again"; the faults of the plan happen here.
  int Read(Pk* p, int timeoutMs) {
    for (;;) {
      std::string bytes;
      int b;
      // 0x10 runs, and any byte no packet starts with (the older
      // protocol's 0x16 of a PC that tries both), are passed over.
      do {
        b = wire_.Receive(timeoutMs);
        if (b < 0) return b == Wire::kGone ? -1 : 0;
      } while (std::strchr("\x01\x02\x03\x05\x06\x15\x18", b) == nullptr || b == 0);
      bytes += static_cast<char>(b);
      if (!Collect(&bytes, 3)) return -1;
      bool ext = bytes[3] == '1';
      size_t length = 6;
      if (ext) {
        unsigned long ds = 0;
        if (!Collect(&bytes, 8 - bytes.size()) || !FromHex(bytes, 4, 4, &ds)) return -1;
        length = 10 + ds;
      }
      if (!Collect(&bytes, length - bytes.size())) return -1;
      unsigned long sum = 0, cs = 0, sub = 0;
      for (size_t i = 1; i < length - 2; ++i) sum += static_cast<unsigned char>(bytes[i]);
      if (!FromHex(bytes, length - 2, 2, &cs) || ((sum + cs) & 0xFF) != 0 ||
          !FromHex(bytes, 1, 2, &sub)) {
        Note("bad_checksum_from_pc");
        if (!Nak(0x01)) return -1;
        continue;
      }
      p->type = static_cast<unsigned char>(bytes[0]);
      p->sub = static_cast<int>(sub);
      p->ext = ext;
      p->data.clear();
      for (size_t i = 8; ext && i < length - 2; ++i) {
        if (bytes[i] == '\\') {
          ++i;
          p->data += bytes[i] == '\\' ? '\\' : static_cast<char>(bytes[i] - 0x20);
        } else {
          p->data += bytes[i];
        }
      }
      if (p->type == 0x15 && p->sub == 0x01) {  // the PC found ours damaged
        Note("resend");
        if (!wire_.Send(reinterpret_cast<const unsigned char*>(last_.data()),
                        static_cast<int>(last_.size())))
          return -1;
        continue;
      }
      if (p->type == 0x05 && p->sub == 0x01) {  // "where is my answer?"
        Note("regular_check");
        if (!Nak(0x01)) return -1;
        continue;
      }
      // A command or a terminate in mid-exchange: the PC has given it up.
      // What was going on is over; that packet comes next.
      if (inExchange_ && (p->type == 0x01 || p->type == 0x18)) {
        Note("exchange_given_up");
        pending_ = *p;
        hasPending_ = true;
        return 0;
      }
      ++received_;
      if (plan_.vanishAfter == received_) {
        wire_.Close();
        vanished_ = true;
        return -1;
      }
      if (plan_.silentOnce == received_) continue;  // as if it never came
      if (plan_.askResend == received_) {
        if (!Nak(0x01)) return -1;
        continue;
      }
      return 1;
    }
  }

  void Note(const std::string& line) {
    if (!report_) return;
    std::fprintf(report_, "%s\n", line.c_str());
    std::fflush(report_);
  }

  // The PC's packets for a file of `size` bytes, each acknowledged.
  bool TakeData(int code, unsigned long size, std::string* content) {
    unsigned long expected = 1;
    while (content->size() < size) {
      Pk p;
      if (Read(&p, kWait) != 1) return false;
      if (plan_.refuseData == static_cast<int>(expected)) {
        Note("refused_data=" + std::to_string(expected));
        refusedData_ = true;
        Nak(0x00);
        return false;
      }
      unsigned long total = 0, current = 0;
      if (p.type != 0x02 || p.sub != code || !FromHex(p.data, 0, 4, &total) ||
          !FromHex(p.data, 4, 4, &current) || current != expected++) {
        Note("bad_data_packet");
        Nak(0x00);
        return false;
      }
      *content += p.data.substr(8);
      // The PC's next packet begun before this ACK went: it was sent ahead.
      if (wire_.Waiting(plan_.ackDelay)) ++shifted_;
      if (!Ack()) return false;
    }
    return true;
  }

  // Its own file to the PC: the command, then the data, each answered.
  bool GiveFile(int code, const std::string (&d)[6], int type, const std::string& content) {
    std::string payload = Payload(0, type, content.size(), d);
    if (!Send(0x01, code, &payload) || !AwaitAck()) return false;
    unsigned long total = (content.size() + 255) / 256;
    // Shifting: packet i+1 goes before the ACK of packet i is read, but for
    // the first and the last, which go alone.
    bool ahead = plan_.shift && total >= 3;
    unsigned long unanswered = 0;
    for (unsigned long i = 0; i < total; ++i) {
      bool last = i + 1 == total;
      while (unanswered > (ahead && i > 1 && !last ? 1u : 0u)) {
        if (!AwaitAck()) return false;
        --unanswered;
      }
      std::string data = HexOf(total, 4) + HexOf(i + 1, 4) + content.substr(i * 256, 256);
      if (!Send(0x02, code, &data)) return false;
      ++unanswered;
    }
    for (; unanswered > 0; --unanswered)
      if (!AwaitAck()) return false;
    return true;
  }

  bool AwaitAck() {
    Pk p;
    return Read(&p, kWait) == 1 && p.type == 0x06;
  }

  Wire& wire_;
  SevenPlan& plan_;
  FILE* report_;
  int sent_ = 0, received_ = 0;
  bool inExchange_ = false;  // a command is being carried out
  bool hasPending_ = false;  // the PC gave it up for this packet
  Pk pending_;
  int shifted_ = 0;           // data packets that came before the ACK of the one before
  bool refusedData_ = false;  // the file was refused on purpose: the session goes on
  bool vanished_ = false;     // the line closed as a cable pulled out
  std::string last_;

 private:
  bool Collect(std::string* bytes, size_t more) {
    for (size_t i = 0; i < more; ++i) {
      int b = wire_.Receive(2000);
      if (b < 0) return false;
      *bytes += static_cast<char>(b);
    }
    return true;
  }
};

void Keep(const SevenPlan& plan, const std::string& name, const std::string& content) {
  if (plan.keep.empty()) return;
  std::ofstream out(plan.keep + "/" + name, std::ios::binary);
  out << content;
}

std::string DeviceInfo(const SevenPlan& plan) {
  return Padded(plan.hardwareId, 8, '\xFF') + Padded("RENESAS SH735501", 16, '\xFF') + "00000000" +
         "00004096" + "00000512" + std::string(16, '\xFF') + Padded("01.04.0000", 16, '\xFF') +
         "A0000000" + "00000064" + Padded("02.04.0201", 16, '\xFF') + "A0010000" + "00002496" +
         "7.00" + Padded("ABCDEFGH", 16, '\xFF') + Padded(plan.user, 16, '\xFF');
}

SevenFile* Find(std::vector<SevenFile>& files, const std::string& name) {
  for (SevenFile& f : files)
    if (f.name == name) return &f;
  return nullptr;
}

// A storage file is its folder and its name: D1 and D2.
SevenFile* FindStored(std::vector<SevenFile>& files, const std::string& folder,
                      const std::string& name) {
  for (SevenFile& f : files)
    if (f.directory == folder && f.name == name) return &f;
  return nullptr;
}

// A file the PC sends: the overwrite question when it exists, then its data.
bool TakeFile(Calc& c, const Pk& p, const Fields& f) {
  bool main = p.sub == 0x25;
  std::vector<SevenFile>& memory = main ? c.plan_.main : c.plan_.storage;
  if (c.plan_.full) return c.Nak(0x05);
  SevenFile* old = main ? Find(memory, f.d[1]) : FindStored(memory, f.d[0], f.d[1]);
  if (old && f.ow != 0x02) {
    if (!c.Nak(0x02)) return false;
    Pk answer;
    if (c.Read(&answer, kWait) != 1) return false;
    bool yes = answer.type == 0x06 && answer.sub == 0x01;
    c.Note(yes ? "overwrite=yes" : "overwrite=no");
    if (!c.Ack()) return false;
    if (!yes) return true;
  } else if (!c.Ack()) {
    return false;
  }
  std::string content;
  c.refusedData_ = false;
  if (!c.TakeData(p.sub, f.size, &content)) return c.refusedData_;
  SevenFile file{main ? f.d[2] : "", f.d[0], f.d[1], f.type, content};
  if (old)
    *old = file;
  else
    memory.push_back(file);
  c.Note(std::string(main ? "main_file=" : "storage_file=") + f.d[1] +
         " size=" + std::to_string(content.size()));
  c.Note("shifted=" + std::to_string(c.shifted_));
  c.shifted_ = 0;
  Keep(c.plan_,
       (main ? "main-" : "storage-") + (main || f.d[0].empty() ? "" : f.d[0] + "-") + f.d[1],
       content);
  return true;
}

// A request: ACK, the PC's roleswap, the files, this side's roleswap.
bool Series(Calc& c, const std::vector<const SevenFile*>& files, int code, bool withData,
            bool storage) {
  if (!c.Ack()) return false;
  Pk swap;
  if (c.Read(&swap, kWait) != 1 || swap.type != 0x03) return false;
  for (const SevenFile* f : files) {
    std::string d[6] = {f->directory,          f->name, storage ? "" : f->group, "",
                        storage ? "fls0" : "", ""};
    if (withData && c.plan_.misname) d[0] = "AUTRE";  // another file than the one asked
    if (withData) {
      if (!c.GiveFile(code, d, f->type, f->content)) return false;
    } else {
      std::string payload = Payload(0, f->type, f->content.size(), d);
      if (!c.Send(0x01, code, &payload) || !c.AwaitAck()) return false;
    }
  }
  return c.Send(0x03, 0x00);
}

bool Capacity(Calc& c, int code, unsigned long free) {
  if (!c.Ack()) return false;
  Pk swap;
  if (c.Read(&swap, kWait) != 1 || swap.type != 0x03) return false;
  std::string d[6] = {"", "", "", "", code == 0x4C ? "fls0" : "", ""};
  std::string payload = Payload(0, 0, free, d);
  return c.Send(0x01, code, &payload) && c.AwaitAck() && c.Send(0x03, 0x00);
}

bool SpeedChange(Calc& c, const Fields& f) {
  c.Note("speed_before_ack=" + std::to_string(c.wire_.PcSpeed()));
  long baud = std::atol(f.d[0].c_str());
  if (!c.Ack()) return false;
  if (!c.wire_.SetSpeed(baud, f.d[1] == "EVEN", f.d[2] == "2")) return false;
  c.Note("speed=" + f.d[0] + " " + f.d[1] + " " + f.d[2]);
  return true;
}

// One command from the PC, answered.
bool Answer(Calc& c, const Pk& p) {
  SevenPlan& plan = c.plan_;
  Fields f;
  if (!ReadPayload(p, &f)) return c.Nak(0x04);
  bool storageCommand = p.sub >= 0x40 && p.sub <= 0x51;
  if (storageCommand && plan.noStorage) return c.Nak(0x00);
  // Its one device is fls0: another (an SD card, crd0) it has not.
  if (storageCommand && p.sub != 0x4C && p.sub != 0x4E && f.d[4] != "fls0") {
    c.Note("no_device=" + f.d[4]);
    return c.Nak(0x00);
  }
  std::vector<const SevenFile*> all;
  switch (p.sub) {
    case 0x01: {
      std::string info = DeviceInfo(plan);
      return c.Send(0x06, 0x02, &info);
    }
    case 0x02:
      return SpeedChange(c, f);
    case 0x24:
    case 0x44: {
      const SevenFile* file =
          p.sub == 0x24 ? Find(plan.main, f.d[1]) : FindStored(plan.storage, f.d[0], f.d[1]);
      if (!file) return c.Nak(0x00);
      return Series(c, {file}, p.sub + 1, true, p.sub == 0x44);
    }
    case 0x25:
    case 0x45:
      return TakeFile(c, p, f);
    case 0x26:
    case 0x46: {
      std::vector<SevenFile>& memory = p.sub == 0x26 ? plan.main : plan.storage;
      for (auto it = memory.begin(); it != memory.end(); ++it)
        if (it->name == f.d[1] && (p.sub == 0x26 || it->directory == f.d[0])) {
          memory.erase(it);
          c.Note("deleted=" + f.d[1]);
          return c.Ack();
        }
      return c.Nak(0x00);
    }
    case 0x29:
    case 0x2D:
    case 0x4D:
      for (const SevenFile& file : p.sub == 0x4D ? plan.storage : plan.main) all.push_back(&file);
      return Series(c, all, p.sub == 0x29 ? 0x25 : p.sub + 1, p.sub == 0x29, p.sub == 0x4D);
    case 0x2B:
      return Capacity(c, 0x2C, 61440);
    case 0x4B:
      return Capacity(c, 0x4C, 1572864);
    case 0x48: {  // copy: D1/D2 to D3/D4
      const SevenFile* from = FindStored(plan.storage, f.d[0], f.d[1]);
      if (!from || f.d[3].empty()) return c.Nak(0x00);
      SevenFile copy = *from;
      copy.directory = f.d[2];
      copy.name = f.d[3];
      if (SevenFile* there = FindStored(plan.storage, copy.directory, copy.name))
        *there = copy;
      else
        plan.storage.push_back(copy);
      c.Note("copied=" + f.d[0] + "/" + f.d[1] + " to " + f.d[2] + "/" + f.d[3]);
      return c.Ack();
    }
    case 0x4A:  // the device erased
      plan.storage.clear();
      c.Note("storage_reset");
      return c.Ack();
    case 0x51:
      c.Note("optimised");
      return c.Ack();
    default:
      c.Note("refused_command=" + HexOf(static_cast<unsigned long>(p.sub), 2));
      return c.Nak(0x04);
  }
}

}  // namespace

bool ReadG1mFiles(const std::string& path, std::vector<SevenFile>* files) {
  std::ifstream in(path, std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return false;
  if (b.size() < 32) return false;
  auto big = [&b](size_t at, int n) {
    unsigned long v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
  };
  auto name = [&b](size_t at, size_t n) {
    std::string s;
    for (size_t i = 0; i < n && b[at + i] != '\0' && b[at + i] != '\xFF'; ++i) s += b[at + i];
    return s;
  };
  unsigned long count =
      static_cast<unsigned char>(~b[30]) << 8 | static_cast<unsigned char>(~b[31]);
  size_t at = 32, before = files->size();
  while (files->size() - before < count) {
    if (at + 20 > b.size()) return false;
    std::string group = name(at, 16);
    unsigned long inGroup = big(at + 16, 4);
    at += 20;
    for (unsigned long i = 0; i < inGroup; ++i) {
      if (at + 24 > b.size()) return false;
      SevenFile f{group, name(at, 8), name(at + 8, 8), static_cast<unsigned char>(b[at + 16]), ""};
      unsigned long length = big(at + 17, 4);
      at += 24;
      if (at + length > b.size()) return false;
      f.content = b.substr(at, length);
      at += length;
      files->push_back(f);
    }
  }
  return true;
}

bool ServeSeven(Wire& wire, SevenPlan& plan, FILE* report) {
  Calc c(wire, plan, report);
  for (;;) {
    Pk p;
    int r = 1;
    if (c.hasPending_) {
      p = c.pending_;
      c.hasPending_ = false;
    } else {
      r = c.Read(&p, -1);
    }
    // The PC closing its port ends no session of a calculator: it waits
    // for the port to be opened again (what came so far is all logged).
    if (r < 0 && !c.vanished_) {
      c.Note("pc_closed");
      if (wire.AwaitReopen()) {
        c.Note("pc_reopened");
        continue;
      }
    }
    if (r < 0) return !c.vanished_;
    if (r == 0 || plan.silent) continue;
    bool going = true;
    if (p.type == 0x05) {
      going = c.Ack();
    } else if (p.type == 0x01) {
      c.Note("command=" + HexOf(static_cast<unsigned long>(p.sub), 2));
      c.inExchange_ = true;
      going = Answer(c, p) || (c.hasPending_ && !c.vanished_);
      c.inExchange_ = false;
    } else if (p.type == 0x18) {
      c.Note("terminate");
      going = c.Ack() && wire.SetSpeed(9600, false, true);
    } else {
      going = c.Nak(0x04);
    }
    if (!going) return !c.vanished_;
  }
}

bool TransmitSeven(Wire& wire, const SevenPlan& plan, FILE* report) {
  SevenPlan copy = plan;
  Calc c(wire, copy, report);
  if (plan.tenBytes) {
    const unsigned char ten[3] = {0x10, 0x10, 0x10};
    if (!wire.Send(ten, 3)) return false;
  }
  bool opened = false;
  for (int i = 0; i < 5 && !opened; ++i) {
    if (!c.Send(0x05, 0x00)) return false;
    Pk p;
    opened = c.Read(&p, 1000) == 1 && p.type == 0x06;
  }
  if (!opened) return false;
  Pk p;
  if (!c.Send(0x01, 0x01) || c.Read(&p, kWait) != 1) return false;
  c.Note(p.type == 0x06 && p.sub == 0x02 && p.data.size() == 164 ? "pc_info=ok" : "pc_info=bad");
  std::string d[6] = {std::to_string(plan.transmitSpeed), "EVEN", "1", "", "", ""};
  std::string speed = Payload(0, 0, 0, d);
  if (!c.Send(0x01, 0x02, &speed) || !c.AwaitAck()) return false;
  if (!wire.SetSpeed(plan.transmitSpeed, true, false)) return false;
  for (const SevenFile& f : plan.transmit) {
    if (&f != &plan.transmit.front() && plan.transmitGap > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(plan.transmitGap));
    std::string fd[6] = {f.directory, f.name, f.group, "", "", ""};
    if (!c.GiveFile(0x25, fd, f.type, f.content)) c.Note("refused=" + f.name);
  }
  if (!c.Send(0x18, 0x00) || !c.AwaitAck()) return false;
  c.Note("speed_at_end=" + std::to_string(wire.PcSpeed()));
  return wire.SetSpeed(9600, false, true);
}
