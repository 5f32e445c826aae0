// Subcommands of the vantrel program. Each one lives in its own file and
// registers itself on the main app; main.cpp calls the Add functions.
#ifndef VANTREL_TOOLS_VANTREL_COMMANDS_H
#define VANTREL_TOOLS_VANTREL_COMMANDS_H

#include <CLI/CLI.hpp>

namespace vtool {

// Exit codes of the program.
constexpr int kExitOk = 0;      // every input was processed
constexpr int kExitFailed = 1;  // at least one input failed (the others were processed)
constexpr int kExitUsage = 2;   // bad command line: unknown flag, bad value, missing argument

// Ends the run from inside a subcommand's callback with the given code
// (thrown to main as CLI::RuntimeError). kExitOk returns normally.
void FinishWith(int code);

void AddSegmentCommand(CLI::App& app);
void AddSynthCommand(CLI::App& app);
void AddEvaluateCommand(CLI::App& app);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_COMMANDS_H
