// Document reader: syntax cases, letters, forms with maximum counts and
// duplicates, and malformed input that must be skipped, never misread.
#include "reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "row_creators.h"

namespace {

// Forms a (integer), s (string), b (boolean), x (struct of a and s).
class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    limits_ = {INT64_MIN, INT64_MAX};
    slimits_ = {0, 100};
    sub_a_ = Form("a", ROW_INTEGER, 0, &limits_);
    sub_s_ = Form("s", ROW_STRING, 0, &slimits_);
    sub_a_.next = &sub_s_;
    a_ = Form("a", ROW_INTEGER, 0, &limits_);
    s_ = Form("s", ROW_STRING, 0, &slimits_);
    b_ = Form("b", ROW_BOOLEAN, 1, nullptr);
    x_ = Form("x", ROW_STRUCT, 0, &sub_a_);
    a_.next = &s_;
    s_.next = &b_;
    b_.next = &x_;
  }
  void TearDown() override { vopRowItemListFree(rows_); }

  static vop_form_t Form(const char* name, uint32_t kind, uint64_t max, const void* limit) {
    vop_form_t f{};
    f.name = name;
    f.kind = kind;
    f.max_count = max;
    f.limit = limit;
    return f;
  }

  // Reads text and describes the rows as "name=value" items.
  std::vector<std::string> Read(const std::string& text) {
    vopRowItemListFree(rows_);
    rows_ = nullptr;
    uint32_t rc = vopFileReadCommon(READER_MEMORY, text.c_str(), &a_, &rows_);
    EXPECT_EQ(rc, 0u) << "reading: " << text;
    return Describe(rows_);
  }

  static std::vector<std::string> Describe(const vop_row_item_t* r) {
    std::vector<std::string> out;
    for (; r != nullptr; r = r->next) {
      std::string v;
      switch (r->kind) {
        case ROW_INTEGER:
          v = std::to_string(r->value.integer);
          break;
        case ROW_STRING:
          v = "'" + std::string(r->value.text) + "'";
          break;
        case ROW_BOOLEAN:
          v = r->value.flag ? "TRUE" : "FALSE";
          break;
        case ROW_STRUCT: {
          v = "{";
          for (const auto& c : Describe(r->value.children)) v += c + ";";
          v += "}";
          break;
        }
        default:
          v = "?";
      }
      out.push_back(std::string(r->form->name) + "=" + v);
    }
    return out;
  }

  vop_limits_t limits_, slimits_;
  vop_form_t sub_a_, sub_s_, a_, s_, b_, x_;
  vop_row_item_t* rows_ = nullptr;
};

using V = std::vector<std::string>;

TEST_F(ReaderTest, EmptyAndElementlessDocuments) {
  EXPECT_EQ(Read(""), V{});
  EXPECT_EQ(rows_, nullptr);
  EXPECT_EQ(Read(" \n\t "), V{});
  EXPECT_EQ(Read("just text"), V{});
  EXPECT_EQ(Read("<?xml version=\"1.0\"?><!-- nothing -->"), V{});
}

TEST_F(ReaderTest, FormsMatchNamesExactly) {
  EXPECT_EQ(Read("<config><a>1</a></config>"), V{"a=1"});
  EXPECT_EQ(Read("<config><b>1</b></config>"), V{}) << "1 is no boolean";
  EXPECT_EQ(Read("<config><ab>1</ab><A>2</A><c>3</c></config>"), V{});
  // The root's name is not checked; later top-level elements are not used.
  EXPECT_EQ(Read("<anything><a>7</a></anything><config><a>8</a></config>"), V{"a=7"});
}

TEST_F(ReaderTest, MaximumCountAndDuplicates) {
  EXPECT_EQ(Read("<c><b>true</b><b>false</b></c>"), V{"b=TRUE"}) << "max count 1 keeps the first";
  EXPECT_EQ(Read("<c><a>1</a><a>2</a><a>1</a><a>01</a></c>"), (V{"a=1", "a=2"}))
      << "equal values are duplicates whatever their spelling";
  EXPECT_EQ(Read("<c><x><a>1</a><s>p</s></x><x><s>p</s><a>1</a></x><x><a>2</a></x></c>"),
            (V{"x={a=1;s='p';}", "x={a=2;}"}))
      << "structures without identifier members compare by all members in any order";
}

