#include "prepared/frp_error.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/codepage.h"

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

// Whole reasons, and the patterns of reasons with numbers in them.
constexpr Phrase kReasons[] = {
    {"page data out of range", "dados da página fora do arquivo"},
    {"the file has changed since it was opened", "o arquivo mudou desde que foi aberto"},
    {"not enough memory to hold the report", "memória insuficiente para o relatório"},
    {"cannot write the image", "não foi possível gravar a imagem"},
    {"cannot write the PDF", "não foi possível gravar o PDF"},
    {"the image would be too large", "a imagem seria grande demais"},
    {"not enough memory for the image", "memória insuficiente para a imagem"},
    {"the report is too large for the file format",
     "o relatório é grande demais para o formato do arquivo"},
    {"is a directory", "é uma pasta, não um arquivo"},
    {"not a regular file", "não é um arquivo comum"},
    {"the file is larger than the format allows", "o arquivo é maior do que o formato permite"},
    {"Error reading compressed stream.", "Erro ao ler os dados compactados."},
    {"Error writing compressed stream.", "Erro ao gravar os dados compactados."},
    {"no memory for the hash table", "memória insuficiente para a compactação"},
};

constexpr Phrase kPatterns[] = {
    {"^unexpected end of data reading (.+) at offset (\\d+)$",
     "fim inesperado dos dados ao ler %1 na posição %2"},
    {"^unexpected end of data reading (.+)$", "fim inesperado dos dados ao ler %1"},
    {"^end offset (-?\\d+) lies outside the file$", "o fim do registro (%1) fica fora do arquivo"},
    {"^page count (-?\\d+) does not fit the file$", "o número de páginas (%1) não cabe no arquivo"},
    {"^page count (\\d+) is more than the (\\d+) pages a report may hold$",
     "o número de páginas (%1) passa das %2 que um relatório pode ter"},
    {"^the pages would need more than (\\d+) GiB of memory$",
     "as páginas precisariam de mais de %1 GiB de memória"},
    {"^page data would expand beyond the limit of (\\d+) MiB$",
     "os dados da página passariam do limite de %1 MiB"},
    {"^page data is larger than the limit of (\\d+) MiB$",
     "os dados da página passam do limite de %1 MiB"},
    {"^unknown object type code (\\d+)$", "tipo de objeto desconhecido (código %1)"},
    {"^unknown object type (.+)$", "tipo de objeto desconhecido: %1"},
    {"^read error: (.+)$", "erro de leitura: %1"},
};

// The system's error texts the reader passes on, by their number.
QString systemError(const std::string& text) {
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
    if (text == std::strerror(e.code)) return QString::fromUtf8(e.portuguese);
  return QString();
}

// Reasons are mostly ASCII; a file's own bytes inside them (a class name) may
// be in the reports' code page rather than UTF-8.
QString decodeReason(const std::string& reason) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8(QByteArrayView(reason.data(), qsizetype(reason.size())));
  return utf8.hasError() ? decodeBytes(reason, 1252) : text;
}

QString field(const QString& english) {
  for (const Phrase& f : kFields)
    if (english == QLatin1String(f.english)) return QString::fromUtf8(f.portuguese);
  return "\"" + english + "\"";
}

}  // namespace

QString portugueseReason(const std::string& reason) {
  // "page 2: ..." names the page first; the rest is a reason of its own.
  static const QRegularExpression page("^page (\\d+): (.*)$");
  const QString text = decodeReason(reason);
  if (const auto m = page.match(text); m.hasMatch()) {
    // The reason goes on the sentence: "página 3: erro ao ler…", with a small
    // letter unless it starts a name in capitals.
    QString rest = portugueseReason(m.captured(2).toStdString());
    if (rest.size() > 1 && rest[0].isUpper() && rest[1].isLower()) rest[0] = rest[0].toLower();
    return QString::fromUtf8("página %1: %2").arg(m.captured(1), rest);
  }
  for (const Phrase& p : kReasons)
    if (reason == p.english) return QString::fromUtf8(p.portuguese);
  if (QString s = systemError(reason); !s.isEmpty()) return s;
  for (const Phrase& p : kPatterns) {
    const QRegularExpression re(QString::fromLatin1(p.english));
    const auto m = re.match(text);
    if (!m.hasMatch()) continue;
    QString out = QString::fromUtf8(p.portuguese);
    for (int i = 1; i <= m.lastCapturedIndex(); ++i) {
      const bool isField = std::string_view(p.english).starts_with("^unexpected end") && i == 1;
      out = out.arg(isField ? field(m.captured(i)) : m.captured(i));
    }
    return out;
  }
  return text;
}

QString portugueseMessage(const std::exception& e) {
  if (const auto* f = dynamic_cast<const PreparedFileError*>(&e))
    return QFile::decodeName(f->file.c_str()) + ": " + portugueseReason(f->reason);
  return portugueseReason(e.what());
}

}  // namespace orv
