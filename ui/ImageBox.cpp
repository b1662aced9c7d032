#include "ui/ImageBox.h"

#include <algorithm>

ImageBox FitImageBox(int width, int height, int canvas) {
  ImageBox box;
  if (width <= 0 || height <= 0) return box;
  // The box keeps its share of the canvas, rounded like every scaled length.
  const float side = static_cast<float>((kButtonImageBox * canvas + kButtonImageSize / 2) / kButtonImageSize);
  const float scale = std::min(side / static_cast<float>(height), side / static_cast<float>(width));
  box.width = static_cast<int>(scale * static_cast<float>(width));
  box.height = static_cast<int>(scale * static_cast<float>(height));
  box.x = (canvas - box.width) / 2;
  box.y = (canvas - box.height) / 2;
  return box;
}
