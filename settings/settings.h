// The persisted settings record, each field named after its stored value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/raster/bitmap.h"

namespace pelmora {

// Stored codes of the colour depth.
enum class ColorModeCode : int { k1Bit = 1, k4Bit = 2, k8Bit = 3, k16Bit = 4, k24Bit = 5 };

struct Settings {
  int Top = 0;
  int Left = 0;
  int Width = 680;
  int Height = 480;
  int ColorMode = 24;  // the colour depth in bits (1, 4, 8, 16, 24); stored as its code
  bool No9 = true;
  bool TextMode = true;
  bool WriteDPI = true;
  bool ToolMode = true;
  bool InfoMode = true;
  bool LGBMode = false;
  bool usePalette = false;
  Colour BackColor = 0x000000;
  Colour Color1 = 0xFFFF00;
  Colour Color2 = 0xFFFFFF;
  Colour Color3 = 0x008000;
  Colour Color4 = 0x00FFFF;
  Colour Color5 = 0xFF00FF;
  Colour Color6 = 0xFF0000;
  Colour Color7 = 0x000000;
  int PenWidth1 = 1;
  int PenWidth2 = 1;
  int PenWidth3 = 1;
  int PenWidth4 = 1;
  int PenWidth5 = 1;
  int PenWidth6 = 1;
  std::string OpenDir;  // UTF-8 path; the current folder at start-up
  std::string SaveDir;
  int dpi = 36;
  // UTF-8 here and in the store; the canvas gets it in CP932 (LogFont::face_name).
  std::string FontName = "ＭＳ ゴシック";
  int Dot = 6;
  int x1 = 0;
  int y1 = 0;
  int x2 = 100;
  int y2 = 100;
};

}  // namespace pelmora
