#include <cstdio>
#include <cstring>

#include "console/progress.h"
#include "serial/serial.h"
#include "text/program_file.h"
#include "serial/line.h"
#include "transfer/transfer.h"

namespace {

// Control bytes would reach the terminal as escape sequences: shown as "_".
char ConsoleSafe(unsigned char c) {
  return (c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
}

void TakeName(const unsigned char* header, char* name) {
  for (int i = 0; i < NAME_LENGTH; ++i) name[i] = SafeNameChar(header[HEADER_NAME + i], i == 0);
  name[NAME_LENGTH] = '\0';
}

void TakePassword(const unsigned char* header, char* password) {
  int i = 0;
  for (; i < NAME_LENGTH; ++i) {
    unsigned char c = header[HEADER_PASSWORD + i];
    if (c == 0xFF || c == 0x00) break;
    password[i] = ConsoleSafe(c);
  }
  password[i] = '\0';
}

bool ReadWholeHeader(unsigned char* header) {
  for (;;) {
    int got = 0;
    if (!ReadCOM(header, HEADER_SIZE, &got)) return false;
    if (got == HEADER_SIZE) return true;  // a shorter read is thrown away whole
  }
}

void ShowProgramHeader(WorkState& s) {
  Console& con = s.con;
  const unsigned char* h = s.received;
  Say(con, " programme");
  Say(con, "\nTaille du programme : %ld", static_cast<long>(AnnouncedBlockLength(h) + 14));
  Say(con, "\nNom du programme : %s", s.name);
  Say(con, "\nProtection par mot de passe? ");
  if (h[HEADER_PASSWORD] == 0xFF) {
    Say(con, "Non!");
  } else {
    TakePassword(h, s.password);
    Say(con, "Oui!   Mot de passe : %s", s.password);
  }
  int withChecksum = sumtable8bit(h, HEADER_SIZE);
  int withoutChecksum = sumtable8bit(h, HEADER_SIZE - 1);
  Say(con, "\nTotal (sum) du Header : %ld avec le checksum, %ld sans, et le checksum vaut %ld...",
      static_cast<long>(withChecksum), static_cast<long>(withoutChecksum),
      static_cast<long>(h[HEADER_CHECKSUM]));
  Say(con, checksum8bit(withChecksum) ? "\nLe checksum est donc correcte!"
                                      : "Le checksum est... INCORRECTE! ERREUR!");
  if (create_checksum8bit(withoutChecksum) == h[HEADER_CHECKSUM])
    Say(con, "\nCalcule du checksum :: OK!");
  else
    Say(con, "\nErreur dans l'algorithme de g%sn%sration du checksum...", EAcute(con), EAcute(con));
}

// One data phase: ends when the block length that a program header announces
// has arrived, after 5000 ms in which no byte came, or when the buffer is full.
// A header of another type announces nothing: its total is unknown.
// False when the line went in the middle; `count` still tells what came.
bool ReadData(WorkState& s, int announced, int* count) {
  int limit = announced >= 0 && announced < MAX_RECEIVED ? announced : MAX_RECEIVED;
  Progress progress(s.con, announced >= 0 ? limit : -1);
  bool alive = true;
  int n = 0;
  while (n < limit) {
    int got = 0;
    int step = limit - n < kBlockStep ? limit - n : kBlockStep;
    alive = ReadCOM(s.content + n, step, &got) != 0;
    n += got;
    if (!alive || got == 0) break;
    progress.Update(n);
  }
  *count = n;
  return alive;
}

Outcome SendByteOrEnd(WorkState& s, unsigned char byte) {
  int written = 0;
  if (!WriteCOM(&byte, 1, &written)) {
    Say(s.con, "... erreur lors de l'envoi.\r\n");
    Pause(s.con);
    return Outcome::End;
  }
  Say(s.con, "... envoye!\n");
  return Outcome::Menu;
}

Outcome ReceiveAndStore(WorkState& s) {
  Console& con = s.con;
  Say(con, "\nReception des donnes en cours...");
  bool program = IsProgramHeader(s.received);
  int announced = program ? AnnouncedBlockLength(s.received) : -1;
  int n = 0;
  bool alive = ReadData(s, announced, &n);
  int keep = n - 2;  // for a block that came whole: its 0xFF and checksum
  if (program && n < announced) {
    Say(con, "... donnees incompletes!");
    keep = n;  // none of these bytes is the block's 0xFF and checksum
  } else if (program && !checksum8bit(sumtable8bit(s.content, n))) {
    Say(con, "... checksum des donnees incorrect!");
  } else if (!program && n == MAX_RECEIVED) {
    // A header of another type announces no length: what the buffer could
    // not take is lost, and the user must know it.
    Say(con, "... donnees coupees a %d octets (le tampon est plein)!", MAX_RECEIVED);
  } else {
    Say(con, "...OK!");
  }
  Say(con, "\nCreation d'un fichier et stockage des donnes recues...");
  std::strcpy(s.name + NAME_LENGTH, ".txt");
  // Written beside the file and put in its place once whole: a failed store
  // never costs the copy already there.
  std::string error;
  const char* bytes = reinterpret_cast<const char*>(s.content);
  Written stored = WriteFileWhole(s.name, std::string(bytes, keep > 0 ? keep : 0), &error, true);
  switch (stored) {
    case Written::Whole:
      Say(con, "...OK!");
      break;
    case Written::NotCreated:
      Say(con, "\nImpossible de creer le fichier %s!", s.name);
      break;
    case Written::WriteFailed:
      Say(con, "\nErreur d'ecriture dans le fichier %s! Rien n'y est change.", s.name);
      break;
  }
  if (!alive) return Outcome::LineLost;  // what came before is on disk
  if (stored != Written::Whole) {
    // The calculator must not be told that the program arrived: the
    // receiver's refusal of the data, as for a wrong checksum.
    Say(con, "\nEmission du refus des donnees (2B)...");
    return SendByteOrEnd(s, CODE_ERROR);
  }
  Say(con, "\nEmission du code de fin de transfert...");
  return SendByteOrEnd(s, CODE_ACK);
}

}  // namespace

Outcome TestReception(WorkState& s) {
  Console& con = s.con;
  ClearScreen(con);
  Say(con, "\n Debut de la communication...\n");
  Say(con, "En attente de la calculatrice...\n");
  if (!AwaitByte(CODE_REQUEST)) return Outcome::LineLost;
  Say(con, "Calculatrice : OK! Envoi du message de reception...\n");
  int written = 0;
  unsigned char ready = CODE_READY;
  Say(con, WriteCOM(&ready, 1, &written) ? "Message envoye!\n" : "Erreur lors de l'envoi.\r\n");
  Say(con, "Reception du Header en cours...\n");
  if (!ReadWholeHeader(s.received)) return Outcome::LineLost;
  Say(con, "Header recu!\n");
  SayHex(con, s.received, HEADER_SIZE);
  Say(con, "\n\nInformations...\nType :");
  // The name is taken from any header, so that an accepted header of another
  // type is stored under its own name and never under an earlier one.
  TakeName(s.received, s.name);
  if (IsProgramHeader(s.received))
    ShowProgramHeader(s);
  else
    Say(con, " Type non-gere actuellement...");

  Say(con,
      "\n\nQuel message donner a la calculatrice?\n1 : Donnes deja existante...\n2 : Ne pas "
      "recevoir ces donnes...\n3 : Recevoir ces donnes...\n");
  if (!AskChoice(con, &s.answerChoice, 1, 3)) return Outcome::End;
  static const unsigned char replies[] = {CODE_EXISTS, CODE_ERROR, CODE_ACK};
  s.reply = replies[s.answerChoice - 1];
  Say(con, "\n Emission de la reponse en cours...");
  if (SendByteOrEnd(s, s.reply) == Outcome::End) return Outcome::End;

  if (s.answerChoice == 2) {
    Say(con, "\nMessage d'erreur envoye... Communication interompue!\n");
  } else if (s.answerChoice == 1) {
    Say(con, "\n\nNon gere pour le moment...\n");
  } else {
    Outcome outcome = ReceiveAndStore(s);
    if (outcome != Outcome::Menu) return outcome;
  }
  Say(con, "\r\n");
  Pause(con);
  return Outcome::Menu;
}
