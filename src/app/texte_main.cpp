// liaison-texte: a calculator program as text a person reads, and back.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/words.h"
#include "files/archive.h"
#include "files/catalogue.h"
#include "files/g1m.h"
#include "files/sendable.h"
#include "link/link.h"
#include "text/program_file.h"
#include "text/program_text.h"

namespace {

const char kUsage[] =
    "usage : liaison-texte lire [--ascii] FICHIER\n"
    "        liaison-texte ecrire TEXTE FICHIER\n"
    "        liaison-texte convertir ENTREE SORTIE\n"
    "        liaison-texte --help | --version\n";

const char kVersion[] =
    "liaison-texte " LIAISON_VERSION
    "\n"
    "Copyright (C) 2026 les auteurs de Liaison.\n"
    "Licence GPLv3+ : GNU GPL version 3 ou ulterieure <https://gnu.org/licenses/gpl.html>.\n"
    "Logiciel libre : vous pouvez le modifier et le redistribuer. Aucune garantie.\n";

const char kHelp[] =
    "liaison-texte : un programme de calculatrice Casio Graph en texte, et retour.\n"
    "\n"
    "Usage : liaison-texte COMMANDE [OPTION] FICHIER...\n"
    "\n"
    "Commandes :\n"
    "  lire FICHIER\n"
    "         montre en texte le programme d'un fichier recu par le menu 1 de\n"
    "         liaison (NOM_____.txt) : une ligne par ligne du programme, les\n"
    "         instructions comme la calculatrice les ecrit (If , Then , ->, =>).\n"
    "         FICHIER.cat (catalogue) ou FICHIER.cas (archive de liaison\n"
    "         recevoir) : chaque programme, apres une ligne \"--- NOM ---\" ; les\n"
    "         autres elements d'une archive sont nommes (genre, nom, taille).\n"
    "         FICHIER.g1m (archive des Graph 35+ et suivantes) ou .g3m (Graph\n"
    "         90+E) : chaque programme ecrit comme ces calculatrices l'ecrivent\n"
    "         (un code inconnu en \\xHH) ; les autres fichiers nommes (type,\n"
    "         taille). Une application, une e-activite, une image : refusee.\n"
    "  ecrire TEXTE FICHIER\n"
    "         fait de TEXTE (UTF-8, les deux ecritures acceptees) le fichier\n"
    "         FICHIER que le menu 2 de liaison envoie (l'octet 3A puis le\n"
    "         programme). FICHIER.g1m (ou .g3m) : une archive des Graph 35+ et\n"
    "         suivantes (ou Graph 90+E) d'un programme (nomme d'apres le\n"
    "         fichier), TEXTE ecrit comme elles.\n"
    "  convertir ENTREE SORTIE\n"
    "         d'un format a l'autre, d'apres les extensions : .cat (catalogue),\n"
    "         .cas (archive), ou fichier de programme (3A puis les octets ; un\n"
    "         seul programme, nomme d'apres le fichier), .g1m (archive des\n"
    "         Graph 35+ et suivantes), .g3m (Graph 90+E). D'une archive vers un\n"
    "         catalogue, seuls les programmes passent (les autres sont nommes).\n"
    "         D'une generation a l'autre, chaque instruction est traduite ; une\n"
    "         instruction que l'autre n'a pas est nommee avec sa ligne et sa\n"
    "         colonne, et rien n'est ecrit.\n"
    "\n"
    "Options :\n"
    "  --ascii\n"
    "         (lire) en ASCII seul (\\If , \\->, \\=>), pour une console qui ne\n"
    "         montre pas l'UTF-8.\n"
    "  --help\n"
    "         ce texte.\n"
    "  --version\n"
    "         la version de liaison-texte.\n"
    "\n"
    "Ecriture :\n"
    "  \\xHH ecrit l'octet HH tel quel : lire l'emploie partout ou une ecriture se\n"
    "  relirait autrement. ecrire refuse l'octet 0x0A (Do est F7 0A), que le menu 2\n"
    "  ne transmet pas"
#ifdef _WIN32
    ", et l'octet 0x1A (ClrList est F7 1A), qui terminerait sa lecture"
#endif
    ".\n"
    "\n"
    "Fichiers ecrits :\n"
    "  ecrire et convertir ecrivent FICHIER ou SORTIE entier, ou rien : un fichier\n"
    "  temporaire a cote, renomme a la fin.\n"
    "\n"
    "Statut de sortie :\n"
    "  0      tout va bien.\n"
    "  1      une erreur (un programme qui ne peut pas passer) : rien n'est\n"
    "         ecrit.\n"
    "  2      une ligne de commande fausse.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Names in messages come from files: their control bytes would drive the
// terminal.
std::string ForTerminal(std::string message) {
  for (char& c : message)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) c = '_';
  return message;
}

