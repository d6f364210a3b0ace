#include "query/query.h"

#include <string>

#include "common/text_compare.h"

namespace morlan {

QueryField& Query::AddField(std::string_view expression, std::string_view picture,
                            std::uint8_t flag) {
  QueryField& field = fields_.emplace_back();
  field.EXPRESSION = std::string(expression);
  field.PICTURE = std::string(picture);
  field.FLAG = flag;
  return field;
}

QueryField* Query::Find(std::string_view expression) {
  for (QueryField& field : fields_) {
    if (EqualsNoCase(field.EXPRESSION, expression)) return &field;
  }
  return nullptr;
}

void Query::ClearValues() {
  for (QueryField& field : fields_) {
    field.LOW.Clear();
    field.VALUE.Clear();
    field.HIGH.Clear();
  }
}

}  // namespace morlan
