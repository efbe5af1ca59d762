#include "engine/compiled_expression.h"

#include "engine/parser.h"

namespace orv {

const TfrCompiledExpression* TfrExpressionCache::find(Map& map, Last& last, std::string_view key) {
  if (last.key && *last.key == key) return last.expression;
  auto it = map.find(key);
  if (it == map.end()) return nullptr;
  last = {&it->first, it->second.get()};
  return last.expression;
}

const TfrCompiledExpression* TfrExpressionCache::insert(Map& map, Last& last, std::string_view key,
                                                        std::string_view postfix) {
  if (full()) return nullptr;
  auto compiled = std::make_unique<TfrCompiledExpression>(postfix);
  bytes_ += key.size() + postfix.size();
  auto it = map.emplace(std::string(key), std::move(compiled)).first;
  last = {&it->first, it->second.get()};
  return last.expression;
}

const TfrCompiledExpression* TfrExpressionCache::byInfix(std::string_view expression) {
  if (const TfrCompiledExpression* e = find(infix_, lastInfix_, expression)) return e;
  if (full()) return nullptr;
  return insert(infix_, lastInfix_, expression, TfrParser::ToPostfix(expression));
}

const TfrCompiledExpression* TfrExpressionCache::byPostfix(std::string_view postfix) {
  if (const TfrCompiledExpression* e = find(postfix_, lastPostfix_, postfix)) return e;
  return insert(postfix_, lastPostfix_, postfix, postfix);
}

void TfrExpressionCache::clear() {
  infix_.clear();
  postfix_.clear();
  lastInfix_ = Last();
  lastPostfix_ = Last();
  bytes_ = 0;
}

}  // namespace orv