TEST_F(ReaderTest, DuplicatesAmongManyRows) {
  // Past a handful of rows the duplicate check switches to an ordered
  // folder; duplicates of rows from before and after the switch are dropped.
  std::string doc = "<c>";
  V want;
  for (int i = 0; i < 30; ++i) {
    doc += "<a>" + std::to_string(i) + "</a><s>t" + std::to_string(i % 12) + "</s>";
    want.push_back("a=" + std::to_string(i));
    if (i < 12) want.push_back("s='t" + std::to_string(i) + "'");
  }
  for (int i = 29; i >= 0; i -= 3) doc += "<a>" + std::to_string(i) + "</a>";
  doc += "<a>30</a></c>";
  want.push_back("a=30");
  EXPECT_EQ(Read(doc), want);
}

TEST_F(ReaderTest, WhiteSpaceRules) {
  EXPECT_EQ(Read("<c><s>x </s></c>"), V{"s='x '"}) << "trailing white space stays";
  EXPECT_EQ(Read("<c><s>  x</s></c>"), V{"s='x'"}) << "leading white space goes";
  EXPECT_EQ(Read("<c>\n  <a>\n 42 \n</a>\n</c>"), V{"a=42"});
  EXPECT_EQ(Read("<c><s>a  b</s></c>"), V{"s='a  b'"});
  EXPECT_EQ(Read("<c><s>   </s></c>"), V{}) << "white space only is no text";
}

TEST_F(ReaderTest, CommentsEndAtFirstGreaterThan) {
  // The comment ends at its first ">"; "tail -->" becomes text of c, and
  // the element after it is still read.
  EXPECT_EQ(Read("<c><!-- a > b --><a>3</a></c>"), V{"a=3"});
  EXPECT_EQ(Read("<c><a>4<!-- x --></a></c>"), V{"a=4"});
  EXPECT_EQ(Read("<c><!-- x > <a>5</a> --></c>"), V{"a=5"})
      << "the comment ended at 'x >', so the element after it is read";
  EXPECT_EQ(Read("<c><!-- <a>5</a> --><a>6</a></c>"), V{})
      << "'<!-- <a>' is the comment; '</a>' then closes c itself";
}

TEST_F(ReaderTest, QuotesInTags) {
  // '"' opens inside single quotes, the closing "'" reopens, so the tag runs
  // on to the next '>' seen with no quote open.
  EXPECT_EQ(Read("<c><a q='\"'>1</a><a>2</a></c>"), V{}) << "the tag swallowed everything";
  EXPECT_EQ(Read("<c><a q='x>y'>5</a></c>"), V{"a=5"}) << "'>' inside quotes does not end a tag";
  EXPECT_EQ(Read("<c><a q=\"x'y\" r='z'>6</a></c>"), V{"a=6"});
}

TEST_F(ReaderTest, SelfClosingAndMismatchedEndTags) {
  EXPECT_EQ(Read("<c><x><a/><s>t</s></x></c>"), V{"x={s='t';}"})
      << "an element after a self-closing one is its sibling";
  EXPECT_EQ(Read("<c><a/><a>3</a></c>"), V{"a=3"});
  EXPECT_EQ(Read("<c><b>true</q><a>9</a></c>"), (V{"b=TRUE", "a=9"}))
      << "an end tag with another name closes the current element";
  EXPECT_EQ(Read("</z></z><c><a>1</a></c>"), V{"a=1"}) << "stray end tags are ignored";
}

TEST_F(ReaderTest, UnterminatedInputKeepsWhatCameBefore) {
  EXPECT_EQ(Read("<c><a>1</a><s>t</s><a attr='x"), (V{"a=1", "s='t'"}));
  EXPECT_EQ(Read("<c><a>1</a><a"), V{"a=1"});
  EXPECT_EQ(Read("<c><a>12"), V{"a=12"}) << "text at the end of the input still counts";
}

