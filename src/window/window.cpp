#include "window/window.h"

#include <algorithm>

int WholeScale(int width, int height, int areaWidth, int areaHeight) {
  if (width <= 0 || height <= 0) return 1;
  return std::max(1, std::min(areaWidth / width, areaHeight / height));
}

void FirstSize(int width, int height, int* windowWidth, int* windowHeight) {
  int scale = WholeScale(width, height, 1024, 768);
  *windowWidth = width * scale;
  *windowHeight = height * scale;
}
