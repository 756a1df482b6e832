// One line of table text, read the way the import reads it: split at ","
// with quoted items, then each item turned into a value of its field.
#pragma once

#include <string_view>
#include <vector>

#include "store/mt.h"

namespace wendul {

// Splits the line into items; an unclosed quote raises GeneralError.
void SplitTableTextLine(std::string_view line, std::vector<SjisString>* items);

// The item as a value of the field: text no longer than the field, a decimal
// number, a date-time in dateFormat (empty: the fixed Japanese form). An
// empty item and a memo are empty values. Anything else raises GeneralError.
FieldValue TableTextValue(const SjisString& item, const FieldInfo& field, const std::string& dateFormat);

}  // namespace wendul
