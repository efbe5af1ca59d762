#include "band_templates.h"

#include "addins/chart_view.h"
#include "model/memo_view.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv::tools {

namespace {

TfrPage& a4(TfrReport& report) {
  report.ClearTemplate();
  TfrPage& page = report.Pages.Add();
  page.Name = "Page1";
  page.ChangePaper(9, 2100, 2970, poPortrait, -1);
  page.UseMargins = true;
  page.Margins = {20, 30, 20, 40};
  return page;
}

TfrBandView& band(TfrPage& page, std::string name, uint16_t type, int y, int h,
                  std::string source = {}) {
  return placeBand(page, std::move(name), type, y, h, 700, std::move(source));
}

constexpr auto memo = placeMemo;

}  // namespace

void buildBandTemplate(TfrReport& report, BandTemplate kind) {
  TfrPage& page = a4(report);
  switch (kind) {
    case BandTemplate::Title:
      band(page, "Title", btReportTitle, 10, 40);
      memo(page, "TitleText", 20, 15, 400, 20, {"T\xEDtulo [PAGE#]"});
      break;
    case BandTemplate::FiveRecords:
      band(page, "Data", btMasterData, 40, 25, "5");
      memo(page, "Row", 0, 42, 300, 20, {"Linha [LINE#]"});
      break;
    case BandTemplate::PageBands:
      band(page, "Header", btPageHeader, 0, 20).Flags = bfOnFirstPage;
      memo(page, "HeaderText", 0, 2, 300, 16,
           {"Cabe\xE7"
            "alho [PAGE#]"});
      band(page, "Data", btMasterData, 40, 25, "60");
      memo(page, "Row", 0, 42, 300, 20, {"Linha [LINE#]"});
      band(page, "Footer", btPageFooter, 900, 30).Flags = bfOnFirstPage | bfOnLastPage;
      memo(page, "FooterText", 0, 905, 300, 20, {"P\xE1gina [PAGE#]"});
      break;
    case BandTemplate::Groups:
      band(page, "GroupHead", btGroupHeader, 20, 20, "[LINE#] > 4");
      memo(page, "GroupTitle", 0, 22, 300, 16, {"Grupo"});
      band(page, "Data", btMasterData, 60, 20, "10");
      memo(page, "Row", 20, 62, 300, 16, {"Linha [LINE#]"});
      band(page, "GroupFoot", btGroupFooter, 100, 20);
      memo(page, "GroupEnd", 0, 102, 300, 16, {"Fim do grupo"});
      break;
    case BandTemplate::CrossTab: {
      band(page, "Head", btPageHeader, 0, 20).Flags = bfOnFirstPage;
      band(page, "Data", btMasterData, 40, 20, "3").Flags = bfStretched;
      band(page, "Foot", btMasterFooter, 80, 20);
      placeBand(page, "CrossHead", btCrossHeader, 0, 1000, 100, {}).Left = 0;
      placeBand(page, "CrossData", btCrossData, 0, 1000, 80, "4").Left = 120;
      placeBand(page, "CrossFoot", btCrossFooter, 0, 1000, 80, {}).Left = 220;
      memo(page, "RowTitle", 10, 42, 80, 16, {"Linha [LINE#]"});
      memo(page, "ColTitle", 125, 2, 70, 16, {"Coluna [COLUMN#]"});
      memo(page, "Cell", 125, 42, 70, 16, {"[LINE# * COLUMN#]"}).Flags |= flStretched;
      memo(page, "ColTotal", 125, 82, 70, 16, {"[SUM(LINE# * COLUMN#)]"});
      memo(page, "RowTotal", 225, 42, 70, 16, {"[SUM(LINE# * COLUMN#)]"});
      break;
    }
    case BandTemplate::SplitText: {
      std::vector<std::string> lines;
      for (int i = 1; i <= 150; ++i) lines.push_back("linha " + std::to_string(i));
      band(page, "Data", btMasterData, 40, 30, "1").Flags = bfStretched | bfBreaked;
      memo(page, "Long", 0, 40, 400, 30, std::move(lines));
      break;
    }
    case BandTemplate::EndlessPages:
      band(page, "Data", btMasterData, 40, 25, "50000000").Flags = bfFormNewPage;
      memo(page, "Row", 0, 42, 300, 20, {"Linha [LINE#]"});
      break;
    case BandTemplate::DensePages:
      band(page, "Data", btMasterData, 40, 10, "50000000");
      for (int i = 0; i < 6; ++i)
        memo(page, "Cell" + std::to_string(i), i * 110, 40, 100, 10,
             {"[LINE# * " + std::to_string(7919 + i * 104729) + "]"});
      break;
    case BandTemplate::EndlessRecords:
      band(page, "Data", btMasterData, 40, 0, "50000000");
      break;
    case BandTemplate::EndlessScript:
      band(page, "Data", btMasterData, 40, 25, "1");
      memo(page, "Row", 0, 42, 300, 20, {"Linha [LINE#]"}).BeforePrintScript = {
          "begin", "  i := 0;", "  while 1 = 1 do i := i + 1;", "end"};
      break;
    case BandTemplate::StuckSplit:
      band(page, "Data", btMasterData, 40, 5000, "1").Flags = bfBreaked;
      place<TfrLineView>(page, "Tall", 10, 40, 0, 5000);
      break;
    case BandTemplate::ChartPoints: {
      // Small text, so that the chart's limit comes before the page limit.
      band(page, "Data", btMasterData, 40, 4, "50000000");
      memo(page, "Label", 0, 40, 100, 4, {"[LINE#]"});
      memo(page, "Value", 100, 40, 100, 4, {"[LINE# * 2]"});
      band(page, "Summary", btReportSummary, 100, 300);
      auto& c = place<TfrChartView>(page, "Chart", 0, 100, 600, 300);
      c.LegendObject = "Label";
      c.ValueObject = "Value";
      break;
    }
  }
}

