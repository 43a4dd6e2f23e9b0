#include "serial/line.h"

#include "serial/serial.h"

bool AwaitByte(unsigned char wanted) {
  for (;;) {
    unsigned char byte = 0;
    if (!ReadAnswerByte(&byte)) return false;
    if (byte == wanted) return true;
  }
}

bool ReadAnswerByte(unsigned char* byte) {
  int got = 0;
  unsigned char received = 0;
  if (!ReadCOM(&received, 1, &got)) return false;
  *byte = got == 1 ? received : 0;
  return true;
}
