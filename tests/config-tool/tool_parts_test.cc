// The parts of qvsacmd that need no installed tree: argument classification,
// the new-data scanner, notice command lines, replacement paths, the buffer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "result_codes.h"
#include "ved_args.h"
#include "ved_buffer.h"
#include "ved_notice.h"
#include "ved_replace.h"
#include "ved_scan.h"

namespace {

VedCommandLine Classify(std::vector<const char*> args) {
  args.insert(args.begin(), "qvsacmd");
  return VedClassifyArguments(static_cast<int>(args.size()), args.data());
}

TEST(VedArgs, ClassifiesOptionsOperandsAndIgnoredArguments) {
  VedCommandLine l = Classify({"-x", "--getconfigdata", "comp", "-"});
  EXPECT_EQ(VedCommand::kGetConfigData, l.command);
  ASSERT_EQ(1u, l.operand_count);
  EXPECT_EQ("comp", l.operands[0]);

  l = Classify({"--", "--getconfigdata", "-x", "--"});
  EXPECT_EQ(VedCommand::kNone, l.command);
  EXPECT_EQ(3u, l.operand_count);
  EXPECT_EQ((std::vector<std::string>{"--getconfigdata", "-x", "--"}), l.operands);

  l = Classify({"--nope", "--setconfigdata", "--getcomponentlist", "a", "b"});
  EXPECT_EQ(VedCommand::kSetConfigData, l.command);
  EXPECT_EQ(2u, l.operand_count);
  EXPECT_FALSE(l.help);

  l = Classify({"--help", "--getconfigdefine"});
  EXPECT_TRUE(l.help);
  EXPECT_EQ(VedCommand::kGetConfigDefine, l.command);
  EXPECT_EQ(1u, VedOperandsNeeded(l.command));
  EXPECT_EQ(0u, VedOperandsNeeded(VedCommand::kGetComponentList));
  EXPECT_EQ(2u, VedOperandsNeeded(VedCommand::kSetConfigData));
}

TEST(VedArgs, KeepsEightOperandsButCountsAll) {
  std::vector<const char*> args{"--getcomponentlist"};
  const char* words[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
  for (const char* w : words) args.push_back(w);
  const VedCommandLine l = Classify(args);
  EXPECT_EQ(10u, l.operand_count);
  ASSERT_EQ(8u, l.operands.size());
  EXPECT_EQ("h", l.operands[7]);
}

std::vector<std::string> Names(const std::vector<VedScanNode>& nodes) {
  std::vector<std::string> names;
  for (const VedScanNode& n : nodes) names.push_back(n.name);
  return names;
}

TEST(VedScan, FindsTheItemsOfTheFirstTopLevelElement) {
  using V = std::vector<std::string>;
  EXPECT_EQ((V{"a", "b", "a"}), Names(VedScanItems("<config><a>1</a><b x='>'>2</b><a>3</a>"
                                                   "</config><config><c>4</c></config>")));
  // Comments, processing instructions, self-closing and unnamed end tags.
  EXPECT_EQ((V{"a", "e", "b"}), Names(VedScanItems("<?xml?><!-- <z> --><r><a/><e /><!-- <y> -->"
                                                   "<b><c>1</c></x></r>")));
  // A comment ends at its first ">" outside quotes: <q> after it is an
  // element, and <a> nests in it.
  EXPECT_EQ((V{"q"}), Names(VedScanItems("<r><!-- 1 > 2 <q> --><a>1</a></r>")));
  // Quotes in a tag: after '"' the single quote is open again, so the tag
  // runs on to the first ">" seen with no quote open, and <c> nests in <a>.
  const std::vector<VedScanNode> quoted = VedScanItems("<r><a x='\"'>1</a><b y='>'><c>1</c></r>");
  EXPECT_EQ((V{"a"}), Names(quoted));
  ASSERT_EQ(1u, quoted.size());
  EXPECT_EQ((V{"c"}), Names(quoted[0].children));
  // Unterminated input drops the open tag and what follows.
  EXPECT_EQ((V{"a"}), Names(VedScanItems("<r><a>1</a><b x=\"1>")));
  // A lead byte swallows the "<" after it: no element there.
  EXPECT_EQ((V{"a"}), Names(VedScanItems("<r>\xE2<b>1<a>2</a></r>")));
  bool has_element = true;
  EXPECT_TRUE(VedScanItems("", &has_element).empty());
  EXPECT_FALSE(has_element);
  EXPECT_TRUE(VedScanItems("plain <!-- <a> --> text <?pi?>", &has_element).empty());
  EXPECT_FALSE(has_element);
  EXPECT_TRUE(VedScanItems("<config", &has_element).empty());
  EXPECT_FALSE(has_element);
  EXPECT_TRUE(VedScanItems("<config/><a>1</a>", &has_element).empty());
  EXPECT_TRUE(has_element);
  EXPECT_TRUE(VedScanItems("<config></config>", &has_element).empty());
  EXPECT_TRUE(has_element);
}

TEST(VedScan, KeepsNestedMembers) {
  const std::vector<VedScanNode> items =
      VedScanItems("<config><Peer><Host>h</Host><Port>1</Port><In><X>1</X></In></Peer></config>");
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ("Peer", items[0].name);
  ASSERT_EQ(3u, items[0].children.size());
  EXPECT_EQ("Port", items[0].children[1].name);
  ASSERT_EQ(1u, items[0].children[2].children.size());
  EXPECT_EQ("X", items[0].children[2].children[0].name);
}

// What sh makes of a command line: its words, one a line.
std::string ShellWords(const std::string& line) {
  const std::string script = "set -- " + line + "; for a in \"$@\"; do printf '%s|' \"$a\"; done";
  const std::string command = "sh -c " + VedShellQuote(script);
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return "<popen failed>";
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

TEST(VedNotice, ShellQuoteKeepsAnyTextAsOneWord) {
  for (const std::string text : {"plain", "two words", "it's", "'", "''", "\"$(id)\"",
                                 "`id`;ls|x&y>z", "$HOME\\n", "-e", "tab\there", "new\nline"}) {
    EXPECT_EQ(text + "|", ShellWords(VedShellQuote(text))) << "text: " << text;
  }
}

TEST(VedNotice, ArgumentVectors) {
  VedNotice n;
  EXPECT_TRUE(VedNoticeArgv(n).empty());
  n.kind = kVedNoticeSignal;
  n.target = "a\"b $(c);d";
  n.signal = 12;
  EXPECT_EQ((std::vector<std::string>{"killall", "-12", "--", "a\"b $(c);d"}), VedNoticeArgv(n));
  n.kind = kVedNoticeExecute;
  n.target = "/opt/x y/run";
  EXPECT_EQ((std::vector<std::string>{"/opt/x y/run"}), VedNoticeArgv(n));
  n.has_arguments = true;
  n.arguments = "-v \"a b\"";
  EXPECT_EQ((std::vector<std::string>{"/bin/sh", "-c", "'/opt/x y/run' -v \"a b\""}),
            VedNoticeArgv(n));
}

TEST(VedNotice, SignalKeywords) {
  EXPECT_EQ(10, VedSignalNumber("SIGUSR1"));
  EXPECT_EQ(12, VedSignalNumber("SIGUST2"));
  EXPECT_EQ(12, VedSignalNumber("SIGUSR2"));
  EXPECT_EQ(2, VedSignalNumber("SIGINT"));
  EXPECT_EQ(1, VedSignalNumber("SIGHUP"));
  for (const char* other : {"SIGTERM", "SIGKILL", "sighup", "SIGHUP ", "", "HUP", "1"}) {
    EXPECT_EQ(0, VedSignalNumber(other)) << other;
  }
}

TEST(VedReplace, TemporaryAndBackupPaths) {
  VedReplacePaths p;
  ASSERT_EQ(0u, VedReplacePathsFor("/opt/cnf/a.xml", &p));
  EXPECT_EQ("/opt/cnf/a.tmp", p.temporary);
  EXPECT_EQ("/opt/cnf/a.old", p.backup);
  ASSERT_EQ(0u, VedReplacePathsFor("/d/settings", &p));
  EXPECT_EQ("/d/settitmp", p.temporary);
  EXPECT_EQ("/d/settiold", p.backup);
  for (const char* bad : {"", "a", "a.x", "/d/ab", "/a/", "/d/x.tmp", "/d/x.old", "/d/old"}) {
    EXPECT_EQ(ERR_INVALID, VedReplacePathsFor(bad, &p)) << bad;
  }
  EXPECT_EQ(0u, VedReplacePathsFor("/" + std::string(4090, 'a') + ".xml", &p));  // 4095 bytes
  EXPECT_EQ(ERR_OUT_OF_RANGE, VedReplacePathsFor("/" + std::string(4091, 'a') + ".xml", &p));
}

TEST(VedBuffer, KeepsEveryByteAcrossGrowth) {
  VedBuffer b;
  EXPECT_EQ(ERR_INVALID, b.Append(nullptr, 3));
  EXPECT_EQ(ERR_INVALID, b.Append("", 0));
  std::string want;
  for (int i = 0; i < 300; ++i) {
    const std::string piece = "piece " + std::to_string(i) + std::string(1, '\0') + "%s\n";
    ASSERT_EQ(0u, b.Append(piece));
    want += piece;
  }
  EXPECT_EQ(want, b.text());
}

}  // namespace
