#include "ved_scan.h"

#include <cstddef>
#include <utility>

namespace {

// Byte length of the letter that starts with this byte (UTF-8 lead bytes up
// to six bytes; any other byte of 0x80 or more counts as a two-byte letter).
size_t LetterLength(unsigned char lead) {
  if ((lead & 0x80) == 0x00) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  if ((lead & 0xFC) == 0xF8) return 5;
  if ((lead & 0xFE) == 0xFC) return 6;
  return 2;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}

  // The next tag's text ("<...>"), skipping data; false at the end or at an
  // unterminated tag, which ends the document for the reader too.
  bool NextTag(std::string* tag) {
    while (pos_ < text_.size()) {
      const size_t len = Step();
      if (len == 1 && text_[pos_ - 1] == '<') return ReadTagRest(tag);
    }
    return false;
  }

 private:
  // Consumes one letter and returns its length.
  size_t Step() {
    size_t len = LetterLength(static_cast<unsigned char>(text_[pos_]));
    if (pos_ + len > text_.size()) len = text_.size() - pos_;
    pos_ += len;
    return len;
  }

  bool ReadTagRest(std::string* tag) {
    const size_t start = pos_ - 1;
    char quote = 0;
    while (pos_ < text_.size()) {
      const size_t at = pos_;
      const size_t len = Step();
      if (len != 1) continue;
      const char c = text_[at];
      if (c == '"' || c == '\'') {
        quote = (quote == c) ? 0 : c;
      } else if (c == '>' && quote == 0) {
        tag->assign(text_, start, pos_ - start);
        return true;
      }
    }
    return false;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

std::string ElementName(const std::string& tag) {
  size_t end = 1;
  while (end < tag.size() && !IsSpace(tag[end]) && tag[end] != '>') ++end;
  std::string name = tag.substr(1, end - 1);
  if (end < tag.size() && tag[end] == '>' && !name.empty() && name.back() == '/') name.pop_back();
  return name;
}

}  // namespace

std::vector<VedScanNode> VedScanItems(const std::string& text, bool* has_element) {
  VedScanNode top;
  std::vector<VedScanNode*> open;  // the current element and its ancestors
  Scanner scanner(text);
  std::string tag;
  bool seen_top = false;
  while (scanner.NextTag(&tag)) {
    if (tag.compare(0, 4, "<!--") == 0 || tag.compare(0, 2, "<?") == 0) continue;
    if (tag.compare(0, 2, "</") == 0) {
      if (!open.empty()) {
        open.pop_back();
        if (open.empty()) break;  // the first top-level element ended
      }
      continue;
    }
    const bool empty = tag.size() >= 2 && tag.compare(tag.size() - 2, 2, "/>") == 0;
    VedScanNode* node = nullptr;
    if (open.empty()) {
      if (seen_top) break;
      seen_top = true;
      if (empty) break;
      node = &top;
    } else {
      open.back()->children.push_back(VedScanNode{ElementName(tag), {}});
      node = &open.back()->children.back();
    }
    if (!empty) open.push_back(node);
  }
  if (has_element != nullptr) *has_element = seen_top;
  return std::move(top.children);
}
