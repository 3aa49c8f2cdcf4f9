// The command line of qvpics-cli:
//
//   qvpics-cli [-o DIR] URL...
//   qvpics-cli --help | --version
//
// -o DIR may also be written -oDIR, --output DIR or --output=DIR, before or
// after the addresses; "--" ends the options. ParseCommandLine neither
// prints nor exits: it says what to do, and for a usage error why, in one
// line. Every address is checked (page_address.h) before the caller starts
// any download.
#ifndef QV_APP_CLI_CLI_OPTIONS_H_
#define QV_APP_CLI_CLI_OPTIONS_H_

#include <string>
#include <vector>

namespace qv {

struct CliOptions {
  std::string outputFolder;            // as given; empty: the current folder
  std::vector<std::string> addresses;  // trimmed, in the order given
};

enum class CliAction {
  kDownload,    // options filled in
  kHelp,        // --help or -h was given (the first of the two wins)
  kVersion,     // --version or -V was given
  kUsageError,  // *error says what is wrong
};

// args excludes the program name. On kDownload, *options holds at least one
// usable address; on kUsageError, *error is one line without a newline.
CliAction ParseCommandLine(const std::vector<std::string>& args, CliOptions* options,
                           std::string* error);

// The --help text, ending in a newline.
std::string HelpText();
// The --version line: "qvpics-cli <project version>\n".
std::string VersionText();

}  // namespace qv

#endif  // QV_APP_CLI_CLI_OPTIONS_H_
