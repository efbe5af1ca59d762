#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/compiled_expression.h"
#include "model/variant.h"

namespace orv {

class TfrReportRun;
class TfrView;
class TfrBand;

// How one run answers for names and values: the parser's name hook (the
// report's own event, the data dictionary, the special variables, report
// variables, fields of the current data level, objects' properties, the
// constants, and last a name read as an expression), the bracketed
// expressions and highlight conditions of the objects being written, and the
// expressions of the run, each converted once.
//
// A name is decided once into an entry that keeps what cannot change during
// the run (whether the dictionary or a special variable owns it, whether a
// constant of that name exists); what can change from record to record
// (report variables defined later, the fields of the band's data set) is
// still looked up at every evaluation, in the same order.
class TfrRunNames {
 public:
  explicit TfrRunNames(TfrReportRun& run);
  TfrRunNames(const TfrRunNames&) = delete;
  TfrRunNames& operator=(const TfrRunNames&) = delete;

  // The parser's name hook.
  void GetValue(const std::string& name, Variant& value);
  // The parser's resolver: an entry for a name, then its value.
  int32_t Resolve(const std::string& name);
  void ValueOf(int32_t entry, const std::string& name, Variant& value);

  // A text with each bracketed expression replaced by its value, formatted
  // as the object says unless the expression carries a format of its own.
  void ExpandExpressions(TfrView& view, std::string& text);
  // The same, appended to `out`; `text` is read whole before any expression
  // runs, so it may be a line that an expression changes.
  void AppendExpanded(TfrView& view, const std::string& text, std::string& out);
  // A text object's highlight condition, converted when its page starts.
  void AddHighlight(const TfrView& view, const std::string& condition);
  bool EvaluateCondition(TfrView& view, const std::string& condition);
  bool Evaluate(TfrView& view, std::string_view expression, Variant& value);
  // A group header's condition for the current record.
  Variant GroupValue(const TfrBand& group);
  // Forgets what belonged to the template's objects, at the end of the run.
  void ClearObjects() { highlights_.clear(); }

  TfrExpressionCache& Expressions() { return expressions_; }

  // The band whose line numbers LINE# and LINETHROUGH# give.
  TfrBand* LineBand() const;

 private:
  // What of a name's resolution holds for the whole run.
  struct Entry {
    enum class Dictionary : uint8_t { Never, Maybe, Always };
    Dictionary dictionary = Dictionary::Never;
    int8_t special = -1;      // one of the names that come before report variables
    int8_t lateSpecial = -1;  // one of those after them
    bool dotted = false;      // may name an object's property
    bool constant = false;
  };
  Entry decide(const std::string& name) const;
  void valueOf(const Entry& e, const std::string& name, Variant& value);
  void special(int index, Variant& value);
  void lateSpecial(int index, Variant& value);
  bool fieldValue(const std::string& name, Variant& value);
  bool objectProperty(const std::string& name, Variant& value);
  void nameAsExpression(const std::string& name, Variant& value);

  // A text split once into what it says literally and its bracketed
  // expressions, each expression's name resolved: the same texts are
  // expanded for every record.
  struct Piece {
    std::string literal;     // copied before the expression
    std::string expression;  // as written between the brackets
    std::string name;        // the expression without an inline format
    std::string broken;      // the error of an unclosed bracket, thrown here
    int32_t entry = -1;
    bool inlineFormat = false;
    bool last = false;  // literal only, the rest of the text
  };
  using Pieces = std::vector<Piece>;
  Pieces splitText(const std::string& text);
  void appendPiece(std::string& out, TfrView& view, const Piece& piece);

  TfrReportRun& run_;
  TfrExpressionCache expressions_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, int32_t> byName_;
  std::map<const TfrView*, const TfrCompiledExpression*> highlights_;
  std::unordered_map<std::string, Pieces> texts_;
  std::string resolving_;
};

}  // namespace orv
