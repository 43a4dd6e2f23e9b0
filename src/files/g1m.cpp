#include "files/g1m.h"

#include <cstdio>

#include "files/archive.h"
#include "files/catalogue.h"
#include "link/link.h"
#include "text/crossing.h"

namespace {

constexpr size_t kHeader = 32, kGroupHeader = 20, kFileHeader = 24, kProgramHead = 10;
// "USBPower" and the type byte, then 00 10 00 10 00: the first 14 bytes,
// before they are inverted.
const char kMagic[] = "USBPower";
constexpr unsigned char kMainMemoryType = 0x62, kColourMainMemoryType = 0x75;

// The kinds of file that share the header, by their type byte.
std::string ContainerOf(unsigned char type) {
  switch (type) {
    case 0xF3:
      return "une application (.g1a)";
    case 0x12:
      return "une langue (.g1l)";
    case 0x49:
      return "une e-activite (.g1e)";
    case 0x31:
      return "une archive de ClassPad (.g2m)";
    case 0x2C:
      return "une application de Graph 90+E (.g3a)";
    case 0x7D:
      return "une image de Graph 90+E (.g3p)";
    default: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", type);
      return std::string("un fichier de type ") + hex;
    }
  }
}

unsigned long BigEndian(const std::string& bytes, size_t at, int count) {
  unsigned long value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void PutBigEndian(std::string* out, unsigned long value, int count) {
  for (int i = count - 1; i >= 0; --i) out->push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

// A name ends at its first 00 or FF.
std::string NameAt(const std::string& bytes, size_t at, size_t length) {
  std::string name;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[at + i]);
    if (c == 0x00 || c == 0xFF) break;
    name += static_cast<char>(c);
  }
  return name;
}

void PutName(std::string* out, const std::string& name, size_t length) {
  std::string field = name.substr(0, length);
  field.resize(length, '\0');
  *out += field;
}

std::string Offset(size_t at) {
  char text[32];
  std::snprintf(text, sizeof text, "octet %zu", at);
  return text;
}

std::string Hex2(unsigned char b) {
  char hex[4];
  std::snprintf(hex, sizeof hex, "%02X", b);
  return hex;
}

}  // namespace

std::string OtherContainer(const std::string& bytes) {
  if (bytes.size() < kHeader) return "";
  for (int i = 0; i < 8; ++i)
    if (static_cast<char>(~bytes[static_cast<size_t>(i)]) != kMagic[i]) return "";
  unsigned char type = static_cast<unsigned char>(~bytes[8]);
  return type == kMainMemoryType || type == kColourMainMemoryType ? "" : ContainerOf(type);
}

namespace {

// The 32-byte header, inverted back: what kind of file, how many files.
bool ReadHeader(const std::string& bytes, unsigned long* count, bool* colour,
                std::vector<std::string>* warnings, std::string* error) {
  if (bytes.size() < kHeader) {
    *error = "trop court pour une archive .g1m (" + Octets(bytes.size()) + ")";
    return false;
  }
  std::string h(kHeader, '\0');
  for (size_t i = 0; i < kHeader; ++i) h[i] = static_cast<char>(~bytes[i]);
  if (h.compare(0, 8, kMagic) != 0) {
    *error = "pas une archive .g1m (elle commence par \"USBPower\", inverse)";
    return false;
  }
  unsigned char type = static_cast<unsigned char>(h[8]);
  if (type != kMainMemoryType && type != kColourMainMemoryType) {
    *error = "pas une archive de la memoire principale : " + ContainerOf(type);
    return false;
  }
  *colour = type == kColourMainMemoryType;
  // The calculator maker's software and the readers known to work do not
  // check these: a disagreement is said, not refused.
  unsigned long size = BigEndian(h, 16, 4);
  if (size != bytes.size())
    warnings->push_back("taille annoncee " + std::to_string(size) + ", le fichier en a " +
                        std::to_string(bytes.size()));
  else if (static_cast<unsigned char>(h[14]) != ((size + 0x41) & 0xFF) ||
           static_cast<unsigned char>(h[20]) != ((size + 0xB8) & 0xFF))
    warnings->push_back("octets de controle de l'en-tete inattendus");
  *count = BigEndian(h, 30, 2);
  return true;
}

}  // namespace

