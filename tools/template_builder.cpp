#include "template_builder.h"

#include <QImage>

#include "model/memo_view.h"
#include "model/views.h"
#include "platform/codepage.h"

namespace orv::tools {

namespace {

std::string cp(const char* utf8) {
  return encodeText(QString::fromUtf8(utf8), 1252);
}

TfrBandView& band(TfrPage& page, std::string name, uint16_t type, int y, int h) {
  return placeBand(page, std::move(name), type, y, h, page.RightEdge());
}

constexpr auto memo = placeMemo;

}  // namespace

void buildSampleTemplate(TfrReport& report) {
  report.ClearTemplate();

  TfrPage& first = report.Pages.Add();
  first.Name = "Page1";
  first.Margins = {20, 20, 20, 20};
  first.ChangePaper(9, 2100, 2970, poPortrait, -1);
  band(first, "ReportTitle1", btReportTitle, 20, 80);
  TfrMemoView& title = memo(first, "Memo1", 20, 24, 700, 30, {cp("Relatório de vendas")});
  title.Font.Size = 14;
  title.Font.Style = ViewFont::Bold;
  title.Alignment = frtaCenter;
  title.FrameTyp = frftLeft | frftTop | frftRight | frftBottom;
  title.FrameWidth = 1.5f;
  TfrPictureView& logo = place<TfrPictureView>(first, "Picture1", 20, 56, 40, 40);
  QImage img(8, 8, QImage::Format_RGB888);
  img.fill(QColor(40, 90, 160));
  logo.Picture = Graphic::fromImage(img);
  logo.Flags = pfStretched | pfKeepAspect | pfCenter;
  TfrBandView& data = band(first, "MasterData1", btMasterData, 120, 24);
  data.FormatStr = "5";
  data.Flags |= bfBreaked;
  TfrMemoView& row = memo(first, "Memo2", 20, 122, 300, 20, {"[Line#]. [Cliente]", "[Total]"});
  row.BeforePrintScript = {"if [Line#] > 3 then", "  Memo2.FillColor := clSilver;"};
  row.BandAlign = baLeft;
  TfrLineView& rule = place<TfrLineView>(first, "Line1", 20, 143, 700, 0);
  rule.FrameTyp = frftTop;
  place<TfrSubReportView>(first, "SubReport1", 400, 122, 300, 20).SubReportPage = 1;
  band(first, "PageFooter1", btPageFooter, 1000, 30);
  memo(first, "Memo3", 20, 1004, 700, 20, {cp("Página [PAGE#] de [TOTALPAGES]")}).Alignment =
      frtaRight;

  TfrPage& second = report.Pages.Add();
  second.Name = "Page2";
  second.Columns = 2;
  second.ColumnGap = 10;
  second.ChangePaper(11, 2100, 1480, poLandscape, -1);
  band(second, "MasterData2", btMasterData, 10, 20).FormatStr = "3";
  memo(second, "Memo4", 10, 12, 200, 16, {"[Line#]"});

  TfrPage& dialog = report.Pages.Add();
  dialog.Name = "Page3";
  dialog.PageKind = ptDialog;
  dialog.Caption = cp("Parâmetros");
  dialog.BorderStyle = 2;
  dialog.Position = 0;
  dialog.PageScript = {"begin", "  Total := 0;", "end"};

  TfrDataDictionary& d = report.Dictionary;
  d.Variables.setValue(" Vendas", std::string());
  d.Variables.setValue("Total", "1 + 2");
  d.Variables.setValue("Cliente", "'Orvalen'");
  d.FieldAliases.setValue("Clientes", "Clientes ativos");
  d.BandDatasources.setValue("MasterData1", "Clientes");

  report.InfoComment = cp("Vendas do mês por cliente");
  report.InfoName = "Vendas";
  report.InfoAuthor = "Sistema Orvalen";
  report.InfoVersionMajor = "1";
  report.InfoVersionMinor = "2";
  report.InfoVersionRelease = "3";
  report.InfoVersionBuild = "4";
  report.CreatedAt = 46000.5;  // 9 December 2025, noon
}

}  // namespace orv::tools
