#include "engine/engine_globals.h"

#include <QString>

#include "engine/functions.h"
#include "model/factory.h"
#include "platform/codepage.h"
#include "platform/strings.h"

namespace orv {

namespace {

template <size_t N>
std::array<std::string, N> names(const std::array<const char*, N>& utf8) {
  std::array<std::string, N> r;
  for (size_t i = 0; i < N; ++i) r[i] = encodeText(QString::fromUtf8(utf8[i]), 1252);
  return r;
}

template <size_t N>
std::array<std::string, N> strings(int first) {
  std::array<std::string, N> r;
  for (size_t i = 0; i < N; ++i) r[i] = loadString8(first + static_cast<int>(i));
  return r;
}

}  // namespace

EngineGlobals::EngineGlobals() {
  Format.ShortMonthNames = names<12>(
      {"Jan", "Fev", "Mar", "Abr", "Mai", "Jun", "Jul", "Ago", "Set", "Out", "Nov", "Dez"});
  Format.LongMonthNames =
      names<12>({"Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho", "Julho", "Agosto",
                 "Setembro", "Outubro", "Novembro", "Dezembro"});
  Format.ShortDayNames = names<7>({"Dom", "Seg", "Ter", "Qua", "Qui", "Sex", "Sáb"});
  Format.LongDayNames = names<7>({"Domingo", "Segunda-feira", "Terça-feira", "Quarta-feira",
                                  "Quinta-feira", "Sexta-feira", "Sábado"});
  Tables.DateFormats = strings<4>(55175);
  Tables.TimeFormats = strings<4>(55179);
  Tables.BoolFormats = strings<4>(55170);
  Variables.setSorted(true);
  fillGlobalConstants(Constants);
}

std::string TfrLocale::LoadStr(int id) const {
  if (OnLocalize) {
    std::string text = OnLocalize(id);
    if (!text.empty()) return text;
  }
  return loadString8(id);
}

TfrLocale& frLocale() {
  static TfrLocale locale;
  return locale;
}

EngineGlobals& engineGlobals() {
  static EngineGlobals g;
  return g;
}

const TfrVariables& globalConstants() {
  EngineGlobals& g = engineGlobals();
  const std::vector<ClassConstant>& defined = factoryState().Constants;
  for (; g.ClassConstantsTaken < defined.size(); ++g.ClassConstantsTaken) {
    const ClassConstant& c = defined[g.ClassConstantsTaken];
    if (g.Constants.IndexOf(c.Name) < 0)
      g.Constants.setValue(c.Name, Variant(static_cast<int64_t>(c.Value)));
  }
  return g.Constants;
}

DecimalSeparatorScope::DecimalSeparatorScope(char separator)
    : saved_(engineGlobals().Format.DecimalSeparator) {
  engineGlobals().Format.DecimalSeparator = separator;
}

DecimalSeparatorScope::~DecimalSeparatorScope() {
  engineGlobals().Format.DecimalSeparator = saved_;
}

}  // namespace orv
