// liaison-texte: a calculator program as text a person reads, and back.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "text/program_file.h"
#include "text/program_text.h"

namespace {

const char kUsage[] =
    "usage : liaison-texte lire [--ascii] FICHIER\n"
    "        liaison-texte ecrire TEXTE FICHIER\n"
    "        liaison-texte --help\n";

const char kHelp[] =
    "liaison-texte : un programme de calculatrice Casio Graph en texte, et retour.\n"
    "\n"
    "  lire FICHIER          montre en texte le programme d'un fichier recu par le\n"
    "                        menu 1 de liaison (NOM_____.txt) : une ligne par ligne du\n"
    "                        programme, les instructions comme la calculatrice les\n"
    "                        ecrit (If , Then , ->, =>, Locate ...).\n"
    "  lire --ascii FICHIER  de meme, en ASCII seul (\\If , \\->, \\=>), pour une console\n"
    "                        qui ne montre pas l'UTF-8.\n"
    "  ecrire TEXTE FICHIER  fait de TEXTE (UTF-8, les deux ecritures acceptees) le\n"
    "                        fichier FICHIER que le menu 2 de liaison envoie.\n"
    "\n"
    "\\xHH ecrit l'octet HH tel quel : lire l'emploie partout ou une ecriture se\n"
    "relirait autrement. ecrire refuse l'octet 0x0A (Do est F7 0A), que le menu 2\n"
    "ne transmet pas"
#ifdef _WIN32
    ", et l'octet 0x1A (ClrList est F7 1A), qui terminerait sa lecture"
#endif
    ".\n"
    "\n"
    "Statut de sortie : 0 si tout va bien, 1 pour une erreur (rien n'est ecrit),\n"
    "2 pour une ligne de commande fausse.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Error(const std::string& message) {
  std::fprintf(stderr, "liaison-texte : %s\n", message.c_str());
  return 1;
}

// A stored program begins with the 0x3A that opens the data on the line.
int Read(const std::string& path, Spelling spelling) {
  std::string bytes, error;
  if (!ReadProgramFile(path, &bytes, &error)) return Error(error);
  if (!bytes.empty() && bytes[0] == ':') {
    bytes.erase(0, 1);
  } else {
    std::fprintf(stderr, "liaison-texte : %s ne commence pas par 0x3A : il est lu en entier\n",
                 path.c_str());
  }
  std::string text = BytesToText(bytes, spelling);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : Error("impossible d'ecrire le texte");
}

int Write(const std::string& textPath, const std::string& path) {
  std::string text, bytes, message;
  if (!ReadTextFile(textPath, &text, &message)) return Error(message);
  TextError error;
  if (!TextToBytes(text, &bytes, &error, BytesMenu2Refuses())) {
    return Error(textPath + ", ligne " + std::to_string(error.line) + ", colonne " +
                 std::to_string(error.column) + " : " + error.message + " ; rien n'est ecrit");
  }
  if (!WriteFileWhole(path, ":" + bytes, &message)) return Error(message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  Spelling spelling = Spelling::Calculator;
  for (auto it = args.begin(); it != args.end();) {
    if (*it == "--ascii") {
      spelling = Spelling::Ascii;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  if (args.size() == 2 && args[0] == "lire") return Read(args[1], spelling);
  if (args.size() == 3 && args[0] == "ecrire" && spelling == Spelling::Calculator)
    return Write(args[1], args[2]);
  return Usage();
}
