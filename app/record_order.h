// The display order of a page's grid: record positions of the table's filtered order sorted by a key
// made of the sort column's text and the identifier. Identifiers are padded with "0" to five digits
// (longer ones are not), so the order follows the text of the identifier; keys compare without
// regard to letter case in the user's locale.
//
// Thread-safety: takes the table's lock for the whole walk; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TBaseClient;

// Sort field 0: the identifier; 1, 2, 3: the table's columns 7, 9 and 8 followed by the identifier;
// anything else: no order at all (every key is empty).
std::vector<int32_t> SortedPositions(TBaseClient& table, int sortField);

// A page's grid rebuild: hands `show` the display order while the table's lock is held, so that the
// grid and the detail panel get it before the client thread can change the records. A missing
// table, or one being added to or edited, is skipped: the client reports it again when it leaves
// that mode.
void ShowSortedPositions(TBaseClient* table, int sortField,
                         const std::function<void(std::vector<int32_t>)>& show);
