#include "app/cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

constexpr char kA[] = "https://item.quorvel.example/1.html";
constexpr char kB[] = "http://item.quorvel.example/2.html";

TEST(CliOptionsTest, ReadsFolderAndAddressesInEveryForm) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string folder;
    std::vector<std::string> addresses;
  };
  const Row rows[] = {
      {"one address", {kA}, "", {kA}},
      {"two, kept in order", {kB, kA}, "", {kB, kA}},
      {"-o DIR", {"-o", "out", kA}, "out", {kA}},
      {"-oDIR", {"-oout", kA}, "out", {kA}},
      {"--output DIR", {"--output", "out dir", kA}, "out dir", {kA}},
      {"--output=DIR", {"--output=/tmp/x", kA}, "/tmp/x", {kA}},
      {"option after the addresses", {kA, "-o", "out", kB}, "out", {kA, kB}},
      {"folder named like an option", {"-o", "-h", kA}, "-h", {kA}},
      {"blanks around are trimmed", {std::string(" ") + kA + "\n"}, "", {kA}},
      {"-- ends the options", {"--", kA}, "", {kA}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CliOptions options;
    std::string error = "stale";
    ASSERT_EQ(ParseCommandLine(row.args, &options, &error), CliAction::kDownload) << error;
    EXPECT_EQ(options.outputFolder, row.folder);
    EXPECT_EQ(options.addresses, row.addresses);
    EXPECT_EQ(error, "");
  }
}

TEST(CliOptionsTest, HelpAndVersionWinOverTheRest) {
  struct Row {
    std::vector<std::string> args;
    CliAction want;
  };
  const Row rows[] = {
      {{"--help"}, CliAction::kHelp},
      {{"-h"}, CliAction::kHelp},
      {{"--version"}, CliAction::kVersion},
      {{"-V"}, CliAction::kVersion},
      {{"not an address", "--help"}, CliAction::kHelp},
      {{"--version", "--help"}, CliAction::kVersion},
      {{"-o", "x", "-V", kA}, CliAction::kVersion},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    CliOptions options;
    std::string error;
    EXPECT_EQ(ParseCommandLine(row.args, &options, &error), row.want);
  }
  EXPECT_EQ(VersionText(), std::string("qvpics-cli ") + QV_VERSION + "\n");
  EXPECT_TRUE(HelpText().starts_with("Usage: qvpics-cli [-o DIR] URL...\n"));
}

TEST(CliOptionsTest, UsageErrorsSayWhatIsWrongInOneLine) {
  struct Row {
    std::vector<std::string> args;
    std::string errorStart;
  };
  const Row rows[] = {
      {{}, "no product page address given"},
      {{"-o", "out"}, "no product page address given"},
      {{"--"}, "no product page address given"},
      {{kA, "-o"}, "option -o needs a folder"},
      {{kA, "--output"}, "option --output needs a folder"},
      {{"-o", "a", "-o", "b", kA}, "the output folder is given twice"},
      {{"--output=", kA}, "the output folder is empty"},
      {{"-x", kA}, "unknown option '-x'"},
      {{"--outputs", kA}, "unknown option '--outputs'"},
      {{"-\x1b[2J", kA}, "unknown option '-\\x1B[2J'"},
      {{kA, ""}, "empty address: ''"},
      {{kA, "  "}, "empty address: '  '"},
      {{"ftp://x/", kA}, "the address does not start with http:// or https://: 'ftp://x/'"},
      {{"-", kA}, "the address does not start with http:// or https://: '-'"},
      {{kA, "https:///1.html"}, "no host after the scheme: 'https:///1.html'"},
      {{"https://a/\nb"},
       "the address holds a blank, a control character or invalid UTF-8: "
       "'https://a/\\x0Ab'"},
      {{"--", "-o"}, "the address does not start with http:// or https://: '-o'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.errorStart);
    CliOptions options;
    options.addresses = {"stale"};
    std::string error;
    EXPECT_EQ(ParseCommandLine(row.args, &options, &error), CliAction::kUsageError);
    EXPECT_EQ(error, row.errorStart + " (see qvpics-cli --help)");
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(options.addresses.empty());
  }
}

}  // namespace
}  // namespace qv
