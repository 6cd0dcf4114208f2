// Applying a new data text to a working copy of a component's data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ved_read.h"
#include "ved_scan.h"

// Paths ("<Item>" or "<Item><Member>") of the elements that the new data
// text holds for defined items but that did not become records: values the
// definition refused. Elements of undefined items are not listed (they are
// not applied, by design), nor members of structures given more than once.
std::vector<std::string> VedRefusedValues(vop_config_t* incoming,
                                          const std::vector<VedScanNode>& scanned);

// For each item defined for the incoming handle that holds exactly one
// record there: sets the working copy's first record of that item to the
// incoming value, creating the record from the item's default when the
// working copy has none. A structure item is replaced as a whole by a copy
// of the incoming structure (its members as scanned). Items that cannot be
// applied are skipped. Returns ERR_NO_MEMORY when the listing could not be
// allocated, else 0.
uint32_t VedApplyItems(vop_config_t* incoming, vop_config_t* working,
                       const std::vector<VedScanNode>& scanned);
