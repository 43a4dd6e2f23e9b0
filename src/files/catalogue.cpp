#include "files/catalogue.h"

#include "link/link.h"
#include "text/program_text.h"

namespace {

const char* const kFields[] = {"Format",    "Communication SW", "Data Type", "Capacity",
                               "File Name", "Group Name",       "Password",  "Option1",
                               "Option2",   "Option3",          "Option4"};

// A header field in the ascii spelling: plain letters as they are, any other
// byte as its backslash spelling; a 0x0D, which would end the field's line,
// as \x0D.
std::string FieldText(const Bytes& bytes) {
  std::string text = BytesToText(std::string(bytes.begin(), bytes.end()), Spelling::Ascii);
  if (!text.empty()) text.pop_back();  // the line end BytesToText adds
  std::string field;
  for (char c : text) field += c == '\n' ? std::string("\\x0D") : std::string(1, c);
  return field;
}

// The header field of `length` bytes at `at`, up to its 0xFF filler.
Bytes Field(const Bytes& header, int at, int length) {
  Bytes field;
  for (int i = 0; i < length && header[at + i] != 0xFF; ++i) field.push_back(header[at + i]);
  return field;
}

struct Record {
  int line = 0;  // of "%Header Record"
  std::vector<std::pair<std::string, std::string>> fields;
  std::string data;  // the program's text, line ends as LF
  std::string Get(const std::string& key) const {
    for (const auto& f : fields)
      if (f.first == key) return f.second;
    return "";
  }
  bool Has(const std::string& key) const {
    for (const auto& f : fields)
      if (f.first == key) return true;
    return false;
  }
};

// A piece of the file in a message: 60 bytes at most, control characters
// and bytes that are no UTF-8 as \xHH, so that a line of megabytes or an
// escape sequence never reaches the terminal.
std::string Quoted(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size() && i < 60) {
    size_t length = ValidUtf8At(text, i);
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool control = c < 0x20 || c == 0x7F ||
                   (c == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    if (length == 0 || control) {
      out += HexEscapes(text.substr(i, 1));
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return i < text.size() ? out + "..." : out;
}

std::string At(int line, const std::string& why) {
  return "ligne " + std::to_string(line) + " : " + why;
}

// The text's lines, without their CR LF or LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

bool CutRecords(const std::string& text, std::vector<Record>* records, std::string* error) {
  std::vector<std::string> lines = Lines(text);
  enum { Between, Header, Data } where = Between;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    int number = static_cast<int>(i) + 1;
    if (where == Between) {
      if (line.empty()) continue;
      if (line != "%Header Record") {
        *error = At(number, "\"%Header Record\" attendu, pas \"" + Quoted(line) + "\"");
        return false;
      }
      records->push_back(Record{});
      records->back().line = number;
      where = Header;
    } else if (where == Header) {
      if (line == "%Data Record") {
        where = Data;
        continue;
      }
      size_t colon = line.find(':');
      if (colon == std::string::npos) {
        *error = At(number, "un champ \"Nom:valeur\" attendu, pas \"" + Quoted(line) + "\"");
        return false;
      }
      records->back().fields.emplace_back(line.substr(0, colon), line.substr(colon + 1));
    } else if (line == "%End") {
      where = Between;
    } else {
      records->back().data += line + "\n";
    }
  }
  if (where != Between) {
    *error = At(static_cast<int>(lines.size()), "le dernier enregistrement n'a pas de %End");
    return false;
  }
  return true;
}

bool ReadBytes(const std::string& text, int line, const std::string& what, Bytes* bytes,
               std::string* error) {
  std::string out;
  TextError bad;
  if (!TextToBytes(text, &out, &bad)) {
    *error = At(line + (bad.line > 0 ? bad.line - 1 : 0), what + " : " + bad.message);
    return false;
  }
  bytes->assign(out.begin(), out.end());
  return true;
}

bool ReadProgram(const Record& r, CatalogueRead* read, std::string* error) {
  Bytes name, password, option, program;
  int dataLine = r.line + static_cast<int>(r.fields.size()) + 2;
  if (!ReadBytes(r.Get("File Name"), r.line, "File Name", &name, error) ||
      !ReadBytes(r.Get("Password"), r.line, "Password", &password, error) ||
      !ReadBytes(r.Get("Option1"), r.line, "Option1", &option, error) ||
      !ReadBytes(r.data, dataLine, "programme", &program, error))
    return false;
  if (name.empty() || name.front() == 0xFF) {
    *error = At(r.line, "nom vide");
    return false;
  }
  if (name.size() > NAME_LENGTH || password.size() > NAME_LENGTH || option.size() > 2) {
    *error = At(r.line, "nom (1 a 8 octets), mot de passe (8 au plus) ou Option1 (2) trop long");
    return false;
  }
  Item item = ProgramItem(std::string(name.begin(), name.end()), program,
                          std::string(password.begin(), password.end()));
  if (r.Has("Option1")) {  // NL when the field is missing; an empty one is FF FF
    for (size_t i = 0; i < 2; ++i) item.header[35 + i] = i < option.size() ? option[i] : 0xFF;
    SealBlock(item.header.data(), HEADER_SIZE);
  }
  std::string capacity = r.Get("Capacity"), right = std::to_string(program.size() + 3);
  if (program.empty() && (capacity == "0" || capacity == "1" || capacity == "2")) {
    // A program item whose size field announces no part at all, as it was.
    SetSizeField(item.header.data(), std::stoul(capacity));
    SealBlock(item.header.data(), HEADER_SIZE);
    item.parts.clear();
    right = capacity;
  }
  if (capacity != right)
    read->warnings.push_back(At(r.line, "Capacity:" + Quoted(capacity) +
                                            " ne va pas avec le programme (" + right +
                                            ") : " + right + " est pris"));
  read->programs.push_back(item);
  return true;
}

}  // namespace

bool ReadCatalogue(const std::string& text, CatalogueRead* read, std::string* error) {
  *read = CatalogueRead{};
  std::vector<Record> records;
  // The byte order mark Windows editors write first is no line of the file.
  const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (!CutRecords(bom ? text.substr(bom) : text, &records, error)) return false;
  for (const Record& r : records) {
    if (r.Get("Format") != "TXT" || r.Get("Data Type") != "PG") {
      read->passedOver.push_back(Quoted(r.Get("File Name")) + " (" + Quoted(r.Get("Format")) + " " +
                                 Quoted(r.Get("Data Type")) + ")");
      continue;
    }
    if (!r.Has("File Name")) {
      *error = At(r.line, "pas de File Name");
      return false;
    }
    if (!ReadProgram(r, read, error)) return false;
  }
  return true;
}

Bytes ProgramBytes(const Item& program) {
  if (program.parts.empty() || program.parts[0].size() < 3) return {};
  const Bytes& part = program.parts[0];
  return Bytes(part.begin() + 1, part.end() - 2);
}

std::string WriteCatalogue(const std::vector<Item>& programs) {
  std::string out;
  for (const Item& item : programs) {
    Bytes program = ProgramBytes(item);
    std::string values[] = {
        "TXT",
        "0",
        "PG",
        std::to_string(item.parts.empty() ? SizeField(item.header) : program.size() + 3),
        FieldText(Field(item.header, HEADER_NAME, NAME_LENGTH)),
        "",
        FieldText(Field(item.header, HEADER_PASSWORD, NAME_LENGTH)),
        FieldText(Field(item.header, 35, 2)),
        "",
        "",
        ""};
    out += "%Header Record\r\n";
    for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i)
      out += std::string(kFields[i]) + ":" + values[i] + "\r\n";
    out += "%Data Record\r\n";
    std::string text = BytesToText(std::string(program.begin(), program.end()), Spelling::Ascii);
    for (const std::string& line : Lines(text)) {
      // A program line that reads as a record's mark must not end the record.
      out += !line.empty() && line[0] == '%' ? "\\x25" + line.substr(1) : line;
      out += "\r\n";
    }
    out += "%End\r\n";
  }
  return out;
}
