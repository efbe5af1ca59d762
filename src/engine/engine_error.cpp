#include "engine/engine_error.h"

#include <QString>
#include <iterator>
#include <string_view>

#include "platform/codepage.h"
#include "platform/fill_in.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"

namespace orv {

namespace {

constexpr int kCodePage = 1252;

// The heading and labels of a failed run's message.
constexpr int kErrorDuringCalc = 55200;
constexpr int kReportLabel = 55201;
constexpr int kObjectLabel = 55202;

// The reasons by code: frptool's words in the templates' code page, then the
// reader's in UTF-8. No Portuguese of its own means the reader shows
// frptool's words: they are Portuguese already, or the reader never meets
// the reason (a template file, a password). %1, %2 and %3 stand for the
// facts the code names, in the order given.
struct Reason {
  EngineReason code;
  const char* english;
  const char* portuguese;
};

constexpr Reason kReasons[] = {
    {EngineReason::EndOfData, "unexpected end of data reading %1 at offset %2",
     "fim inesperado dos dados ao ler %1 na posição %2"},
    {EngineReason::UnknownBlockMarker, "unknown block marker %1 at offset %2",
     "marcador de bloco desconhecido (%1) na posição %2"},
    {EngineReason::EndPositionNotAhead,
     "object end position %1 at offset %2 is not ahead within the stream",
     "o fim do objeto (%1), na posição %2, não fica adiante dentro dos dados"},
    {EngineReason::DictionaryListTooLong,
     "dictionary list of %1 entries at offset %2 does not fit the %3 bytes left",
     "a lista do dicionário, de %1 itens, na posição %2, não cabe nos %3 bytes que restam"},
    {EngineReason::PasswordOddDigits, "the template's password has an odd number of digits",
     "a senha do modelo tem um número ímpar de dígitos"},
    {EngineReason::PasswordNotHexadecimal, "the template's password is not hexadecimal",
     "a senha do modelo não está em dígitos hexadecimais"},
    {EngineReason::FormTemplateTooLong, "the form's template of %1 bytes exceeds the %2 bytes left",
     "o modelo do formulário, de %1 bytes, passa dos %2 bytes que restam"},
    {EngineReason::StreamVersionTooNew, "stream version %1 is newer than this program reads (%2)",
     "a versão do modelo (%1) é mais nova do que as que este programa lê (até %2)"},
    {EngineReason::WrongPassword, "wrong password", nullptr},
    {EngineReason::PasswordNeeded, "the template needs a password", nullptr},
    {EngineReason::FileUnreadable, "%1", nullptr},
    {EngineReason::StartupReportMissing, "the start-up report is missing",
     "o relatório de abertura não está no programa"},
    {EngineReason::ObjectsBeyondPage256, "a template keeps objects on its first 256 pages only",
     "um modelo só guarda objetos nas suas primeiras 256 páginas"},
    {EngineReason::UndefinedSymbol, "S\xEDmbolo indefinido \"%1\"", nullptr},
    {EngineReason::TooManyPages, "o relat\xF3rio passou de %1 p\xE1ginas e foi interrompido",
     nullptr},
    {EngineReason::PagesTooLarge, "o relat\xF3rio passou de %1 MB de p\xE1ginas e foi interrompido",
     nullptr},
    {EngineReason::TooManySteps,
     "o relat\xF3rio passou de %1 registros e faixas e foi interrompido", nullptr},
    {EngineReason::ObjectFitsNoPage,
     "o objeto \"%1\" n\xE3o cabe em nenhuma p\xE1gina: a divis\xE3o da banda n\xE3o avan\xE7"
     "a",
     nullptr},
    {EngineReason::HeadersDoNotFit,
     "as faixas de cabe\xE7"
     "alho e rodap\xE9 n\xE3o cabem na p\xE1gina",
     nullptr},
    {EngineReason::ScriptWithoutEnd,
     "o script foi interrompido depois de executar %1 linhas: parece n\xE3o terminar", nullptr},
    {EngineReason::MissingDataSet,
     "A banda \"%1\" usa o conjunto de dados \"%2\", que n\xE3o existe", nullptr},
    {EngineReason::DataSetUnavailable, "Unable to open dataset %1",
     "Não foi possível abrir o conjunto de dados %1"},
    {EngineReason::Other, "%1", nullptr},
};

const Reason& reasonFor(EngineReason code) {
  for (const Reason& r : kReasons)
    if (r.code == code) return r;
  return kReasons[std::size(kReasons) - 1];
}

// What the template reader was reading when the data ran out. Structures it
// shares with prepared reports (texts, lists) are named where those are.
struct Phrase {
  const char* english;
  const char* portuguese;
};

constexpr Phrase kStructures[] = {
    {"stream version", "a versão do modelo"},
    {"page list header", "o cabeçalho da lista de páginas"},
    {"block marker", "o marcador de bloco"},
    {"page record", "o registro da página"},
    {"paper code", "o código do papel"},
    {"paper width", "a largura do papel"},
    {"paper height", "a altura do papel"},
    {"page margins", "as margens da página"},
    {"page orientation", "a orientação da página"},
    {"paper bin", "a bandeja do papel"},
    {"page flags", "os indicadores da página"},
    {"page columns", "as colunas da página"},
    {"page column gap", "o espaço entre as colunas"},
    {"page kind", "o tipo da página"},
    {"page border style", "a borda do formulário"},
    {"page colour", "a cor do formulário"},
    {"page bounds", "os limites do formulário"},
    {"page position", "a posição do formulário"},
    {"dictionary list count", "o número de itens do dicionário"},
    {"dictionary marker", "o marcador do dicionário"},
    {"object page", "a página do objeto"},
    {"object end position", "o fim do objeto"},
    {"extension block", "o bloco de extensão"},
    {"report comment", "o comentário do relatório"},
    {"report name", "o nome do relatório"},
    {"report author", "o autor do relatório"},
    {"report version", "a versão do relatório"},
    {"report password", "a senha do relatório"},
    {"writer version", "a versão do gerador"},
    {"password flag", "o indicador de senha"},
    {"creation date", "a data de criação"},
    {"change date", "a data de alteração"},
    {"form data version", "a versão dos dados do formulário"},
    {"template length", "o tamanho do modelo"},
    {"template", "o modelo"},
};

const char* structureInPortuguese(const std::string& english) {
  for (const Phrase& p : kStructures)
    if (english == p.english) return p.portuguese;
  return nullptr;
}

// The facts that fill a reason's places, as the template holds them.
struct Facts {
  std::string texts[3];
};

Facts factsOf(const EngineProblem& p) {
  switch (p.reason) {
    case EngineReason::EndOfData:
      return {{p.structure, std::to_string(p.offset)}};
    case EngineReason::UnknownBlockMarker:
    case EngineReason::EndPositionNotAhead:
      return {{std::to_string(p.value), std::to_string(p.offset)}};
    case EngineReason::DictionaryListTooLong:
      return {{std::to_string(p.value), std::to_string(p.offset), std::to_string(p.limit)}};
    case EngineReason::FormTemplateTooLong:
    case EngineReason::StreamVersionTooNew:
      return {{std::to_string(p.value), std::to_string(p.limit)}};
    case EngineReason::TooManyPages:
    case EngineReason::PagesTooLarge:
    case EngineReason::TooManySteps:
    case EngineReason::ScriptWithoutEnd:
      return {{std::to_string(p.limit)}};
    case EngineReason::ObjectFitsNoPage:
      return {{p.object}};
    case EngineReason::MissingDataSet:
      return {{p.band, p.dataSet}};
    case EngineReason::DataSetUnavailable:
      return {{p.dataSet}};
    default:
      return {{p.name}};
  }
}

// A script stopped inside another's names each, the outermost first.
std::string withOwners(const EngineProblem& p, std::string text) {
  for (auto it = p.owners.rbegin(); it != p.owners.rend(); ++it) text = "\"" + *it + "\": " + text;
  return text;
}

}  // namespace

std::string englishText(const EngineProblem& p) {
  return withOwners(p, fillIn(reasonFor(p.reason).english, factsOf(p).texts));
}

QString portugueseText(const EngineProblem& p) {
  const Reason& r = reasonFor(p.reason);
  if (!r.portuguese) return decodeBytes(englishText(p), kCodePage);
  const char* structure = structureInPortuguese(p.structure);
  if (p.reason == EngineReason::EndOfData && !structure)
    return portugueseReason(FrpProblem(FrpReason::EndOfData).about(p.structure).atOffset(p.offset));
  // The facts are the template's bytes; the pattern is UTF-8.
  Facts f = factsOf(p);
  for (std::string& t : f.texts) t = decodeBytes(t, kCodePage).toStdString();
  if (p.reason == EngineReason::EndOfData) f.texts[0] = structure;
  QString text = QString::fromStdString(fillIn(r.portuguese, f.texts));
  for (auto it = p.owners.rbegin(); it != p.owners.rend(); ++it)
    text.prepend(QString("\"%1\": ").arg(decodeBytes(*it, kCodePage)));
  return text;
}

EngineProblem engineProblemOf(const std::exception& e) {
  if (const auto* engine = dynamic_cast<const EngineError*>(&e)) return engine->problem;
  if (const auto* stream = dynamic_cast<const EngineStreamError*>(&e)) return stream->problem;
  if (const auto* s = dynamic_cast<const StreamError*>(&e); s && !s->structure.empty())
    return EngineProblem(EngineReason::EndOfData).about(s->structure).atOffset(int64_t(s->offset));
  return EngineProblem(EngineReason::Other).named(e.what());
}

std::string englishText(const RunFailure& f) {
  if (!f.framed) return englishText(f.cause);
  std::string text = loadString8(kErrorDuringCalc);
  for (const std::string& line : f.lines) text += "\r" + line;
  text += "\r\r" + loadString8(kReportLabel) + " " + f.reportName + "\r";
  if (f.objectName) text += loadString8(kObjectLabel) + " " + *f.objectName + "\r";
  return text + "\r" + englishText(f.cause);
}

QString portugueseText(const RunFailure& f) {
  if (!f.framed) return portugueseText(f.cause);
  QString text = loadString(kErrorDuringCalc);
  for (const std::string& line : f.lines) text += "\r" + decodeBytes(line, kCodePage);
  text += "\r\r" + loadString(kReportLabel) + " " + decodeBytes(f.reportName, kCodePage) + "\r";
  if (f.objectName)
    text += loadString(kObjectLabel) + " " + decodeBytes(*f.objectName, kCodePage) + "\r";
  return text + "\r" + portugueseText(f.cause);
}

}  // namespace orv
