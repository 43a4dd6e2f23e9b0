#include <cstring>

#include "app/liaison.h"
#include "serial/serial.h"
#include "transfer/transfer.h"

namespace {

void ClearWorkState(WorkState& s) {
  std::memset(s.content, 0, sizeof s.content);
  std::memset(s.name, 0, sizeof s.name);
  std::memset(s.password, 0, sizeof s.password);
  s.fileName.clear();
  s.reply = 0;
  s.answer = 0;
  s.menuChoice = 0;
  s.answerChoice = 0;
}

void ShowMenu(Console& con) {
  Say(con, "\r\n");
  Say(con, "1 : Test de reception avec une calculatrice Casio Graph.\r\n");
  Say(con, "2 : Test d'emmission vers une calculatrice Casio Graph.\n");
  Say(con, "3 : Quitter.\r\n");
  Say(con, "Choix : ");
}

int Finish(WorkState& s, Outcome outcome) {
  if (outcome == Outcome::LineLost) {
    Say(s.con,
        "\r\n\r\nLiaison avec la calculatrice perdue (cable debranche?)... Fin du programme.\r\n");
  }
  CloseCOM();
  return outcome == Outcome::LineLost ? -1 : 0;
}

}  // namespace

int RunLiaison(WorkState& s, int port) {
  ClearWorkState(s);
  Say(s.con, "Ouverture et configuration du port COM%d...\r\n", port);
  if (!OpenCOM(port)) return -1;
  Say(s.con, "...OK\r\n");
  for (;;) {
    ShowMenu(s.con);
    Answer answer = ReadNumber(s.con, &s.menuChoice);
    if (answer == Answer::EndOfInput) return Finish(s, Outcome::End);
    if (answer == Answer::NotNumber) continue;
    Outcome outcome = Outcome::Menu;
    switch (s.menuChoice) {
      case 1:
        outcome = TestReception(s);
        break;
      case 2:
        outcome = TestEmission(s);
        break;
      case 3:
        return Finish(s, Outcome::End);
      default:
        continue;
    }
    if (outcome != Outcome::Menu) return Finish(s, outcome);
  }
}
