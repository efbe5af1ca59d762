#pragma once
// Synthetic prepared-page object streams shaped like a tabular business report
// page: a title block, column headings, rows of text objects (code, name,
// quantity, price, total) with rule lines between groups, and a footer. Field
// layout follows the prepared record forms closely enough for throughput
// measurements; the values are made up but deterministic.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace orv::bench {

class PageStreamWriter {
 public:
  std::vector<uint8_t> bytes;

  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void i32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int s = 0; s < 32; s += 8) u8(static_cast<uint8_t>(u >> s));
  }
  void str(std::string_view s) {
    u16(static_cast<uint16_t>(s.size()));
    bytes.insert(bytes.end(), s.begin(), s.end());
    u8(0);
  }
  void lines(const std::vector<std::string>& ls) {
    u16(static_cast<uint16_t>(ls.size()));
    if (ls.empty()) {
      u8(0);
      return;
    }
    for (size_t k = 0; k < ls.size(); ++k) {
      u16(static_cast<uint16_t>(ls[k].size()));
      bytes.insert(bytes.end(), ls[k].begin(), ls[k].end());
      u8(k + 1 < ls.size() ? 13 : 0);
    }
  }

  // Common prepared view part: name, record version, geometry, frame, fill,
  // text, restrictions, tag, gaps, band alignment.
  void view(const std::string& name, int x, int y, int dx, int dy, uint16_t frameTyp, int32_t fill,
            const std::vector<std::string>& text) {
    str(name);
    u8(2);
    u8(0);
    i32(x);
    i32(y);
    i32(dx);
    i32(dy);
    u16(0x0003);  // flags: word wrap and friends
    u16(frameTyp);
    i32(1);  // frame width
    i32(0);  // frame colour: black
    u16(0);  // frame style
    i32(fill);
    lines(text);
    u16(0);   // restrictions
    str("");  // tag
    i32(2);
    i32(1);
    u8(0);
  }

  void memo(const std::string& name, int x, int y, int dx, int dy, const std::string& text,
            int32_t alignment, uint16_t style, uint16_t frameTyp = 0, int32_t fill = 0x1FFFFFFF) {
    u8(0);
    view(name, x, y, dx, dy, frameTyp, fill, {text});
    str("Arial");
    i32(style & 2 ? 10 : 8);
    u16(style);
    i32(0);  // font colour
    i32(alignment);
    u16(0);  // ANSI character set
    i32(2);  // line spacing
    i32(0);  // character spacing
  }

  void line(const std::string& name, int x, int y, int dx) {
    u8(4);
    view(name, x, y, dx, 0, 0x0F, 0x1FFFFFFF, {});
  }
};

inline std::string money(std::mt19937& rng) {
  const unsigned cents = rng() % 5000000;
  std::string whole = std::to_string(cents / 100), grouped;
  for (size_t k = 0; k < whole.size(); ++k) {
    if (k && (whole.size() - k) % 3 == 0) grouped.push_back('.');
    grouped.push_back(whole[k]);
  }
  char tail[8];
  std::snprintf(tail, sizeof tail, ",%02u", cents % 100);
  return "R$ " + grouped + tail;
}

// One page with `rows` detail rows (about 5 KB for 10 rows, 50 KB for 110).
inline std::vector<uint8_t> makePageStream(uint32_t seed, int rows) {
  static const char* const products[] = {
      "Parafuso sextavado zincado", "Arruela lisa de pressão",  "Cabo flexível 2,5 mm azul",
      "Disjuntor bipolar 40 A",     "Tomada dupla 10 A branca", "Luva de PVC soldável",
      "Caixa de passagem 4x2",      "Fita isolante 20 m",       "Lâmpada LED 9 W fria",
      "Tubo de cobre 15 mm",        "Registro de gaveta 3/4",   "Joelho 90 graus 25 mm",
      "Cimento CP II 50 kg",        "Argamassa colante AC-I",   "Tinta acrílica fosca 18 L"};
  static const char* const units[] = {"UN", "CX", "PC", "KG", "M", "L"};
  static const char* const customers[] = {"Comércio de Materiais São João Ltda.",
                                          "Construtora Paulista S/A", "Depósito Três Irmãos ME",
                                          "Ferragens Santa Luzia Ltda."};
  std::mt19937 rng(seed);
  PageStreamWriter w;
  int memoNo = 1 + static_cast<int>(seed % 7) * 100;
  auto name = [&] { return "Memo" + std::to_string(memoNo++); };
  w.u8(25);

  // Title block.
  w.memo(name(), 20, 20, 700, 24, "RELATÓRIO DE VENDAS POR CLIENTE", 2, 2);
  w.memo(name(), 20, 48, 400, 18, customers[rng() % 4], 0, 0);
  w.memo(name(), 560, 48, 160, 18,
         "Emissão: " + std::to_string(1 + rng() % 28) + "/0" + std::to_string(1 + rng() % 9) +
             "/2004 " + std::to_string(rng() % 24) + ":" + std::to_string(10 + rng() % 50),
         1, 0);
  w.line("Line1", 20, 70, 700);
  static const char* const headings[] = {"Código", "Descrição",   "Qtde",
                                         "Un",     "Preço unit.", "Total"};
  static const int cols[][2] = {{20, 60}, {84, 300}, {388, 60}, {452, 30}, {486, 110}, {600, 120}};
  for (int c = 0; c < 6; ++c)
    w.memo(name(), cols[c][0], 76, cols[c][1], 18, headings[c], c >= 2 ? 1 : 0, 2, 0x0F, 0xC0C0C0);

  int y = 98;
  for (int r = 0; r < rows; ++r) {
    const unsigned qty = 1 + rng() % 400;
    const std::string cells[] = {std::to_string(10000 + rng() % 90000),
                                 products[rng() % 15],
                                 std::to_string(qty) + "," + std::to_string(rng() % 100),
                                 units[rng() % 6],
                                 money(rng),
                                 money(rng)};
    for (int c = 0; c < 6; ++c)
      w.memo(name(), cols[c][0], y, cols[c][1], 16, cells[c], c >= 2 ? 1 : 0, 0);
    y += 16;
    if (r % 5 == 4) w.line("Line" + std::to_string(r), 20, y, 700);
  }
  w.line("LineTotal", 20, y + 4, 700);
  w.memo(name(), 486, y + 8, 110, 18, "Total geral:", 1, 2);
  w.memo(name(), 600, y + 8, 120, 18, money(rng), 1, 2);
  w.memo(name(), 20, 1060, 700, 16,
         "Página " + std::to_string(1 + seed % 500) + " de " + std::to_string(500), 1, 0);
  return std::move(w.bytes);
}

// A set of pages whose sizes spread over 5 to 50 KB.
inline std::vector<std::vector<uint8_t>> makePageSet(int count) {
  std::vector<std::vector<uint8_t>> pages;
  for (int k = 0; k < count; ++k) pages.push_back(makePageStream(1000 + k, 10 + (k * 37) % 101));
  return pages;
}

}  // namespace orv::bench
