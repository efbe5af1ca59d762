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
