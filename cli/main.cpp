// tonewright-play: the test signals of the Tonewright dialog, from the
// command line, for scripted tests of cards, cables and speakers.
#include "cli/ExitStatus.h"
#include "cli/HelpText.h"
#include "cli/InterruptFlag.h"
#include "cli/PlayArguments.h"
#include "cli/PlaySession.h"
#include "cli/VerifyCommand.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // First of all: Ctrl-C must end the player at any point of its start-up.
    const bool handled = InstallInterruptHandlers();
    PlayArguments arguments;
    const ParseResult parsed = ParsePlayArguments(argc, argv, arguments);
    if (!parsed.ok) {
        std::fprintf(stderr, "tonewright-play: %s\n%s", parsed.error.c_str(), UsageText());
        return kExitUsage;
    }
    if (arguments.command == PlayCommand::Help) {
        std::fputs(HelpText(), stdout);
        return kExitPlayed;
    }
    if (arguments.command == PlayCommand::Version) {
        std::fputs(VersionText(), stdout);
        return kExitPlayed;
    }
    if (!handled)
        std::fputs("tonewright-play: Ctrl-C will not shut the driver down in order\n", stderr);
    const int status = arguments.verify ? RunVerify(arguments) : RunPlaySession(arguments);
    std::fflush(stdout);
    return status;
}