bool ReadG1m(const std::string& bytes, G1mRead* read, std::string* error) {
  read->files.clear();
  read->warnings.clear();
  unsigned long count = 0;
  if (!ReadHeader(bytes, &count, &read->colour, &read->warnings, error)) return false;
  size_t at = kHeader;
  while (read->files.size() < count) {
    if (bytes.size() - at < kGroupHeader) {
      *error = Offset(at) + " : en-tete de groupe coupe (" + std::to_string(count) +
               " fichiers annonces, " + std::to_string(read->files.size()) + " lus)";
      return false;
    }
    std::string group = NameAt(bytes, at, 16);
    unsigned long inGroup = BigEndian(bytes, at + 16, 4);
    at += kGroupHeader;
    for (unsigned long i = 0; i < inGroup; ++i) {
      if (bytes.size() - at < kFileHeader) {
        *error = Offset(at) + " : en-tete de fichier coupe (groupe " + group + ")";
        return false;
      }
      MainFile file;
      file.group = group;
      file.directory = NameAt(bytes, at, 8);
      file.name = NameAt(bytes, at + 8, 8);
      if (file.name.empty()) {  // no calculator names a file so
        *error = Offset(at + 8) + " : fichier " + std::to_string(read->files.size() + 1) +
                 " (groupe " + group + ") : nom vide";
        return false;
      }
      file.type = static_cast<unsigned char>(bytes[at + 16]);
      unsigned long length = BigEndian(bytes, at + 17, 4);
      at += kFileHeader;
      if (bytes.size() - at < length) {
        *error = Offset(at) + " : " + DescribeFile(file) + " annonce " + std::to_string(length) +
                 " octets, il en reste " + std::to_string(bytes.size() - at);
        return false;
      }
      file.content = bytes.substr(at, length);
      at += length;
      read->files.push_back(file);
    }
  }
  if (read->files.size() > count) {
    *error = "les groupes tiennent " + std::to_string(read->files.size()) +
             " fichiers, l'en-tete " + std::to_string(count);
    return false;
  }
  if (at < bytes.size())
    read->warnings.push_back(std::to_string(bytes.size() - at) +
                             " octet(s) apres le dernier fichier, laisses de cote");
  return true;
}

std::string WriteG1m(const std::vector<MainFile>& files, bool colour) {
  std::vector<std::string> groups;
  for (const MainFile& file : files) {
    bool known = false;
    for (const std::string& g : groups) known = known || g == file.group;
    if (!known) groups.push_back(file.group);
  }
  std::string body;
  for (const std::string& group : groups) {
    std::string files_of_group;
    unsigned long count = 0;
    for (const MainFile& file : files) {
      if (file.group != group) continue;
      ++count;
      PutName(&files_of_group, file.directory, 8);
      PutName(&files_of_group, file.name, 8);
      files_of_group.push_back(static_cast<char>(file.type));
      PutBigEndian(&files_of_group, file.content.size(), 4);
      files_of_group.append(3, '\0');
      files_of_group += file.content;
    }
    PutName(&body, group, 16);
    PutBigEndian(&body, count, 4);
    body += files_of_group;
  }
  unsigned long size = kHeader + body.size();
  std::string header(kMagic);
  header.push_back(static_cast<char>(colour ? kColourMainMemoryType : kMainMemoryType));
  header += std::string("\x00\x10\x00\x10\x00", 5);
  header.push_back(static_cast<char>((size + 0x41) & 0xFF));
  header.push_back('\0');
  PutBigEndian(&header, size, 4);
  header.push_back(static_cast<char>((size + 0xB8) & 0xFF));
  header.append(9, '\0');  // 7 reserved, 2 "obfuscation options"
  PutBigEndian(&header, files.size(), 2);
  for (char& c : header) c = static_cast<char>(~c);
  return header + body;
}

MainFile ProgramFile(const std::string& name, const std::string& program,
                     const std::string& password) {
  MainFile file;
  file.group = "PROGRAM";
  file.directory = "system";
  file.name = name.substr(0, NAME_LENGTH);
  file.type = MAIN_PROGRAM;
  file.content = password.substr(0, NAME_LENGTH);
  file.content.resize(kProgramHead, '\0');  // the password's padding, then 00 00
  file.content += program;
  return file;
}

