// wizconv-cli branding: makes an edition's branding file from its plain INI text, and shows
// the plain text of a branding file.
#include <iostream>

#include "appcore/AppError.h"
#include "appcore/Branding.h"
#include "appcore/FileBytes.h"
#include "cli/CliCommand.h"

namespace {

int runBranding(const std::vector<std::string>& args) {
  if (args.size() == 3 && args[0] == "encode") {
    const std::string plain = app::ReadFileBytes(args[1]);
    // Refuses a text that could not be decoded back, before anything is written.
    app::WriteFileReplacing(args[2], app::EncodeBrandingText(plain));
    return 0;
  }
  if (args.size() == 2 && args[0] == "decode") {
    std::cout << app::DecodeBrandingText(app::ReadFileBytes(args[1]));
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  std::cerr << "usage: wizconv-cli branding encode PLAIN OUT | decode FILE\n";
  return 2;
}

int brandingCommand(const std::vector<std::string>& args) {
  try {
    return runBranding(args);
  } catch (const app::AppError& e) {
    std::cerr << "wizconv-cli branding: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace

WIZCONV_CLI_COMMAND("branding", "encode PLAIN OUT | decode FILE", brandingCommand);
