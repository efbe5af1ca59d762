#include "engine/compiled_expression.h"

#include "engine/parser.h"

namespace orv {

const TfrCompiledExpression* TfrExpressionCache::insert(Map& map, std::string_view key,
                                                        std::string_view postfix) {
  if (size() >= kMaxEntries) return nullptr;
  auto compiled = std::make_unique<TfrCompiledExpression>(postfix);
  const TfrCompiledExpression* e = compiled.get();
  map.emplace(std::string(key), std::move(compiled));
  return e;
}

const TfrCompiledExpression* TfrExpressionCache::byInfix(std::string_view expression) {
  if (auto it = infix_.find(expression); it != infix_.end()) return it->second.get();
  if (size() >= kMaxEntries) return nullptr;
  return insert(infix_, expression, TfrParser::ToPostfix(expression));
}

const TfrCompiledExpression* TfrExpressionCache::byPostfix(std::string_view postfix) {
  if (auto it = postfix_.find(postfix); it != postfix_.end()) return it->second.get();
  return insert(postfix_, postfix, postfix);
}

void TfrExpressionCache::clear() {
  infix_.clear();
  postfix_.clear();
}

}  // namespace orv
