#include "printing/printer_options.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>

#include "platform/settings.h"

namespace orv {

namespace {
constexpr const char* kSettingsGroup = "OpcoesDaImpressora";

QStringList savedEntries(const QString& printerName) {
  return readerSettings()->value(QString(kSettingsGroup) + "/" + printerName).toStringList();
}
}  // namespace

std::vector<std::string> splitValues(const std::string& value) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= value.size()) {
    const size_t comma = std::min(value.find(',', start), value.size());
    if (comma > start) out.push_back(value.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

std::string joinValues(const std::vector<std::string>& values) {
  std::string out;
  for (const std::string& v : values) out += (out.empty() ? "" : ",") + v;
  return out;
}

bool offersValue(const PrinterOption& option, const std::string& value) {
  auto one = [&option](const std::string& v) {
    return std::any_of(
        option.choices.begin(), option.choices.end(),
        [&v](const PrinterOption::Choice& c) { return c.value == v && c.available; });
  };
  if (!option.pickMany) return one(value);
  const std::vector<std::string> values = splitValues(value);
  return !values.empty() && std::all_of(values.begin(), values.end(), one);
}

JobOptions savedPrinterOptions(PrinterBackend& backend, int index, const QString& printerName) {
  const QStringList saved = savedEntries(printerName);
  if (saved.isEmpty()) return {};
  const std::vector<PrinterOption> offered = backend.printerOptions(index);
  JobOptions options;
  for (const QString& entry : saved) {
    const qsizetype eq = entry.indexOf('=');
    if (eq <= 0) continue;
    const std::string name = entry.left(eq).toStdString();
    const std::string value = entry.mid(eq + 1).toStdString();
    auto it = std::find_if(offered.begin(), offered.end(),
                           [&name](const PrinterOption& o) { return o.name == name; });
    if (it != offered.end() && !it->installable && offersValue(*it, value))
      options.emplace_back(name, value);
  }
  return options;
}

void rememberPrinterOptions(const QString& printerName, const JobOptions& chosen) {
  QStringList entries;
  for (const auto& [name, value] : chosen)
    entries << QString::fromStdString(name) + "=" + QString::fromStdString(value);
  readerSettings()->setValue(QString(kSettingsGroup) + "/" + printerName, entries);
}

void restorePrinterOptions(PrinterBackend& backend, int index, const QString& printerName) {
  // Nothing remembered leaves what the printer holds for this run.
  if (savedEntries(printerName).isEmpty()) return;
  backend.setJobOptions(index, savedPrinterOptions(backend, index, printerName));
}

}  // namespace orv