bool ProgramOf(const MainFile& file, std::string* program, std::string* password) {
  if (file.type != MAIN_PROGRAM || file.content.size() < kProgramHead) return false;
  *password = NameAt(file.content, 0, NAME_LENGTH);
  *program = file.content.substr(kProgramHead);
  return true;
}

std::string DescribeFile(const MainFile& file) {
  if (file.type == MAIN_PROGRAM) return "programme " + file.name;
  return "fichier " + file.name + " (type " + Hex2(file.type) + ", " + Octets(file.content.size()) +
         ")";
}

namespace {

std::string Where(const CodePlace& place) {
  return "ligne " + std::to_string(place.line) + ", colonne " + std::to_string(place.column) +
         " : " + place.text;
}

// Every refused code on a line of its own; the uncertain ones as notes.
bool Crossed(const std::string& what, const Crossing& crossing, const char* side,
             std::vector<std::string>* notes, std::string* error) {
  for (const CodePlace& place : crossing.uncertain)
    notes->push_back(what + ", " + Where(place) +
                     " : la commande Range des Graph 35/65 est ViewWindow sur les modeles "
                     "suivants (sans doute la meme commande : a verifier)");
  if (crossing.refused.empty()) return true;
  *error = what + " : " + std::to_string(crossing.refused.size()) + " code(s) inconnu(s) " + side;
  for (const CodePlace& place : crossing.refused) *error += "\n  " + Where(place);
  return false;
}

}  // namespace

bool FitsFx9860(const MainFile& file, std::string* error) {
  std::string program, password;
  if (!ProgramOf(file, &program, &password)) return true;  // not a program: goes as it is
  Crossing codes;
  for (const CodePlace& place : CodesOf(program, Table::Fx9860))
    if (place.text.compare(0, 2, "\\x") == 0) codes.refused.push_back(place);
  std::vector<std::string> notes;
  return Crossed("programme " + file.name, codes, "de la Graph 35+E II", &notes, error);
}

std::string ColourTitle(const std::string& bytes) {
  static const size_t kTitle = 0x40, kTitleLength = 0x20;
  if (bytes.size() < kTitle + kTitleLength) return "";
  for (int i = 0; i < 8; ++i)
    if (static_cast<char>(~bytes[static_cast<size_t>(i)]) != kMagic[i]) return "";
  unsigned char type = static_cast<unsigned char>(~bytes[8]);
  if (type != 0x2C && type != 0x7D) return "";
  std::string title;
  for (size_t i = kTitle; i < kTitle + kTitleLength && bytes[i] != 0; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x20 || c >= 0x7F) return "";  // no title there: nothing rather than noise
    title += static_cast<char>(c);
  }
  return title;
}

bool ItemOfProgram(const MainFile& file, Item* item, std::vector<std::string>* notes,
                   std::string* error) {
  std::string program, password;
  if (!ProgramOf(file, &program, &password)) {
    *error = DescribeFile(file) + " : pas un programme, la Graph 35/65 ne le prendrait pas";
    return false;
  }
  Crossing crossing = ToGraph35(program);
  if (!Crossed("programme " + file.name, crossing, "de la Graph 35/65", notes, error)) return false;
  *item = ProgramItem(file.name, Bytes(crossing.bytes.begin(), crossing.bytes.end()), password);
  return true;
}

bool ProgramOfItem(const Item& item, MainFile* file, std::vector<std::string>* notes,
                   std::string* error) {
  std::string name = ItemName(item.header);
  if (KindOf(item.header) != Kind::Program) {
    *error = name + " : pas un programme, une archive .g1m ne le prendrait pas";
    return false;
  }
  Bytes bytes = ProgramBytes(item);
  Crossing crossing = ToFx9860(std::string(bytes.begin(), bytes.end()));
  if (!Crossed("programme " + name, crossing, "des Graph 35+ et suivantes", notes, error))
    return false;
  if (item.header.size() > 36 && item.header[35] == 'B' && item.header[36] == 'N')
    notes->push_back("programme " + name +
                     " : programme en base-n, une archive .g1m ne garde pas cette marque");
  *file = ProgramFile(name, crossing.bytes, ItemPassword(item.header));
  return true;
}