int Error(const std::string& message) {
  std::fprintf(stderr, "liaison-texte : %s\n", ForTerminal(message).c_str());
  return 1;
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void Note(const std::string& note) {
  std::fprintf(stderr, "liaison-texte : %s\n", ForTerminal(note).c_str());
}

void Notes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) Note(note);
}

// The items of a file of the Graph 35/65: an archive, a catalogue, a program.
bool Load(const std::string& path, std::vector<Item>* items, std::string* error) {
  std::vector<std::string> notes;
  bool loaded = LoadSendable(path, "", items, &notes, error);
  Notes(notes);
  return loaded;
}

// The files of a main-memory archive.
bool LoadMain(const std::string& path, std::vector<MainFile>* files, std::string* error) {
  std::string bytes;
  if (!ReadTextFile(path, &bytes, error)) return false;
  G1mRead read;
  if (!ReadG1m(bytes, &read, error)) {
    *error = path + " : " + *error;
    return false;
  }
  for (const std::string& warning : read.warnings) Note(path + " : " + warning);
  *files = read.files;
  return true;
}

std::string Heading(const std::string& name, const std::string& password) {
  return "--- " + Shown(name) +
         (password.empty() ? "" : " (mot de passe " + Shown(password) + ")") + " ---\n";
}

// Each program of a main-memory archive in the fx-9860G spelling; the other
// files named.
int ReadMain(const std::string& path, Spelling spelling) {
  std::vector<MainFile> files;
  std::string error, program, password;
  if (!LoadMain(path, &files, &error)) return Error(error);
  for (const MainFile& file : files) {
    if (!ProgramOf(file, &program, &password)) {
      Print("--- " + Shown(DescribeFile(file)) + " ---\n");
      continue;
    }
    Print(Heading(file.name, password));
    WriteText(program, spelling, Print, Table::Fx9860);
  }
  return std::fflush(stdout) == 0 ? 0 : Error("impossible d'ecrire le texte");
}

// Each program of an archive or a catalogue after a heading line; the other
// items of an archive named.
int ReadItems(const std::string& path, Spelling spelling) {
  std::vector<Item> items;
  std::string error;
  if (!Load(path, &items, &error)) return Error(error);
  for (const Item& item : items) {
    if (KindOf(item.header) != Kind::Program) {
      Print("--- " + Describe(item) + " ---\n");
      continue;
    }
    Print(Heading(ItemName(item.header), ItemPassword(item.header)));
    Bytes program = ProgramBytes(item);
    WriteText(std::string(program.begin(), program.end()), spelling, Print);
  }
  return std::fflush(stdout) == 0 ? 0 : Error("impossible d'ecrire le texte");
}

// A stored program begins with the 0x3A that opens the data on the line.
int Read(const std::string& path, Spelling spelling) {
  if (IsMainMemoryArchive(path)) return ReadMain(path, spelling);
  if (HasEnding(path, ".cas") || HasEnding(path, ".cat")) return ReadItems(path, spelling);
  std::string bytes, error;
  if (!ReadProgramFile(path, &bytes, &error)) return Error(error);
  // An add-in, an e-activity, a picture...: no program to show.
  std::string other = OtherContainer(bytes);
  if (!other.empty()) return Error(path + " : " + other + ", pas un programme ; rien n'est lu");
  if (!bytes.empty() && bytes[0] == ':') {
    bytes.erase(0, 1);
  } else {
    std::fprintf(stderr, "liaison-texte : %s ne commence pas par 0x3A : il est lu en entier\n",
                 path.c_str());
  }
  WriteText(bytes, spelling, Print);  // as it is made: a large program is not held twice
  return std::fflush(stdout) == 0 ? 0 : Error("impossible d'ecrire le texte");
}

