#include "app/words.h"

#include "files/archive.h"

namespace {

const char* KindWord(Kind kind) {
  switch (kind) {
    case Kind::Program:
      return "programme";
    case Kind::List:
      return "liste";
    case Kind::Matrix:
      return "matrice";
    case Kind::Variable:
      return "variables";
    case Kind::Picture:
      return "image";
    case Kind::Backup:
      return "sauvegarde";
    case Kind::Function:
      return "fonction";
    case Kind::Request:
      return "requete";
    case Kind::End:
      return "fin";
    case Kind::Screen:
      return "ecran";
    case Kind::ColourScreen:
      return "ecran couleur";
    case Kind::Other50:
    case Kind::Other40:
      break;
  }
  return "inconnu";
}

}  // namespace

std::string Shown(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) shown += c < 0x20 || c >= 0x7F ? '_' : static_cast<char>(c);
  return shown;
}

std::string Describe(const Item& item) {
  const Bytes& h = item.header;
  if (h.size() < 5 || h.size() != static_cast<size_t>(HeaderLength(h.data())))
    return "en-tete coupe (" + std::to_string(h.size()) + " octet(s))";
  Kind kind = KindOf(item.header);
  std::string text = KindWord(kind);
  if (kind == Kind::Other50 || kind == Kind::Other40) {
    size_t letters = kind == Kind::Other50 ? 3 : 2;
    text += " " + Shown(std::string(item.header.begin() + 1, item.header.begin() + 1 + letters));
  }
  std::string name = ItemName(item.header);
  if (!name.empty()) text += " " + Shown(name);
  PartRule rule;
  if (PartsOf(item.header, &rule))
    text += " (" + Octets(static_cast<unsigned long>(rule.count * rule.length)) + ")";
  return text;
}
