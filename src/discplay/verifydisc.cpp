#include "disccheck.h"

#include "discstreams.h"
#include "discwalk.h"

#include <cstdlib>

namespace {

// A row's faults, kept short: the first few in full, then how many more.
class Faults {
public:
    void add(std::string fault) { m_faults.push_back(std::move(fault)); }
    bool empty() const { return m_faults.empty(); }
    std::string summary() const
    {
        constexpr std::size_t kShown = 3;
        std::string text;
        for (std::size_t i = 0; i < m_faults.size() && i < kShown; ++i)
            text += (i ? "; " : "") + m_faults[i];
        if (m_faults.size() > kShown)
            text += "; and " + std::to_string(m_faults.size() - kShown) + " more";
        return text;
    }

private:
    std::vector<std::string> m_faults;
};

void AddRow(DiscCheckReport& report, DiscCheck check, const char* what, const Faults& faults,
            const std::string& okDetail)
{
    report.rows.push_back(
        {check, what, faults.empty(), faults.empty() ? okDetail : faults.summary()});
}

std::string ButtonName(const std::vector<PageFacts>& pages, std::size_t page, int button)
{
    const std::string name = "button " + std::to_string(button);
    return pages.size() > 1 ? "page " + std::to_string(page + 1) + " " + name : name;
}

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The first button that starts each title, in menu order.
struct TitleButton {
    int title;
    std::size_t page;
    int button;
};

std::vector<TitleButton> TitleButtons(const std::vector<PageFacts>& pages)
{
    std::vector<TitleButton> found;
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t b = 0; b < pages[p].buttons.size(); ++b) {
            const ButtonTarget& target = pages[p].buttons[b].target;
            if (target.kind != ButtonTarget::Kind::Title)
                continue;
            bool seen = false;
            for (const TitleButton& t : found)
                seen = seen || t.title == target.title;
            if (!seen)
                found.push_back({target.title, p, static_cast<int>(b + 1)});
        }
    return found;
}

bool CheckStart(DiscCheckReport& report, const Halt& first, const CheckLimits& options)
{
    Faults start;
    Faults stays;
    if (first.kind == Halt::Kind::MenuStill && first.buttons == 0)
        start.add("it stops on a still picture without buttons");
    else if (first.kind != Halt::Kind::MenuStill && !first.passedMenu)
        start.add("no menu: " + DescribeHalt(first, options));
    else if (first.kind != Halt::Kind::MenuStill)
        stays.add("it does not hold still: " + DescribeHalt(first, options));
    AddRow(report, DiscCheck::StartsOnMenu, "Starts on the menu", start,
           first.kind == Halt::Kind::MenuStill ? Count(first.buttons, "button", "buttons") : "");
    if (!start.empty())
        return false;
    AddRow(report, DiscCheck::MenuStays, "The menu holds still", stays, "");
    return stays.empty();
}

void CheckLights(DiscCheckReport& report, const std::vector<PageFacts>& pages)
{
    Faults faults;
    std::size_t buttons = 0;
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t b = 0; b < pages[p].buttons.size(); ++b, ++buttons) {
            const ButtonLight& light = pages[p].buttons[b].light;
            const std::string name = ButtonName(pages, p, static_cast<int>(b + 1));
            if (!light.selected)
                faults.add(name + " cannot be selected");
            else if (!light.hasArea)
                faults.add(name + " has no highlight inside the picture");
            else if (!light.visible)
                faults.add(name + " shows nothing when selected");
        }
    AddRow(report, DiscCheck::ButtonsLight, "Every button lights", faults,
           Count(buttons, "button", "buttons") + " on " + Count(pages.size(), "page", "pages"));
}

void CheckTitleButtons(DiscCheckReport& report, const std::vector<PageFacts>& pages, int titles,
                       const CheckLimits& options)
{
    Faults faults;
    int expected = 1;
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t b = 0; b < pages[p].buttons.size(); ++b) {
            const ButtonTarget& target = pages[p].buttons[b].target;
            const std::string name = ButtonName(pages, p, static_cast<int>(b + 1));
            if (target.kind == ButtonTarget::Kind::Title) {
                if (target.title != expected)
                    faults.add(name + " plays title " + std::to_string(target.title) +
                               ", not title " + std::to_string(expected));
                ++expected;
            } else if (target.kind == ButtonTarget::Kind::Nowhere) {
                faults.add(name + " cannot be activated");
            } else if (target.kind == ButtonTarget::Kind::Halted) {
                faults.add(name + ": " + DescribeHalt(target.halt, options));
            }
        }
    const std::vector<TitleButton> reached = TitleButtons(pages);
    for (int t = 1; t <= titles; ++t) {
        bool found = false;
        for (const TitleButton& r : reached)
            found = found || r.title == t;
        if (!found)
            faults.add("no button plays title " + std::to_string(t));
    }
    AddRow(report, DiscCheck::ButtonsPlay, "Every button plays its title", faults,
           Count(static_cast<std::size_t>(expected - 1), "title", "titles") + " in menu order");
}

