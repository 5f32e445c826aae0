// vantrel: command-line front end of the slap segmentation library.
#include <cstdio>
#include <string>

#include "commands.h"
#include "vantrel.h"

namespace vtool {

void FinishWith(int code) {
  if (code != kExitOk) throw CLI::RuntimeError(code);
}

}  // namespace vtool

int main(int argc, char** argv) {
  CLI::App app{
      "vantrel: cuts flat multi-finger fingerprint impressions (slaps) into single fingers.\n"
      "Exit codes: 0 all inputs processed, 1 some input failed, 2 usage error.",
      "vantrel"};
  app.set_version_flag("--version", "vantrel " VANTREL_TOOL_VERSION);
  app.require_subcommand(1);

  vtool::AddSegmentCommand(app);
  vtool::AddSynthCommand(app);
  vtool::AddEvaluateCommand(app);

  // CLI11 would only say that a subcommand is required.
  if (argc > 1 && argv[1][0] != '-') {
    std::string known;
    bool found = false;
    for (const CLI::App* command : app.get_subcommands({})) {
      known += (known.empty() ? "" : ", ") + command->get_name();
      found = found || command->check_name(argv[1]);
    }
    if (!found) {
      std::fprintf(stderr, "vantrel: error: unknown command '%s' (commands: %s)\n", argv[1],
                   known.c_str());
      return vtool::kExitUsage;
    }
  }

  int code = vtool::kExitOk;
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    code = e.get_exit_code();
  } catch (const CLI::CallForHelp& e) {
    code = app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    code = app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    code = app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    code = vtool::kExitUsage;
  }
  DestroyVantrelParameter();
  return code;
}