// The bytes of a Graph 35/65 file (.cas, .cat or program file) holding
// these items.
bool LegacyBytes(const std::string& in, const std::string& out, const std::vector<Item>& items,
                 std::string* bytes, std::string* error) {
  std::vector<Item> programs;
  for (const Item& item : items) {
    if (KindOf(item.header) == Kind::Program)
      programs.push_back(item);
    else if (!HasEnding(out, ".cas"))
      Note(Describe(item) + " n'est pas un programme : laisse de cote");
  }
  if (HasEnding(out, ".cas")) {
    for (const Item& item : items) {
      Bytes b = ItemBytes(item);
      bytes->append(b.begin(), b.end());
    }
  } else if (HasEnding(out, ".cat")) {
    *bytes = WriteCatalogue(programs);
  } else if (programs.size() == 1) {
    Bytes program = ProgramBytes(programs[0]);
    *bytes = ":" + std::string(program.begin(), program.end());
    if (!ItemPassword(programs[0].header).empty())
      Note(out + " : un fichier de programme ne garde pas le mot de passe de " +
           Shown(ItemName(programs[0].header)));
  } else if (!programs.empty()) {
    *error = in + " tient " + std::to_string(programs.size()) +
             " programmes : un fichier de programme n'en prend qu'un (.cat, .cas ou .g1m les "
             "prennent tous)";
    return false;
  }
  if (programs.empty() && (items.empty() || !HasEnding(out, ".cas"))) {
    *error = in + " ne tient aucun programme";
    return false;
  }
  return true;
}

// A main-memory archive's programs as Graph 35/65 items: all of them, or
// none when one cannot go.
bool ItemsOfMain(const std::vector<MainFile>& files, std::vector<Item>* items, std::string* error) {
  std::vector<std::string> notes;
  for (const MainFile& file : files) {
    Item item;
    std::string why;
    if (file.type != MAIN_PROGRAM)
      notes.push_back(DescribeFile(file) + " n'est pas un programme : laisse de cote");
    else if (ItemOfProgram(file, &item, &notes, &why))
      items->push_back(item);
    else
      *error += (error->empty() ? "" : "\n") + why;
  }
  Notes(notes);
  return error->empty();
}

// Graph 35/65 items as a main-memory archive's programs, likewise.
bool MainOfItems(const std::vector<Item>& items, std::vector<MainFile>* files, std::string* error) {
  std::vector<std::string> notes;
  for (const Item& item : items) {
    MainFile file;
    std::string why;
    if (KindOf(item.header) != Kind::Program)
      notes.push_back(Describe(item) + " n'est pas un programme : laisse de cote");
    else if (ProgramOfItem(item, &file, &notes, &why))
      files->push_back(file);
    else
      *error += (error->empty() ? "" : "\n") + why;
  }
  Notes(notes);
  return error->empty();
}

// From one file to another: between the generations, each program's codes
// are turned into the other table, and a program that cannot cross stops it
// all.
int Convert(const std::string& in, const std::string& out) {
  std::vector<Item> items;
  std::vector<MainFile> files;
  std::string error, bytes;
  bool ok;
  if (IsMainMemoryArchive(in)) {
    ok = LoadMain(in, &files, &error) &&
         (IsMainMemoryArchive(out) ||
          (ItemsOfMain(files, &items, &error) && LegacyBytes(in, out, items, &bytes, &error)));
  } else {
    ok = Load(in, &items, &error) &&
         (IsMainMemoryArchive(out) ? MainOfItems(items, &files, &error)
                                   : LegacyBytes(in, out, items, &bytes, &error));
  }
  if (ok && IsMainMemoryArchive(out)) {
    if (files.empty()) {
      error = in + " ne tient aucun programme";
      ok = false;
    }
    bytes = WriteG1m(files, IsColourArchive(out));
  }
  if (!ok) return Error(error + "\nrien n'est ecrit");
  if (WriteFileWhole(out, bytes, &error) != Written::Whole) return Error(error);
  return 0;
}

int Write(const std::string& textPath, const std::string& path) {
  std::string text, bytes, message;
  if (!ReadTextFile(textPath, &text, &message)) return Error(message);
  TextError error;
  bool main = IsMainMemoryArchive(path);
  std::string name = ProgramNameOf(path);
  if (main && name.empty())
    return Error(path + " : pas de nom de programme dans ce nom de fichier");
  if (!TextToBytes(text, &bytes, &error, main ? "" : BytesMenu2Refuses(),
                   main ? Table::Fx9860 : Table::Graph35)) {
    return Error(textPath + ", ligne " + std::to_string(error.line) + ", colonne " +
                 std::to_string(error.column) + " : " + error.message + " ; rien n'est ecrit");
  }
  if (main)
    bytes = WriteG1m({ProgramFile(name, bytes)}, IsColourArchive(path));
  else
    bytes.insert(bytes.begin(), ':');  // in place: a large program is not copied
  if (WriteFileWhole(path, bytes, &message) != Written::Whole) return Error(message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // A file size limit must come back as a failed write, reported, with the
  // temporary file removed; not as a signal that kills the program.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::fputs(kVersion, stdout);
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
  if (args.size() == 3 && args[0] == "convertir" && spelling == Spelling::Calculator)
    return Convert(args[1], args[2]);
  return Usage();
}
