#include "prepared/frp_error.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>

#include "model/factory.h"
#include "model/stream.h"
#include "platform/codepage.h"
#include "platform/file_write.h"
#include "platform/fill_in.h"

namespace orv {

namespace {

struct Phrase {
  const char* english;
  const char* portuguese;
};

// What the reader was reading when the data ran out, as it names it.
constexpr Phrase kFields[] = {
    {"file version", "a versão do arquivo"},
    {"compression flag", "o indicador de compressão"},
    {"printer name length", "o tamanho do nome da impressora"},
    {"printer name", "o nome da impressora"},
    {"printer name terminator", "o fim do nome da impressora"},
    {"printer names", "os nomes das impressoras"},
    {"page count", "o número de páginas"},
    {"page end offset", "o fim do registro da página"},
    {"paper size", "o tamanho do papel"},
    {"paper width", "a largura do papel"},
    {"paper height", "a altura do papel"},
    {"orientation", "a orientação"},
    {"paper bin", "a bandeja do papel"},
    {"margins flag", "o indicador de margens"},
    {"margins", "as margens"},
    {"page data", "os dados da página"},
    {"page metafile", "o metarquivo da página"},
    {"generator version", "a versão do gerador"},
    {"stream version", "a versão do fluxo"},
    {"seek target", "o destino do salto"},
    {"object type", "o tipo do objeto"},
    {"object flags", "os indicadores do objeto"},
    {"object geometry", "a posição do objeto"},
    {"record version", "a versão do registro"},
    {"string", "um texto"},
    {"string length", "o tamanho de um texto"},
    {"text lines", "as linhas do texto"},
    {"line count", "o número de linhas"},
    {"line length", "o tamanho da linha"},
    {"line", "uma linha"},
    {"font size", "o tamanho da fonte"},
    {"font style", "o estilo da fonte"},
    {"font colour", "a cor da fonte"},
    {"character set", "o conjunto de caracteres"},
    {"fill colour", "a cor de preenchimento"},
    {"frame width", "a largura da moldura"},
    {"frame colour", "a cor da moldura"},
    {"frame style", "o estilo da moldura"},
    {"frame type", "o tipo da moldura"},
    {"display format", "o formato de exibição"},
    {"picture kind", "o tipo da figura"},
    {"picture end position", "o fim da figura"},
    {"barcode", "o código de barras"},
    {"barcode text", "o texto do código de barras"},
    {"barcode type", "o tipo do código de barras"},
};

// The reasons in each language, by code. %1, %2 stand for the facts the code
// names, in the order given.
struct Reason {
  FrpReason code;
  const char* english;
  const char* portuguese;
};

constexpr Reason kReasons[] = {
    {FrpReason::EndOfData, "unexpected end of data reading %1",
     "fim inesperado dos dados ao ler %1"},
    {FrpReason::EndOffsetOutside, "end offset %1 lies outside the file",
     "o fim do registro (%1) fica fora do arquivo"},
    {FrpReason::PageCountDoesNotFit, "page count %1 does not fit the file",
     "o número de páginas (%1) não cabe no arquivo"},
    {FrpReason::TooManyPages, "page count %1 is more than the %2 pages a report may hold",
     "o número de páginas (%1) passa das %2 que um relatório pode ter"},
    {FrpReason::PagesNeedTooMuchMemory, "the pages would need more than %1 GiB of memory",
     "as páginas precisariam de mais de %1 GiB de memória"},
    {FrpReason::PageWouldExpandTooFar, "page data would expand beyond the limit of %1 MiB",
     "os dados da página passariam do limite de %1 MiB"},
    {FrpReason::PageTooLarge, "page data is larger than the limit of %1 MiB",
     "os dados da página passam do limite de %1 MiB"},
    {FrpReason::UnknownObjectCode, "unknown object type code %1",
     "tipo de objeto desconhecido (código %1)"},
    {FrpReason::UnknownObjectClass, "unknown object type %1", "tipo de objeto desconhecido: %1"},
    {FrpReason::ReadFailed, "read error: %1", "erro de leitura: %1"},
    {FrpReason::SystemError, "%1", "%1"},
    {FrpReason::PageDataOutOfRange, "page data out of range", "dados da página fora do arquivo"},
    {FrpReason::FileChanged, "the file has changed since it was opened",
     "o arquivo mudou desde que foi aberto"},
    {FrpReason::NoMemoryForReport, "not enough memory to hold the report",
     "memória insuficiente para o relatório"},
    {FrpReason::IsDirectory, "is a directory", "é uma pasta, não um arquivo"},
    {FrpReason::NotRegularFile, "not a regular file", "não é um arquivo comum"},
    {FrpReason::FileTooLarge, "the file is larger than the format allows",
     "o arquivo é maior do que o formato permite"},
    {FrpReason::CompressedDataDamaged, "Error reading compressed stream.",
     "Erro ao ler os dados compactados."},
    {FrpReason::CompressedWriteFailed, "Error writing compressed stream.",
     "Erro ao gravar os dados compactados."},
    {FrpReason::ReportTooLargeForFormat, "the report is too large for the file format",
     "o relatório é grande demais para o formato do arquivo"},
    {FrpReason::CannotWriteImage, "cannot write the image", "não foi possível gravar a imagem"},
    {FrpReason::CannotWritePdf, "cannot write the PDF", "não foi possível gravar o PDF"},
    {FrpReason::CannotWriteSpreadsheet, "cannot write the spreadsheet: %1",
     "não foi possível gravar a planilha: %1"},
    {FrpReason::ImageTooLarge, "the image would be too large", "a imagem seria grande demais"},
    {FrpReason::NoMemoryForImage, "not enough memory for the image",
     "memória insuficiente para a imagem"},
    {FrpReason::TemporaryFileFailed, "cannot keep the pages in a temporary file in %1: %2",
     "não foi possível guardar as páginas num arquivo temporário em %1: %2"},
    {FrpReason::Other, "%1", "%1"},
};

const Reason& reasonFor(FrpReason code) {
  for (const Reason& r : kReasons)
    if (r.code == code) return r;
  return kReasons[std::size(kReasons) - 1];
}

// The system's error texts, by their number; a number the table lacks keeps
// the system's own words.
std::string systemError(int error) {
  constexpr struct {
    int code;
    const char* portuguese;
  } kErrors[] = {
      {ENOENT, "arquivo não encontrado"},
      {EACCES, "permissão negada"},
      {EPERM, "operação não permitida"},
      {EISDIR, "é uma pasta, não um arquivo"},
      {EIO, "erro de entrada e saída"},
      {ENOMEM, "memória insuficiente"},
      {EMFILE, "arquivos abertos demais"},
      {ENAMETOOLONG, "nome de arquivo longo demais"},
      {ELOOP, "ligações simbólicas demais no caminho"},
      {ENOTDIR, "uma parte do caminho não é uma pasta"},
      {ENOSPC, "não há espaço livre no disco"},
      {EDQUOT, "a cota de disco foi excedida"},
      {EROFS, "o sistema de arquivos é somente leitura"},
      {EFBIG, "o arquivo ficaria grande demais"},
  };
  for (const auto& e : kErrors)
    if (error == e.code) return e.portuguese;
  return std::strerror(error);
}

// Reasons are mostly ASCII; a file's own bytes inside them (a class name) may
// be in the reports' code page rather than UTF-8.
QString decodeReason(const std::string& reason) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8(QByteArrayView(reason.data(), qsizetype(reason.size())));
  return utf8.hasError() ? decodeBytes(reason, 1252) : text;
}

std::string field(const std::string& english) {
  for (const Phrase& f : kFields)
    if (english == f.english) return f.portuguese;
  std::string quoted = "\"";
  quoted += decodeReason(english).toStdString();
  quoted += '"';
  return quoted;
}

// A reason that goes on a sentence ("página 3: erro ao ler…") takes a small
// letter, unless it starts a name in capitals.
QString goingOn(QString text) {
  if (text.size() > 1 && text[0].isUpper() && text[1].isLower()) text[0] = text[0].toLower();
  return text;
}

// The facts that fill a reason's places, in UTF-8.
struct Facts {
  Facts(std::string first, std::string second = {}) : texts{std::move(first), std::move(second)} {}
  std::string texts[2];
};

Facts factsOf(const FrpProblem& p, bool portuguese) {
  switch (p.reason) {
    case FrpReason::EndOfData:
      if (!portuguese)
        return {p.structure + (p.offset >= 0 ? " at offset " + std::to_string(p.offset) : "")};
      return {field(p.structure) +
              (p.offset >= 0 ? " na posição " + std::to_string(p.offset) : "")};
    case FrpReason::ReadFailed:
      // The system's words, as the reader has always put them here.
      return {std::strerror(p.error)};
    case FrpReason::SystemError:
      return {portuguese ? systemError(p.error) : std::strerror(p.error)};
    case FrpReason::TemporaryFileFailed:
      return {portuguese ? decodeReason(p.structure).toStdString() : p.structure,
              portuguese ? systemError(p.error) : std::strerror(p.error)};
    case FrpReason::UnknownObjectClass:
    case FrpReason::Other:
      return {portuguese ? decodeReason(p.structure).toStdString() : p.structure};
    case FrpReason::PagesNeedTooMuchMemory:
    case FrpReason::PageWouldExpandTooFar:
    case FrpReason::PageTooLarge:
      return {std::to_string(p.limit)};
    default:
      return {std::to_string(p.value), std::to_string(p.limit)};
  }
}

}  // namespace

