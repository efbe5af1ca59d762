#include "platform/strings.h"

#include <QByteArray>
#include <map>

namespace orv {

namespace {

const std::map<int, const char*>& table() {
  // UTF-8 texts; Brazilian Portuguese on purpose.
  static const std::map<int, const char*> t = {
      {101, "Report Orvalen 1.0"},
      {53000, "Localizar"},
      {53001, "Texto a &localizar"},
      {53002, "Opções"},
      {53003, "&Maiúsculas / minúsculas"},
      {53004, "Origem"},
      {53005, "Primeira &página"},
      {53006, "Página &atual"},
      {53020, "Largura da &página"},
      {53021, "Pá&gina Inteira"},
      {53022, "&Duas páginas"},
      {53023, "Fechar visualização"},
      {53024, "Zoom"},
      {53025, "Abrir relatório"},
      {53026, "Salvar relatório"},
      {53027, "Imprimir relatório"},
      {53028, "Localizar texto"},
      {53032, "Mostrar ajuda"},
      {53040, "Imprimir"},
      {53041, "Impressora"},
      {53042, "Propri&edades"},
      {53043, "Cópias"},
      {53044, "Intervalo de páginas"},
      {53045, "&Todas"},
      {53046, "&Página atual"},
      {53047, "Pa&ginas:"},
      {53048, "Separe com ',' e/ou '-' o intervalo de páginas a imprimir. Por exemplo: 1,3,5-12"},
      {53049, "&Nome:"},
      {53050, "Número de &copias:"},
      {53051, "Agrupar"},
      {53052, "Imp&rimir"},
      {53053, "Todas as páginas"},
      {53054, "Páginas ímpares"},
      {53055, "Páginas pares"},
      {55000, "OK"},
      {55001, "Cancelar"},
      {55004, "Página"},
      {55007, "Impressora Virtual"},
      // Display formats of text objects: 55150 + 5 * kind + sub-format are
      // the labels; the Boolean labels double as the Boolean texts.
      {55150, "[Nenhum]"},
      {55155, "1234,5"},
      {55156, "1234,50"},
      {55157, "1 234,5"},
      {55158, "1 234,50"},
      {55159, "Personalizado"},
      {55164, "Personalizado"},
      {55169, "Personalizado"},
      {55170, "0;1"},
      {55171, "No;Yes"},
      {55172, "_;x"},
      {55173, "False;True"},
      {55174, "Personalizado"},
      {55175, "mm.dd.yy"},
      {55176, "mm.dd.yyyy"},
      {55177, "d mmm yyyy"},
      {55178, "d mmmm yyyy"},
      {55179, "hh:nn:ss"},
      {55180, "h:nn:ss"},
      {55181, "hh:nn"},
      {55182, "h:nn"},
      {55199, "de"},
      {55200, "Ocorreu um erro durante o cálculo"},
      {55201, "Relatório:"},
      {55202, "Objeto:"},
      {55203, "Preparando relatório"},
      {55204, "Executando 1º passo:"},
      {55205, "Processando página:"},
      {55206, "Erro"},
      {55207, "Visualizar"},
      {55208, "Imprimindo página:"},
      {55209, "Sem título"},
      {55210, "Impressora selecionada não é válida"},
      {55211, "Arquivo de Relatório"},
      // The function list of the expression language: categories, then
      // "NAME(<arguments>)/what it does". These stay in English, like the
      // function names themselves.
      {55349, "Aggregate"},
      {55350, "String"},
      {55351, "Date and time"},
      {55352, "Math"},
      {55353, "Logical"},
      {55354, "Other"},
      {55355, "Interpreter"},
      {55360,
       "AVG(<Expression> [,<BandName> [,<Flag>]])/Returns the average of Expression over the "
       "records of the data band"},
      {55361, "COUNT(<BandName> [,<Flag>])/Returns the number of records of the data band"},
      {55362,
       "MAX(<Expression> [,<BandName> [,<Flag>]])/Returns the largest value of Expression over the "
       "records of the data band"},
      {55363,
       "MIN(<Expression> [,<BandName> [,<Flag>]])/Returns the smallest value of Expression over "
       "the records of the data band"},
      {55364,
       "SUM(<Expression> [,<BandName> [,<Flag>]])/Returns the sum of Expression over the records "
       "of the data band"},
      {55365,
       "COPY(<String>, <Position>, <Count>)/Returns Count characters of String starting at "
       "Position"},
      {55366, "FORMATTEXT(<Mask>, <String>)/Returns String formatted with the edit mask"},
      {55367, "LENGTH(<String>)/Returns the number of characters of String"},
      {55368, "LOWERCASE(<String>)/Returns String in lower case"},
      {55369,
       "NAMECASE(<String>)/Returns String in lower case with the first character in upper case"},
      {55370,
       "POS(<SubString>, <String>)/Returns the position of SubString in String, 0 if not found"},
      {55371, "STR(<Value>)/Returns Value converted to a string"},
      {55372, "TRIM(<String>)/Returns String without leading and trailing blanks"},
      {55373, "UPPERCASE(<String>)/Returns String in upper case"},
      {55374, "DATE/Returns the current date"},
      {55375, "DAYOF(<Date>)/Returns the day of the month of Date"},
      {55376, "FORMATDATETIME(<Format>, <DateTime>)/Returns DateTime formatted with Format"},
      {55377, "MONTHOF(<Date>)/Returns the month of Date"},
      {55378, "STRTODATE(<String>)/Converts String to a date"},
      {55379, "STRTOTIME(<String>)/Converts String to a time"},
      {55380, "TIME/Returns the current time"},
      {55381, "YEAROF(<Date>)/Returns the year of Date"},
      {55382, "FORMATFLOAT(<Format>, <Number>)/Returns Number formatted with Format"},
      {55383, "FRAC(<Number>)/Returns the fractional part of Number"},
      {55384, "INT(<Number>)/Returns the integer part of Number"},
      {55385, "MAXNUM(<Value1>, <Value2>)/Returns the larger of two values"},
      {55386, "MINNUM(<Value1>, <Value2>)/Returns the smaller of two values"},
      {55387, "MOD/Operator: X mod Y returns the remainder of X divided by Y"},
      {55388, "ROUND(<Number>)/Returns Number rounded to the nearest integer"},
      {55389, "AND/Operator: X and Y returns 'true' if both X and Y are 'true'"},
      {55390, "FALSE/Returns 'false'"},
      {55391,
       "IF(<Condition>, <Value1>, <Value2>)/Returns Value1 if Condition is 'true', else Value2"},
      {55392, "NOT/Operator: not X returns 'true' if X is 'false'"},
      {55393, "OR/Operator: X or Y returns 'true' if X or Y is 'true'"},
      {55394, "TRUE/Returns 'true'"},
      {55395, "CALCWIDTH/Returns the width of the current object's text"},
      {55396, "COLUMN#/Returns the current column number of a cross-tab band"},
      {55397, "CURRENT#/Returns the number of the current record on the page"},
      {55398, "LINE#/Returns the current line number of the band"},
      {55399, "LINETHROUGH#/Returns the line number of the band over the whole data set"},
      {55400, "PAGE#/Returns the current page number"},
      {55401, "TOTALPAGES/Returns the total number of pages (double-pass reports only)"},
      {55402, "VALUE/Returns the value being formatted or tested by the current object"},
      {55403, "INPUT(<Prompt>, <Default>)/Asks the user for a value and returns the text entered"},
      {55404,
       "MESSAGEBOX(<Text>, <Caption>, <Buttons>)/Shows a message box and returns the button "
       "pressed"},
      {55405, "CURY/Returns or sets the current vertical position on the page"},
      {55406, "DEC(<Variable>)/Decreases Variable by 1"},
      {55407, "FINALPASS/Returns 'true' during the final pass of the report"},
      {55408, "FREESPACE/Returns the free space left on the page"},
      {55409, "INC(<Variable>)/Increases Variable by 1"},
      {55410, "MODALRESULT/Sets the result that closes the dialog form"},
      {55411, "MRCANCEL/Dialog result of the Cancel button"},
      {55412, "MROK/Dialog result of the OK button"},
      {55413, "NEWCOLUMN/Starts a new column"},
      {55414, "NEWPAGE/Starts a new page"},
      {55415, "PAGEHEIGHT/Returns the height of the page's printable area"},
      {55416, "PAGEWIDTH/Returns the width of the page's printable area"},
      {55417, "PROGRESS/Shows the assigned text in the progress window"},
      {55418, "SHOWBAND(<BandName>)/Prints the band at once"},
      {55419, "STOPREPORT/Stops building the report"},
      {55620, "Database"},
      {55621, "FIELDISNULL(<FieldName>)/Returns 'true' if DB-field is null"},
      {55622, "Report info"},
      {55623, "REPORTCOMMENT/Returns report comment"},
      {55624, "REPORTNAME/Returns report name"},
      {55625, "REPORTAUTOR/Returns report author"},
      {55626, "VMAJOR/Returns report major version"},
      {55627, "VMINOR/Returns report minor version"},
      {55628, "VRELEASE/Returns report release"},
      {55629, "VBUILD/Returns report build"},
      {55630, "REPORTDATE/Returns report creation date"},
      {55631, "REPORTLASTCHANGE/Returns report last change date"},
      {55653, "Senha"},
      {55654, "Digite a senha para abrir o relatório"},
      {55655, "Digite novamente a senha para validação"},
  };
  return t;
}

}  // namespace

QString loadString(int id) {
  auto it = table().find(id);
  return it == table().end() ? QString() : QString::fromUtf8(it->second);
}

std::string loadString8(int id) {
  // The texts only use characters that Windows-1252 shares with Latin-1.
  const QByteArray b = loadString(id).toLatin1();
  return std::string(b.constData(), b.size());
}

}  // namespace orv
