#include "ui/ImageBox.h"

#include <algorithm>

ImageBox FitImageBox(int width, int height) {
  ImageBox box;
  if (width <= 0 || height <= 0) return box;
  const float box36 = static_cast<float>(kButtonImageBox);
  const float scale = std::min(box36 / static_cast<float>(height), box36 / static_cast<float>(width));
  box.width = static_cast<int>(scale * static_cast<float>(width));
  box.height = static_cast<int>(scale * static_cast<float>(height));
  box.x = (kButtonImageSize - box.width) / 2;
  box.y = (kButtonImageSize - box.height) / 2;
  return box;
}
