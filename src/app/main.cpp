#include "app/state.h"

int main() {
  static WorkState state;
  OpenConsole(state.con);
  return RunLiaison(state);
}
