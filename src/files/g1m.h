// Main-memory archives (.g1m, .g1r): the files of an fx-9860G family
// calculator's main memory (Graph 35+ and later), as its PC software keeps
// them. Each file: a group, a directory, a name, a type and its content.
#pragma once

#include <string>
#include <vector>

#include "link/item.h"

struct MainFile {
  std::string group;      // at most 16 characters: "PROGRAM"
  std::string directory;  // at most 8: "system"
  std::string name;       // at most 8
  unsigned char type = 0;
  std::string content;
};

constexpr unsigned char MAIN_PROGRAM = 0x01;

struct G1mRead {
  std::vector<MainFile> files;        // in the archive's order
  std::vector<std::string> warnings;  // "taille annoncee 100, le fichier en a 106"
  bool colour = false;                // a colour model's archive (.g3m): its own type bytes
};

// False, with where and why, for bytes that are no main-memory archive: another
// file of the family (an add-in, a language, an e-activity), a count or a
// length that runs past the end. Bytes after the last file are a warning. The
// colour models' archives (.g3m: the same layout, other type bytes) are read
// alike.
bool ReadG1m(const std::string& bytes, G1mRead* read, std::string* error);
// What a file that opens with the family's 32-byte header is: "une
// application (.g1a)", "une e-activite (.g1e)"..., "" for a main-memory
// archive or for a file without that header.
std::string OtherContainer(const std::string& bytes);
// The title a colour model's add-in (.g3a) or picture (.g3p) carries in its
// extra header (at 0x40, 32 bytes at most); "" for another file or a title
// that is no printable text.
std::string ColourTitle(const std::string& bytes);
// A colour model's program goes to a Graph 35+E II only with codes the
// fx-9860G table has: false with each other code, by line and column.
bool FitsFx9860(const MainFile& file, std::string* error);
// The archive of these files: one group header per group, in the order the
// groups first come, each group's files in their order; `colour`: a .g3m.
std::string WriteG1m(const std::vector<MainFile>& files, bool colour = false);

// A program in the fx-9860G table, as main memory keeps it.
MainFile ProgramFile(const std::string& name, const std::string& program,
                     const std::string& password = "");
// A program file's password and program bytes; false for another type, or
// a content shorter than its 10-byte head.
bool ProgramOf(const MainFile& file, std::string* program, std::string* password);
// "programme DEMO", or "fichier ABC (type 05, 12 octets)".
std::string DescribeFile(const MainFile& file);

// A main-memory program as the Graph 35/65's program item, its codes turned
// into that table; false with every code it lacks, by line and column, and
// for a file that is no program. `notes` gets codes that cross uncertainly.
bool ItemOfProgram(const MainFile& file, Item* item, std::vector<std::string>* notes,
                   std::string* error);
// A Graph 35/65 program item as a main-memory program, likewise.
bool ProgramOfItem(const Item& item, MainFile* file, std::vector<std::string>* notes,
                   std::string* error);
