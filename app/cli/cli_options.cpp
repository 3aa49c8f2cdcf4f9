#include "app/cli/cli_options.h"

#include <string_view>

#include "app/cli/page_address.h"
#include "app/cli/printable_text.h"

namespace qv {
namespace {

CliAction UsageError(std::string* error, const std::string& why) {
  *error = why + " (see qvpics-cli --help)";
  return CliAction::kUsageError;
}

}  // namespace

CliAction ParseCommandLine(const std::vector<std::string>& args, CliOptions* options,
                           std::string* error) {
  *options = CliOptions();
  error->clear();
  bool haveOutput = false;
  bool optionsEnded = false;
  std::vector<std::string> raw;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      raw.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      return CliAction::kHelp;
    } else if (arg == "--version" || arg == "-V") {
      return CliAction::kVersion;
    } else if (arg == "-o" || arg == "--output" || arg.starts_with("--output=") ||
               (arg.starts_with("-o") && !arg.starts_with("--"))) {
      std::string value;
      if (arg == "-o" || arg == "--output") {
        if (i + 1 == args.size()) return UsageError(error, "option " + arg + " needs a folder");
        value = args[++i];
      } else {
        value = arg.substr(arg[1] == 'o' ? 2 : std::string_view("--output=").size());
      }
      if (haveOutput) return UsageError(error, "the output folder is given twice");
      if (value.empty()) return UsageError(error, "the output folder is empty");
      options->outputFolder = value;
      haveOutput = true;
    } else {
      return UsageError(error, "unknown option '" + PrintableText(arg) + "'");
    }
  }
  if (raw.empty()) return UsageError(error, "no product page address given");
  for (const std::string& address : raw) {
    const AddressProblem problem = CheckPageAddress(address);
    if (problem != AddressProblem::kNone) {
      *options = CliOptions();
      return UsageError(error, std::string(DescribeAddressProblem(problem)) + ": '" +
                                   PrintableText(address) + "'");
    }
    options->addresses.emplace_back(TrimAddress(address));
  }
  return CliAction::kDownload;
}

std::string HelpText() {
  return "Usage: qvpics-cli [-o DIR] URL...\n"
         "Downloads every picture of each Quorvel product page URL, one product after\n"
         "another, into DIR/imgs/<product name>/主图/ (main pictures) and 详情/\n"
         "(description pictures).\n"
         "\n"
         "  -o, --output DIR  the folder to save under (default: the current folder)\n"
         "  -h, --help        show this help and exit\n"
         "  -V, --version     show the version and exit\n"
         "\n"
         "Every URL must start with http:// or https:// and name a host; all are\n"
         "checked before the first download starts.\n"
         "\n"
         "Exit status: 0 when every product page was fetched and every picture saved,\n"
         "1 when something could not be fetched or saved, 2 for a usage error,\n"
         "130 when stopped by Ctrl-C (SIGINT) or SIGTERM.\n";
}

std::string VersionText() { return std::string("qvpics-cli ") + QV_VERSION + "\n"; }

}  // namespace qv
