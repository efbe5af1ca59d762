#include "report_builder.h"

#include <QBuffer>
#include <QImage>
#include <random>

#include "addins/barcode_view.h"
#include "model/memo_view.h"
#include "model/state.h"
#include "model/views.h"
#include "platform/codepage.h"

namespace orv::tools {

namespace {

const char* const kWords[] = {
    "relatório", "cliente",  "pedido", "entrega", "nota",    "fiscal",  "serviço",   "produto",
    "código",    "situação", "ação",   "crédito", "débito",  "saldo",   "conta",     "região",
    "São Paulo", "Goiânia",  "Belém",  "Maringá", "período", "análise", "preço",     "unidade",
    "estoque",   "número",   "médio",  "total",   "parcial", "emissão", "vencimento"};

std::string cp(const char* utf8) {
  // The model's strings are in the system code page.
  return encodeText(QString::fromUtf8(utf8), 1252);
}

struct Page {
  MemoryStream& s;
  void put(TfrView& v) {
    v.PreparedForm = true;
    s.writeU8(v.TypeCode);
    if (v.TypeCode == 10) writeString(s, v.ClassName());
    v.SaveRecord(s);
    v.PreparedForm = false;
  }
  void memo(int x, int y, int w, int h, const std::string& text, const char* font, int size,
            uint16_t style, int align, uint16_t frame = 0, Color fill = clNone) {
    TfrMemoView m;
    m.Left = x;
    m.Top = y;
    m.Width = w;
    m.Height = h;
    m.Font.Name = font;
    m.Font.Size = size;
    m.Font.Style = style;
    m.Alignment = align;
    m.FrameTyp = frame;
    m.FillColor = fill;
    m.ExpandedText = {text + kParagraphEnd};
    put(m);
  }
  void line(int x, int y, int w, int h, float width = 1) {
    TfrLineView l;
    l.Left = x;
    l.Top = y;
    l.Width = w;
    l.Height = h;
    l.FrameWidth = width;
    put(l);
  }
};

std::vector<uint8_t> logoBmp() {
  QImage img(48, 24, QImage::Format_RGB888);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      img.setPixelColor(x, y, QColor(40 + x * 4, 80 + y * 6, 160));
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "BMP");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

PageSetup a4Setup() {
  PageSetup setup;
  setup.paper = {9, 2100, 2970, 0, -1};
  setup.useMargins = true;
  PrinterModel& printer = sharedPrinter();
  printer.SetPaper(9, 2100, 2970, 0, -1, false);
  printer.FillPrinterInfo(setup.info);
  return setup;
}

}  // namespace

void buildListing(TfrReport& report, const ReportSpec& spec) {
  std::mt19937 rng(spec.seed);
  auto word = [&] { return cp(kWords[rng() % std::size(kWords)]); };
  const PageSetup setup = a4Setup();
  const std::vector<uint8_t> logo = logoBmp();
  TfrEMFPages& store = report.EMFPages;
  for (int p = 0; p < spec.pages; ++p) {
    store.AddPage(setup);
    Page page{store.Entry(store.Count() - 1).Objects()};
    page.s.seek(page.s.size());
    if (spec.picture) {
      TfrPictureView pic;
      pic.Left = 38;
      pic.Top = 30;
      pic.Width = 96;
      pic.Height = 48;
      pic.Flags = 1 | 4;
      pic.Picture = Graphic::load(Graphic::Kind::Bitmap, logo);
      page.put(pic);
    }
    page.memo(150, 30, 570, 26, cp("Relatório de Vendas por Região"), "Arial", 14, ViewFont::Bold,
              frtaCenter);
    page.memo(150, 58, 570, 18, cp("Período: 01/11/2026 a 30/11/2026 — emissão 08/12/2026"),
              "Times New Roman", 9, ViewFont::Italic, frtaCenter);
    page.line(38, 84, 682, 0, 2);
    const int cols[] = {38, 110, 330, 470, 590, 720};
    const char* heads[] = {"Código", "Descrição", "Região", "Quantidade", "Valor (R$)"};
    for (int c = 0; c < 5; ++c)
      page.memo(cols[c], 92, cols[c + 1] - cols[c], 20, cp(heads[c]), "Arial", 9, ViewFont::Bold,
                c >= 3 ? frtaRight : frtaLeft, 15, 0xE0E0E0);
    int y = 114;
    double total = 0;
    for (int r = 0; r < 38; ++r, y += 22) {
      const int qty = int(rng() % 900) + 1;
      const double value = qty * (1.5 + (rng() % 10000) / 100.0);
      total += value;
      char code[16], q[16], v[32];
      std::snprintf(code, sizeof code, "%06u", unsigned(rng() % 1000000));
      std::snprintf(q, sizeof q, "%d", qty);
      std::snprintf(v, sizeof v, "%.2f", value);
      std::string val(v);
      for (char& ch : val) ch = ch == '.' ? ',' : ch;
      page.memo(cols[0], y, 72, 20, code, "Courier New", 9, 0, frtaLeft);
      page.memo(cols[1], y, 220, 20, word() + " " + word() + " " + word(), "Arial", 9, 0,
                r % 7 == 3 ? frtaJustify : frtaLeft);
      page.memo(cols[2], y, 140, 20, word(), "Times New Roman", 10, 0, frtaCenter);
      page.memo(cols[3], y, 120, 20, q, "Arial", 9, 0, frtaRight);
      page.memo(cols[4], y, 130, 20, val, "Arial", 9, r % 5 == 0 ? ViewFont::Bold : 0, frtaRight);
      if (r % 5 == 4) page.line(38, y + 21, 682, 0);
    }
    char t[48];
    std::snprintf(t, sizeof t, "Total da página: %.2f", total);
    page.memo(420, y + 6, 300, 20, cp(t), "Arial", 10, ViewFont::Bold, frtaRight, 15);
    page.line(38, 1010, 682, 0);
    page.memo(38, 1014, 682, 18,
              cp("Sistema Orvalen — página ") + std::to_string(p + 1) + " de " +
                  std::to_string(spec.pages),
              "Arial", 8, 0, frtaRight);
    page.s.rewind();
  }
}

namespace {

// Appends an A4 page and lets `fill` write its objects.
template <typename Fill>
void addA4Page(TfrReport& report, Fill fill) {
  const PageSetup setup = a4Setup();
  TfrEMFPages& store = report.EMFPages;
  store.AddPage(setup);
  Page page{store.Entry(store.Count() - 1).Objects()};
  page.s.seek(page.s.size());
  fill(page);
  page.s.rewind();
}

}  // namespace

void addTextPage(TfrReport& report, const std::vector<std::string>& lines) {
  addA4Page(report, [&](Page& page) {
    int y = 40;
    for (const std::string& line : lines) {
      page.memo(40, y, 600, 20, line, "Arial", 10, 0, frtaLeft);
      y += 24;
    }
  });
}

void addBarcodePage(TfrReport& report, const std::vector<BarcodeSpec>& codes) {
  addA4Page(report, [&](Page& page) {
    int y = 60;
    for (const BarcodeSpec& code : codes) {
      TfrBarCodeView v;
      v.Left = 80;
      v.Top = y;
      v.Width = 200;
      v.Height = 70;
      v.BarType = uint8_t(code.type);
      v.CalcCheckSum = code.checksum;
      v.ExpandedText = {code.text};
      page.put(v);
      y += 110;
    }
  });
}

}  // namespace orv::tools
