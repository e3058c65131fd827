#include "discwalk.h"

#include <algorithm>

namespace {

// Far more than a menu of ten items a page needs, and a bound on a disc whose buttons
// keep leading to new pages.
constexpr std::size_t kMaxPages = 99;

ButtonTarget TargetOf(const Halt& halt)
{
    ButtonTarget target;
    target.halt = halt;
    switch (halt.kind) {
    case Halt::Kind::TitleStarted:
        target.kind = ButtonTarget::Kind::Title;
        target.title = halt.title;
        break;
    case Halt::Kind::MenuStill:
        target.kind = ButtonTarget::Kind::Page;
        target.page = halt.page;
        break;
    default:
        target.kind = ButtonTarget::Kind::Halted;
        break;
    }
    return target;
}

ButtonFacts TryButton(const std::string& path, const CheckLimits& options,
                      const std::vector<int>& presses, int button)
{
    ButtonFacts facts;
    StartedPlayer started = OpenAtMenu(path, options, presses);
    if (!started.player) {
        facts.target.kind = ButtonTarget::Kind::Halted;
        facts.target.halt = started.halt;
        return facts;
    }
    facts.light = started.player->light(button);
    if (!started.player->activate(button))
        return facts;
    facts.target = TargetOf(started.player->play());
    return facts;
}

} // namespace

StartedPlayer OpenAtMenu(const std::string& path, const CheckLimits& options,
                         const std::vector<int>& presses)
{
    StartedPlayer started;
    started.player = std::make_unique<DiscPlayer>(path, options);
    started.halt = started.player->play();
    for (int button : presses) {
        if (started.halt.kind != Halt::Kind::MenuStill)
            break;
        if (!started.player->activate(button)) {
            started.halt.kind = Halt::Kind::ReadError;
            started.halt.error = "button " + std::to_string(button) + " cannot be activated";
            break;
        }
        started.halt = started.player->play();
    }
    if (started.halt.kind != Halt::Kind::MenuStill)
        started.player.reset();
    return started;
}

int PageIndex(const std::vector<PageFacts>& pages, const MenuPage& page)
{
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (pages[i].page == page)
            return static_cast<int>(i);
    return -1;
}

std::vector<PageFacts> ExplorePages(const std::string& path, const CheckLimits& options,
                                    const Halt& firstMenu)
{
    std::vector<PageFacts> pages{{firstMenu.page, {}, {}, 0}};
    std::vector<int> buttonCounts{firstMenu.buttons};
    for (std::size_t p = 0; p < pages.size(); ++p) {
        for (int b = 1; b <= buttonCounts[p]; ++b) {
            ButtonFacts facts = TryButton(path, options, pages[p].path, b);
            const ButtonTarget& target = facts.target;
            if (target.kind == ButtonTarget::Kind::Page && PageIndex(pages, target.page) < 0 &&
                pages.size() < kMaxPages) {
                std::vector<int> presses = pages[p].path;
                presses.push_back(b);
                pages.push_back({target.page, presses, {}, 0});
                buttonCounts.push_back(target.halt.buttons);
            }
            if (target.kind == ButtonTarget::Kind::Title &&
                (pages[p].firstTitle == 0 || target.title < pages[p].firstTitle))
                pages[p].firstTitle = target.title;
            pages[p].buttons.push_back(std::move(facts));
        }
    }
    std::stable_sort(pages.begin(), pages.end(), [](const PageFacts& a, const PageFacts& b) {
        return a.firstTitle != 0 && (b.firstTitle == 0 || a.firstTitle < b.firstTitle);
    });
    return pages;
}

std::string DescribeHalt(const Halt& halt, const CheckLimits& options)
{
    switch (halt.kind) {
    case Halt::Kind::MenuStill:
        return "a menu holds still";
    case Halt::Kind::TitleStarted:
        return "title " + std::to_string(halt.title) + " starts";
    case Halt::Kind::Stopped:
        return "the disc stops";
    case Halt::Kind::StepLimit:
        return "still going after " + std::to_string(options.stepLimit) + " steps";
    case Halt::Kind::TimeLimit:
        return "still going after " + std::to_string(options.actionTimeLimit.count()) + " ms";
    case Halt::Kind::CheckTimeLimit:
        return "the whole check ran out of its " + std::to_string(options.totalTimeLimit.count()) +
               " ms";
    case Halt::Kind::ReadError:
        break;
    }
    return "the player fails: " + halt.error;
}
