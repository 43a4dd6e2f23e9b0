#include <cstdio>
#include <cstring>

#include "console/progress.h"
#include "serial/serial.h"
#include "transfer/file.h"
#include "serial/line.h"
#include "transfer/transfer.h"

namespace {

constexpr int kMaxLoaded = CONTENT_SIZE - 3;  // room for the 0xFF, the checksum and a final 0
constexpr int kMaxContent = 0xFFFF - 2;       // the size field holds content length + 2

enum class Loaded { Line, CannotOpen, TooLong };

// The first line, line feed included, zero bytes too: a program holds them
// (If is F7 00, Xmin is 7F 00) and must not go out cut short.
Loaded LoadFirstLine(const std::string& path, unsigned char* content, int* length) {
  File file(path.find('\0') == std::string::npos ? std::fopen(path.c_str(), "r") : nullptr);
  if (!file) return Loaded::CannotOpen;
  int n = 0;
  for (int c; n < kMaxLoaded && (c = std::fgetc(file.get())) != EOF;) {
    content[n++] = static_cast<unsigned char>(c);
    if (c == '\n') break;
  }
  if (std::ferror(file.get())) return Loaded::CannotOpen;  // a directory, say
  content[n] = 0;
  *length = n;
  return n > kMaxContent ? Loaded::TooLong : Loaded::Line;
}

bool LoadContent(WorkState& s, int* length) {
  for (;;) {
    if (ReadWord(s.con, &s.fileName) == Answer::EndOfInput) return false;
    Loaded loaded = LoadFirstLine(s.fileName, s.content, length);
    if (loaded == Loaded::CannotOpen) {
      Say(s.con, "\nImpossible d'ouvrir le fichier... Recommencez...");
      // A user who typed one name meant one file: the rest of that line is
      // no file to send.
      TakeLineOfInput(s.con);
      continue;
    }
    Say(s.con, "\nChargement du contenu du fichier...");
    if (loaded == Loaded::Line) return true;
    Say(s.con, "\nLigne trop longue (maximum = %d octets)... Recommencez...", kMaxContent);
  }
}

bool AskProgramName(WorkState& s) {
  std::memset(s.name, 0, NAME_LENGTH + 1);
  std::string word;
  for (;;) {
    if (ReadWord(s.con, &word) == Answer::EndOfInput) return false;
    if (word.size() <= NAME_LENGTH && word.find('\0') == std::string::npos) {
      std::memcpy(s.name, word.data(), word.size());
      return true;
    }
  }
}

void SendEndHeader(WorkState& s) {
  int written = 0;
  InitHeader_End(s.outgoing);
  WriteCOM(s.outgoing, HEADER_SIZE, &written);
}

int WriteBlock(WorkState& s, int length) {
  Progress progress(s.con, length);
  int done = 0;
  while (done < length) {
    int step = length - done < kBlockStep ? length - done : kBlockStep;
    int written = 0;
    WriteCOM(s.content + done, step, &written);
    done += written;
    progress.Update(done);
    if (written != step) break;
  }
  return done;
}

// After CODE_EXISTS: replace the calculator's program, or give up.
Outcome AskReplace(WorkState& s) {
  Console& con = s.con;
  Say(con,
      "\n\nProgramme deja existant...\n1 : Remplacer l'ancien par celui-ci.\n2 : Ne pas envoyer "
      "ce programme...\n");
  if (!AskChoice(con, &s.answerChoice, 1, 2)) return Outcome::End;
  if (s.answerChoice == 2) {
    Say(con, "\nFin de la communication...");
    OneCharCOM(CODE_CANCEL);
    if (!AwaitByte(CODE_ACK)) return Outcome::LineLost;
    SendEndHeader(s);
    Say(con, "OK!");
    SilentPause(con);
    return Outcome::End;
  }
  Say(con, "\nEnvoi de la reponse...");
  OneCharCOM(CODE_ACK);
  if (!AwaitByte(CODE_ACK)) return Outcome::LineLost;
  Say(con, "...OK!");
  return Outcome::Menu;
}

Outcome SendData(WorkState& s, int length) {
  Console& con = s.con;
  Say(con, "\nCalculatrice prete pour le transfert!\nTransfert...");
  int blockLength = length + 2;
  s.content[length] = 0xFF;
  SealBlock(s.content, blockLength);
  Say(con, "\nHexadecimal a emmetre :\n");
  SayHex(con, s.content, blockLength);
  if (WriteBlock(s, blockLength) != blockLength) {
    Say(con, "erreur de communication!");
    SilentPause(con);
    return Outcome::End;
  }
  Say(con, "...OK!");
  if (!AwaitByte(CODE_ACK)) return Outcome::LineLost;
  Say(con, "\n\nProgramme transfere!\nEmmission du header de fin...");
  SendEndHeader(s);
  Say(con, "...OK!\nFin de la communication!");
  SilentPause(con);
  return Outcome::Menu;
}

}  // namespace

Outcome TestEmission(WorkState& s) {
  Console& con = s.con;
  ClearScreen(con);
  Say(con, "\nOuvrir quel fichier? (mettre l'extension...)");
  int length = 0;
  if (!LoadContent(s, &length)) return Outcome::End;
  Say(con, "...OK!\n");
  Say(con, "\n\nQuel nom donner a votre programme? (maximum = 8 caracteres...)     ");
  if (!AskProgramName(s)) return Outcome::End;

  InitHeader_Programme(s.outgoing, s.name);
  SetBlockLength(s.outgoing, length + 2);
  SealBlock(s.outgoing, HEADER_SIZE);
  Say(con, "\n\nContenu du buffer :\n");
  SayHex(con, s.outgoing, HEADER_SIZE);

  Say(con, "\nDemarage de l'emmission...");
  OneCharCOM(CODE_REQUEST);
  Say(con, "...OK!");
  Say(con, "\nAttente du caractere de controle...");
  if (!AwaitByte(CODE_READY)) return Outcome::LineLost;
  Say(con, "...OK!");
  Say(con, "\nEmmission du Header...");
  int written = 0;
  WriteCOM(s.outgoing, HEADER_SIZE, &written);
  Say(con, "...OK!\nEn attente de d'une reponse...");
  if (!ReadAnswerByte(&s.answer)) return Outcome::LineLost;

  if (s.answer == CODE_ERROR) {
    Say(con, "\n\nErreur de checksum... Fin de la communication!");
    SendEndHeader(s);
    SilentPause(con);
    return Outcome::End;
  }
  if (s.answer == CODE_EXISTS) {
    Outcome outcome = AskReplace(s);
    if (outcome != Outcome::Menu) return outcome;
  }
  // Unless the calculator accepted at once, it gives its go-ahead with a
  // further 0x06 (after a replacement too).
  if (s.answer != CODE_ACK) {
    Say(con, "\nAttente d'une reponse de la calculatrice...");
    if (!AwaitByte(CODE_ACK)) return Outcome::LineLost;
  }
  return SendData(s, length);
}