bool bandTemplateByName(const std::string& name, BandTemplate& kind) {
  static const std::pair<const char*, BandTemplate> names[] = {
      {"title", BandTemplate::Title},
      {"five", BandTemplate::FiveRecords},
      {"pages", BandTemplate::PageBands},
      {"groups", BandTemplate::Groups},
      {"split", BandTemplate::SplitText},
      {"cross", BandTemplate::CrossTab},
      {"endless-pages", BandTemplate::EndlessPages},
      {"dense-pages", BandTemplate::DensePages},
      {"endless-records", BandTemplate::EndlessRecords},
      {"endless-script", BandTemplate::EndlessScript},
      {"stuck-split", BandTemplate::StuckSplit},
      {"chart-points", BandTemplate::ChartPoints}};
  for (const auto& [n, k] : names)
    if (name == n) {
      kind = k;
      return true;
    }
  return false;
}

void buildOrdersListing(TfrReport& report) {
  TfrPage& page = a4(report);
  band(page, "PageHeader", btPageHeader, 0, 24).Flags = bfOnFirstPage;
  memo(page, "HeaderText", 0, 2, 400, 18, {"Pedidos por cidade - p\xE1gina [PAGE#]"});
  band(page, "CityHeader", btGroupHeader, 40, 22, "[Orders.\"CITY\"]");
  memo(page, "CityTitle", 0, 42, 400, 18, {"Cidade: [CITY] ([CITY_COUNT] pedidos)"});
  band(page, "Orders", btMasterData, 80, 18, "Orders");
  memo(page, "OrderId", 20, 80, 80, 16, {"[ID]"});
  memo(page, "OrderCustomer", 110, 80, 300, 16, {"[CUSTOMER]"});
  memo(page, "OrderAmount", 420, 80, 120, 16, {"[Orders.\"AMOUNT\"]"});
  band(page, "CityFooter", btGroupFooter, 120, 22);
  memo(page, "CityEnd", 0, 122, 500, 18, {"Fim de [CITY]: \xFAltimo pedido [ID]"});
  band(page, "PageFooter", btPageFooter, 1000, 24).Flags = bfOnFirstPage | bfOnLastPage;
  memo(page, "FooterText", 0, 1002, 300, 18, {"P\xE1gina [PAGE#]"});
}

void buildSalesListing(TfrReport& report) {
  TfrPage& page = a4(report);
  constexpr int32_t kDate = 0x02040000;
  constexpr int32_t kWhole = 0x01000000 + ',';
  constexpr int32_t kMoney = 0x01010000 + 2 * 256 + ',';
  constexpr int32_t kGroupedMoney = 0x01030000 + 2 * 256 + ',';
  band(page, "PageHeader", btPageHeader, 0, 44).Flags = bfOnFirstPage;
  memo(page, "Title", 0, 2, 540, 20, {"Vendas do per\xEDodo"}).Font.Style = ViewFont::Bold;
  memo(page, "HCode", 0, 24, 70, 18,
       {"C\xF3"
        "digo"});
  memo(page, "HCustomer", 80, 24, 200, 18, {"Cliente"});
  memo(page, "HDay", 290, 24, 80, 18, {"Data"});
  memo(page, "HQty", 380, 24, 60, 18, {"Qtde"}).Alignment = frtaRight;
  memo(page, "HAmount", 450, 24, 90, 18, {"Valor"}).Alignment = frtaRight;
  band(page, "Sales", btMasterData, 60, 18, "Sales");
  memo(page, "Code", 0, 60, 70, 16, {"[CODE]"});
  memo(page, "Customer", 80, 60, 200, 16, {"[CUSTOMER]"});
  TfrMemoView& day = memo(page, "Day", 290, 60, 80, 16, {"[DAY]"});
  day.Format = kDate;
  day.FormatStr = "dd/mm/yyyy";
  TfrMemoView& qty = memo(page, "Qty", 380, 60, 60, 16, {"[QTY]"});
  qty.Format = kWhole;
  qty.Alignment = frtaRight;
  TfrMemoView& amount = memo(page, "Amount", 450, 60, 90, 16, {"[AMOUNT]"});
  amount.Format = kMoney;
  amount.Alignment = frtaRight;
  band(page, "Summary", btReportSummary, 100, 22);
  memo(page, "TotalLabel", 80, 102, 200, 18, {"Total geral"}).Font.Style = ViewFont::Bold;
  TfrMemoView& qtyTotal = memo(page, "QtyTotal", 380, 102, 60, 18, {"[SUM([QTY])]"});
  qtyTotal.Format = kWhole;
  qtyTotal.Alignment = frtaRight;
  TfrMemoView& total = memo(page, "AmountTotal", 450, 102, 90, 18, {"[SUM([AMOUNT])]"});
  total.Format = kGroupedMoney;
  total.Alignment = frtaRight;
  total.Font.Style = ViewFont::Bold;
  band(page, "PageFooter", btPageFooter, 1000, 24).Flags = bfOnFirstPage | bfOnLastPage;
  memo(page, "FooterText", 0, 1002, 300, 18, {"P\xE1gina [PAGE#]"});
}

}  // namespace orv::tools