TEST_F(ReaderTest, InvalidElementsAreSkippedNotMisread) {
  EXPECT_EQ(Read("<c><a>12a</a><a>99999999999999999999</a><a></a><a>3</a></c>"), V{"a=3"});
  EXPECT_EQ(Read("<c><x></x><x><q>1</q></x></c>"), V{}) << "a structure needs a member";
  EXPECT_EQ(Read("<c><b>TRUE </b><b>yes</b><b>TrUe</b></c>"), V{"b=TRUE"});
  slimits_ = {2, 3};
  EXPECT_EQ(Read("<c><s>a</s><s>abcd</s><s>abc</s></c>"), V{"s='abc'"});
}

TEST_F(ReaderTest, Utf8Letters) {
  vop_reader_t r;
  vopReaderInit(&r);
  // 0xFF and a lone continuation byte start two-byte letters; 0xE2 at the
  // very end yields a one-byte letter.
  const char text[] =
      "\xFF"
      "a"
      "\x80"
      "b"
      "\xE2\x82\xAC"
      "\xE2";
  ASSERT_EQ(vopFileFromData(&r, text), 0u);
  EXPECT_EQ(vopFileFromData(&r, text), ERR_IN_USE);
  std::vector<uint32_t> sizes;
  vop_letter_t l;
  while (vopGetOneLetter(&r, &l) == 0) sizes.push_back(l.size);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{2, 2, 3, 1}));
  EXPECT_EQ(vopFileClose(&r), 0u);
  EXPECT_EQ(vopFileClose(&r), ERR_BAD_HANDLE);
  EXPECT_EQ(vopUTF8bytes(0x41), 1u);
  EXPECT_EQ(vopUTF8bytes(0xC3), 2u);
  EXPECT_EQ(vopUTF8bytes(0xF0), 4u);
  EXPECT_EQ(vopUTF8bytes(0xFC), 6u);
  EXPECT_EQ(vopUTF8bytes(0xFE), 0u);
  EXPECT_EQ(vopFileFromData(nullptr, text), ERR_INVALID);
  EXPECT_EQ(vopFileFromData(&r, nullptr), ERR_INVALID);
}

TEST_F(ReaderTest, MultiByteLettersNeverMakeMarkup) {
  // "<" hidden as the second byte of a letter started by 0xFF is not a tag.
  EXPECT_EQ(Read("<c><s>\xFF<x</s></c>"), V{"s='\xFF<x'"});
  EXPECT_EQ(Read("<c><s>\xC3\xA9t\xC3\xA9</s></c>"), V{"s='\xC3\xA9t\xC3\xA9'"});
  // Text cut inside a letter at the end of the input is no value: written
  // back, its last letter would swallow the end tag.
  EXPECT_EQ(Read("<c><a>1</a><s>ab\xE2\x82"), V{"a=1"});
}

TEST_F(ReaderTest, FilesAreReadToTheirEndAcrossBlocks) {
  char path[] = "/tmp/twreader.XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string doc = "<config>";
  std::vector<std::string> want;
  for (int i = 0; i < 300; ++i) {
    doc += "<a>" + std::to_string(i * 7) + "</a>";
    want.push_back("a=" + std::to_string(i * 7));
  }
  doc += "<s>" + std::string(2500, 'z') + "</s></config>";
  slimits_ = {0, 5000};
  want.push_back("s='" + std::string(2500, 'z') + "'");
  ASSERT_EQ(write(fd, doc.data(), doc.size()), static_cast<ssize_t>(doc.size()));
  close(fd);
  ASSERT_EQ(vopFileReadCommon(READER_FILE, path, &a_, &rows_), 0u);
  EXPECT_EQ(Describe(rows_), want);
  unlink(path);
  vop_row_item_t* none = nullptr;
  EXPECT_EQ(vopFileReadCommon(READER_FILE, path, &a_, &none), ERR_SYSCALL | ENOENT);
  EXPECT_EQ(vopFileReadCommon(3, path, &a_, &none), ERR_INVALID);
}

