// One record of table text, read the way the import reads it and written the
// way the export writes it: split at "," with quoted items, then each item
// turned into a value of its field.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/mt.h"

namespace wendul {

// Splits a record into items. A quoted item runs to its closing quote, which
// is followed by one separator; inside it a doubled quote stands for one
// quote, and "," and line breaks are part of the item. False when the record
// ends inside a quoted item: its next line belongs to it, or the quote is
// never closed. Strict, every closing quote must be followed by "," or the
// end, as the export writes it (a record read over several lines is taken
// only so).
bool SplitTableTextRecord(std::string_view record, std::vector<SjisString>* items, bool strict = false);
// The same for a record known to be whole: an unclosed quote raises
// GeneralError ("\"の数が合いません").
void SplitTableTextLine(std::string_view line, std::vector<SjisString>* items);

// Appends a value between double quotes, each quote in it doubled.
void AppendQuotedItem(std::string& out, std::string_view value);

// The item as a value of the field: text no longer than the field, a decimal
// number, a date-time in dateFormat (empty: the fixed Japanese form). An
// empty item and a memo are empty values. Anything else raises GeneralError.
FieldValue TableTextValue(const SjisString& item, const FieldInfo& field, const std::string& dateFormat);

}  // namespace wendul