void CheckPageLinks(DiscCheckReport& report, const std::vector<PageFacts>& pages)
{
    Faults faults;
    const int last = static_cast<int>(pages.size()) - 1;
    std::size_t links = 0;
    std::vector<bool> toNext(pages.size(), false);
    std::vector<bool> toPrevious(pages.size(), false);
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t b = 0; b < pages[p].buttons.size(); ++b) {
            const ButtonTarget& target = pages[p].buttons[b].target;
            if (target.kind != ButtonTarget::Kind::Page)
                continue;
            ++links;
            const int from = static_cast<int>(p);
            const int to = PageIndex(pages, target.page);
            // Wrapping round from the last page to the first and back counts as a neighbour.
            const bool wraps = last >= 2 && std::abs(from - to) == last;
            if (to == from + 1 || (wraps && to == 0))
                toNext[p] = true;
            else if (to == from - 1 || (wraps && to == last))
                toPrevious[p] = true;
            else
                faults.add(ButtonName(pages, p, static_cast<int>(b + 1)) +
                           (to == from ? " stays on its own page"
                                       : " goes to page " + std::to_string(to + 1)));
        }
    for (int p = 0; p <= last; ++p) {
        if (p < last && !toNext[p])
            faults.add("page " + std::to_string(p + 1) + " has no button to the next page");
        if (p > 0 && !toPrevious[p])
            faults.add("page " + std::to_string(p + 1) + " has no button to the previous page");
    }
    AddRow(report, DiscCheck::PagesLink, "Previous and Next reach their pages", faults,
           pages.size() == 1 ? "one page" : Count(links, "button", "buttons"));
}

// Starts the title of `start` afresh: the player is null and `fault` set when it cannot.
std::unique_ptr<DiscPlayer> StartTitle(const std::string& path, const CheckLimits& options,
                                       const std::vector<PageFacts>& pages,
                                       const TitleButton& start, std::string& fault)
{
    const std::string title = "title " + std::to_string(start.title);
    StartedPlayer started = OpenAtMenu(path, options, pages[start.page].path);
    if (!started.player || !started.player->activate(start.button)) {
        fault = title + " cannot be started again";
        return nullptr;
    }
    const Halt halt = started.player->play();
    if (halt.kind != Halt::Kind::TitleStarted || halt.title != start.title) {
        fault = title + " does not start again: " + DescribeHalt(halt, options);
        return nullptr;
    }
    return std::move(started.player);
}

// Where a title's end leads, against where it should: its own button on its own page.
std::string ReturnFault(const std::vector<PageFacts>& pages, const TitleButton& start,
                        const Halt& end, const CheckLimits& options)
{
    const std::string title = "title " + std::to_string(start.title);
    if (end.kind != Halt::Kind::MenuStill)
        return title + " does not come back: " + DescribeHalt(end, options);
    const int page = PageIndex(pages, end.page);
    if (page < 0)
        return title + " comes back to a menu that no button reaches";
    if (page != static_cast<int>(start.page))
        return title + " comes back to page " + std::to_string(page + 1) + ", not page " +
               std::to_string(start.page + 1);
    if (end.highlighted != start.button)
        return title + " comes back with button " + std::to_string(end.highlighted) +
               " selected, not button " + std::to_string(start.button);
    return {};
}

void CheckTitleReturns(DiscCheckReport& report, const std::string& path, const CheckLimits& options,
                       const std::vector<PageFacts>& pages)
{
    Faults faults;
    const std::vector<TitleButton> titles = TitleButtons(pages);
    for (const TitleButton& start : titles) {
        std::string fault;
        std::unique_ptr<DiscPlayer> player = StartTitle(path, options, pages, start, fault);
        if (player && !player->seekNearEnd())
            fault = "title " + std::to_string(start.title) + " cannot be played near its end";
        else if (player)
            fault = ReturnFault(pages, start, player->play(start.title), options);
        if (!fault.empty())
            faults.add(fault);
    }
    AddRow(report, DiscCheck::TitlesReturn, "Every title returns to its button", faults,
           Count(titles.size(), "title", "titles"));
}

void CheckMenuKeys(DiscCheckReport& report, const std::string& path, const CheckLimits& options,
                   const std::vector<PageFacts>& pages)
{
    Faults faults;
    const std::vector<TitleButton> titles = TitleButtons(pages);
    for (const TitleButton& start : titles)
        for (bool root : {false, true}) {
            const std::string key = std::string(root ? "Menu" : "Title") + " key in title " +
                                    std::to_string(start.title);
            std::string fault;
            std::unique_ptr<DiscPlayer> player = StartTitle(path, options, pages, start, fault);
            if (player && !player->menuKey(root)) {
                fault = key + " is refused: " + player->lastMessage();
            } else if (player) {
                const Halt halt = player->play(start.title);
                if (halt.kind != Halt::Kind::MenuStill || PageIndex(pages, halt.page) < 0)
                    fault = key + ": " + DescribeHalt(halt, options);
            }
            if (!fault.empty())
                faults.add(fault);
        }
    AddRow(report, DiscCheck::MenuKeys, "Title and Menu keys bring the menu back", faults,
           "from " + Count(titles.size(), "title", "titles"));
}

void CheckNavigation(DiscCheckReport& report, const std::string& folderOrIso,
                     const CheckLimits& limits)
{
    DiscPlayer player(folderOrIso, limits);
    const Halt first = player.play();
    if (!CheckStart(report, first, limits))
        return;
    const std::vector<PageFacts> pages = ExplorePages(folderOrIso, limits, first);
    CheckLights(report, pages);
    CheckTitleButtons(report, pages, player.titleCount(), limits);
    CheckPageLinks(report, pages);
    CheckTitleReturns(report, folderOrIso, limits, pages);
    CheckMenuKeys(report, folderOrIso, limits, pages);
}

} // namespace

DiscCheckReport VerifyDisc(const std::string& folderOrIso, const DiscCheckOptions& options)
{
    CheckLimits limits;
    static_cast<DiscCheckOptions&>(limits) = options;
    limits.deadline = std::chrono::steady_clock::now() + options.totalTimeLimit;
    DiscCheckReport report;
    CheckNavigation(report, folderOrIso, limits);
    // The streams are judged even when the menus fail: a player meets both.
    CheckDiscStreams(report, folderOrIso, limits);
    return report;
}