std::string englishReason(const FrpProblem& p) {
  const Facts f = factsOf(p, false);
  const std::string text = fillIn(reasonFor(p.reason).english, f.texts);
  return p.page > 0 ? "page " + std::to_string(p.page) + ": " + text : text;
}

QString portugueseReason(const FrpProblem& p) {
  const Facts f = factsOf(p, true);
  const QString text = QString::fromStdString(fillIn(reasonFor(p.reason).portuguese, f.texts));
  if (p.page <= 0) return text;
  return QString::fromUtf8("página %1: %2").arg(p.page).arg(goingOn(text));
}

FrpProblem problemOf(const std::exception& e) {
  if (const auto* f = dynamic_cast<const PreparedFileError*>(&e)) return f->problem;
  if (const auto* p = dynamic_cast<const PreparedError*>(&e)) return p->problem;
  if (const auto* s = dynamic_cast<const StreamError*>(&e); s && !s->structure.empty())
    return FrpProblem(FrpReason::EndOfData).about(s->structure).atOffset(int64_t(s->offset));
  if (const auto* u = dynamic_cast<const UnknownTypeCodeError*>(&e))
    return FrpProblem(FrpReason::UnknownObjectCode).found(u->code);
  if (const auto* w = dynamic_cast<const FileWriteError*>(&e))
    return FrpProblem(FrpReason::SystemError).because(w->error);
  return FrpProblem(FrpReason::Other).about(e.what());
}

QString portugueseReason(const std::exception& e) {
  return portugueseReason(problemOf(e));
}

QString portugueseReasonAfterPage(const std::exception& e) {
  FrpProblem p = problemOf(e);
  const bool onPage = p.page > 0;
  p.page = 0;
  const QString text = portugueseReason(p);
  return onPage ? goingOn(text) : text;
}

QString portugueseMessage(const std::exception& e) {
  if (const auto* f = dynamic_cast<const PreparedFileError*>(&e))
    return QFile::decodeName(f->file.c_str()) + ": " + portugueseReason(f->problem);
  if (const auto* w = dynamic_cast<const FileWriteError*>(&e))
    return QFile::decodeName(w->file.c_str()) + ": " +
           QString::fromStdString(systemError(w->error));
  return portugueseReason(e);
}

}  // namespace orv
