#include "verifydisccommand.h"

#include "base/failure.h"
#include "commandtools.h"
#include "discplay/checkapart.h"
#include "exitstatus.h"

#include <cstdio>

namespace {

std::string ReadDiscPath(int argc, char** argv)
{
    std::string disc;
    ArgumentReader args(argc, argv);
    while (args.next()) {
        if (!args.isOption())
            throw CommandUsageError("unexpected argument " + args.name());
        if (args.name() != "--verify-disc")
            throw CommandUsageError(args.name() + " does not go with --verify-disc");
        if (!disc.empty())
            throw CommandUsageError("--verify-disc takes one disc");
        disc = args.nonEmptyValue("a disc folder or ISO image");
    }
    return disc;
}

} // namespace

int RunVerifyDiscCommand(int argc, char** argv)
{
    std::string disc;
    try {
        disc = ReadDiscPath(argc, argv);
    } catch (const CommandUsageError& e) {
        PrintUsageError(e.what());
        return ToExitCode(ExitStatus::BadUsage);
    }
    try {
        const DiscCheckReport report = VerifyDiscApart(disc);
        // Line by line: the escaping would show the line breaks too.
        const std::string table = FormatDiscCheckTable(report);
        for (std::size_t start = 0, end; start < table.size(); start = end + 1) {
            end = table.find('\n', start);
            if (end == std::string::npos)
                end = table.size();
            std::printf("%s\n", PrintableText(table.substr(start, end - start)).c_str());
        }
        return ToExitCode(report.passed() ? ExitStatus::Ok : ExitStatus::VerifyFailed);
    } catch (const DiscCheckUnfinished& e) {
        // It is a disc; playing it is what failed.
        PrintMessage(e.what());
        return ToExitCode(ExitStatus::VerifyFailed);
    } catch (const Failure& e) {
        PrintMessage(e.what());
        return ToExitCode(ExitStatus::LoadFailed);
    }
}
