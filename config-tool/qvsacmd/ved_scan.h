// Finds which items a new data text mentions: the element tree under its
// first top-level element, split into letters, segments and tags the way the
// configuration library's reader does it (names only, values are not read).
// The update uses it to notice values that the reader dropped because the
// definition refused them, and to find the members of structure items.
#pragma once

#include <string>
#include <vector>

struct VedScanNode {
  std::string name;
  std::vector<VedScanNode> children;  // nested elements, in document order
};

// The elements directly under the first top-level element, in document
// order, repeated names included. *has_element (when given) tells whether
// the text holds a top-level element at all.
std::vector<VedScanNode> VedScanItems(const std::string& text, bool* has_element = nullptr);
