// Catalogues (.cat): the text files in which programs for these calculators
// are shared, as the maker's PC software of that generation writes them. Each
// record: "%Header Record", its fields, "%Data Record", the program in the
// ascii spelling (one text line per program line), "%End"; CR LF line ends.
#pragma once

#include <string>
#include <vector>

#include "link/item.h"

struct CatalogueRead {
  std::vector<Item> programs;           // in the file's order
  std::vector<std::string> passedOver;  // records of other kinds: "NAME (VAL)"
  std::vector<std::string> warnings;    // "ligne 5 : Capacity 12 ... 14"
};

// The programs of a catalogue, as the items the calculator would send. False
// with the line and why for a record that cannot be read: then nothing of the
// file counts.
bool ReadCatalogue(const std::string& text, CatalogueRead* read, std::string* error);
// A catalogue of these program items (other items are the caller's to leave
// out), that the maker's software and other tools read.
std::string WriteCatalogue(const std::vector<Item>& programs);
// The program's bytes: its one part less the 0x3A, the 0xFF and the checksum.
Bytes ProgramBytes(const Item& program);
