#include "burncommand.h"

#include "base/failure.h"
#include "base/signalcleanup.h"
#include "burn/burnimage.h"
#include "commandtools.h"
#include "discplay/checkapart.h"
#include "document/projectparse.h"

#include <cstdio>
#include <optional>

namespace {

struct BurnCommandOptions {
    bool help = false;
    std::string device;
    std::string iso;
    int speed = 0;
};

BurnCommandOptions parseBurnArguments(int argc, char** argv)
{
    BurnCommandOptions options;
    ArgumentReader args(argc, argv);
    while (args.next()) {
        if (!args.isOption())
            throw CommandUsageError("unexpected argument " + args.name());
        const std::string& name = args.name();
        if (name == "--help" || name == "-h") {
            args.noValue();
            options.help = true;
        } else if (name == "--burn") {
            options.device = args.nonEmptyValue("a DVD writer (/dev/sr0, or auto)");
        } else if (name == "--iso") {
            options.iso = args.nonEmptyValue("a disc image");
        } else if (name == "--speed") {
            options.speed = ReadBurnSpeed(args.value());
        } else {
            throw CommandUsageError(name + " does not go with --burn");
        }
    }
    if (!options.help && options.iso.empty())
        throw CommandUsageError("--burn needs --iso FILE (or --dvd FOLDER to make the disc first)");
    return options;
}

ExitStatus runBurn(const BurnCommandOptions& options, const char*)
{
    const SignalCancelScope signalStop; // Ctrl+C stops xorriso, not the drive mid-command
    return BurnAndCheck(options.device, options.iso, options.speed);
}

// A line per stage, a line every tenth of the way.
class PrintingBurnProgress : public BurnProgress {
public:
    void stage(const std::string& text) override
    {
        PrintMessage(text);
        m_tenth = 0;
    }
    void fraction(double done) override
    {
        const int tenth = static_cast<int>(done * 10);
        if (tenth > m_tenth && tenth < 10) {
            m_tenth = tenth;
            PrintMessage(std::to_string(tenth * 10) + " %");
        }
    }
    bool cancelled() override { return SignalCancelScope::caught() != 0; }

private:
    int m_tenth = 0;
};

std::string chooseWriter(const std::string& device)
{
    if (device != "auto")
        return device;
    const std::vector<BurnWriter> writers = ListBurnWriters();
    if (writers.empty())
        throw Failure("Cannot burn the disc", "no DVD writer was found");
    if (writers.size() > 1) {
        std::string names;
        for (const BurnWriter& w : writers)
            names += (names.empty() ? "" : ", ") + w.device;
        throw Failure("Cannot burn the disc",
                      "there are several DVD writers (" + names + "); name one with --burn");
    }
    return writers.front().device;
}

} // namespace

int ReadBurnSpeed(const std::string& value)
{
    const std::optional<std::int32_t> n = ParseDecimal(value);
    if (!n || *n < 1 || *n > 24)
        throw CommandUsageError("--speed needs a whole number from 1 to 24, not '" + value + "'");
    return *n;
}

ExitStatus BurnAndCheck(const std::string& device, const std::string& iso, int speed)
{
    PrintingBurnProgress progress;
    BurnRequest request;
    request.image = iso;
    request.speed = speed;
    try {
        request.device = chooseWriter(device);
        BurnImage(request, progress);
    } catch (const BurnCancelled& e) {
        PrintMessage(e.what());
        SignalCancelScope::endAsCaught();
        return ExitStatus::BurnFailed;
    } catch (const Failure& e) {
        PrintMessage(e.what());
        return ExitStatus::BurnFailed;
    }
    PrintMessage("The disc in " + request.device + " is written and reads back as the image");
    try {
        const DiscCheckReport report = VerifyDiscApart(
            BurnedDiscPath(request.device), {}, [] { return SignalCancelScope::caught() != 0; });
        std::fputs(FormatDiscCheckTable(report).c_str(), stderr);
        SignalCancelScope::endAsCaught();
        return report.passed() ? ExitStatus::Ok : ExitStatus::VerifyFailed;
    } catch (const std::exception& e) {
        PrintMessage(std::string("The disc is burned; its check could not finish: ") + e.what());
        SignalCancelScope::endAsCaught();
        return ExitStatus::VerifyFailed;
    }
}

int RunBurnCommand(int argc, char** argv)
{
    return RunCommand(argc, argv, parseBurnArguments, runBurn, ExitStatus::BurnFailed);
}
