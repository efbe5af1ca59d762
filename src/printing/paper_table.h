#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace orv {

// One row of the fixed paper table: a paper code (the Windows DMPAPER_ value,
// 256 custom) and its portrait size in tenths of a millimetre.
struct TPaperInfo {
  int32_t Typ;
  int32_t X;
  int32_t Y;
};

inline constexpr int kPaperCount = 67;
inline constexpr int32_t kCustomPaper = 256;
extern const std::array<TPaperInfo, kPaperCount> PaperTable;

// Row index of a paper code, or -1.
int paperIndex(int32_t code);

}  // namespace orv