TEST_F(ReaderTest, DeepNestingIsBoundedNotFatal) {
  // A self-referencing structure form lets nesting go as deep as the input.
  vop_form_t deep = Form("x", ROW_STRUCT, 0, nullptr);
  vop_form_t leaf = Form("a", ROW_INTEGER, 0, &limits_);
  deep.limit = &leaf;
  leaf.next = &deep;
  std::string doc = "<c>";
  for (int i = 0; i < 100000; ++i) doc += "<x>";
  doc += "<a>1</a></c>";
  vop_row_item_t* rows = nullptr;
  ASSERT_EQ(vopFileReadCommon(READER_MEMORY, doc.c_str(), &leaf, &rows), 0u);
  EXPECT_EQ(rows, nullptr) << "structures beyond the depth limit are skipped";
  vopRowItemListFree(rows);
  // Within the limit they are read.
  doc = "<c><x><x><x><a>2</a></x></x></x></c>";
  ASSERT_EQ(vopFileReadCommon(READER_MEMORY, doc.c_str(), &leaf, &rows), 0u);
  EXPECT_EQ(Describe(rows), V{"x={x={x={a=2;};};}"});
  vopRowItemListFree(rows);
}

TEST(ReaderSegments, ListAndTagOperations) {
  vop_segment_t* head = vopSegmentAlloc();
  ASSERT_NE(head, nullptr);
  vop_segment_t* s = vopSegmentAlloc();
  ASSERT_EQ(vopSegmentSet(s, SEGMENT_DATA, "hello", 6), 0u);
  EXPECT_STREQ(s->text, "hello");
  ASSERT_EQ(vopSegmentSet(s, SEGMENT_TAG, "<a>", 4), 0u);
  EXPECT_STREQ(s->text, "<a>");
  vopSegmentJoin(head, s);
  EXPECT_EQ(head->next, s);
  EXPECT_EQ(head->prev, s);
  vopSegmentRemove(s);
  EXPECT_EQ(head->next, head);
  vopSegmentFree(s);
  vopSegmentListFree(head);

  vop_tag_t* parent = vopTagAlloc();
  vop_tag_t* text = vopTagAlloc();
  vop_tag_t* child = vopTagAlloc();
  ASSERT_EQ(vopTagSet(parent, TAG_ELEMENT, "p", 1), 0u);
  ASSERT_EQ(vopTagSet(text, TAG_TEXT, "t", 1), 0u);
  ASSERT_EQ(vopTagSet(child, TAG_ELEMENT, "c", 1), 0u);
  EXPECT_EQ(vopTagJoin(text, child), ERR_INVALID) << "only elements have children";
  ASSERT_EQ(vopTagJoin(parent, child), 0u);
  ASSERT_EQ(vopTagJoin(parent, text), 0u);
  EXPECT_STREQ(vopTagDataSearch(parent), "t");
  vopTagFree(child);
  EXPECT_EQ(parent->first_child, text);
  EXPECT_EQ(parent->last_child, text);
  vopTagFree(parent);
}

// The segment list and the tree built from it hold what the read sees.
TEST(ReaderSegments, SegmentListAndTreeFromIt) {
  vop_reader_t r;
  vopReaderInit(&r);
  ASSERT_EQ(vopFileFromData(&r, "  <a q='>'>  x y <!-- c --><b/></a> tail"), 0u);
  vop_segment_t* head = nullptr;
  ASSERT_EQ(vopGetSegmentList(&r, &head), 0u);
  vopFileClose(&r);
  std::vector<std::string> got;
  for (vop_segment_t* s = head->next; s != head; s = s->next) {
    got.push_back(std::to_string(s->type) + ":" + s->text);
    EXPECT_EQ(s->size, strlen(s->text) + 1) << s->text;
  }
  EXPECT_EQ(got, (std::vector<std::string>{"1:<a q='>'>", "2:x y ", "1:<!-- c -->", "1:<b/>",
                                           "1:</a>", "2:tail"}));
  vop_tag_t* top = vopCreateTags(head);
  vopSegmentListFree(head);
  ASSERT_NE(top, nullptr);
  EXPECT_STREQ(top->text, "a");
  EXPECT_EQ(top->next, nullptr) << "text outside every element is dropped";
  EXPECT_STREQ(vopTagDataSearch(top), "x y ");
  ASSERT_NE(top->last_child, nullptr);
  EXPECT_STREQ(top->last_child->text, "b");
  EXPECT_EQ(top->last_child->first_child, nullptr);
  vopTagListFree(top);
}

}  // namespace
