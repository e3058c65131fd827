#include "discauthoring.h"

#include "base/failure.h"
#include "disc/discpagebuttons.h"

#include <cmath>
#include <cstdio>

namespace {

std::string videoLine(const DiscFormat& format, bool wide)
{
    std::string out = std::string("<video format=\"") + (format.pal() ? "pal" : "ntsc") +
                      "\" aspect=\"" + (wide ? "16:9" : "4:3") + "\"";
    if (wide)
        out += " widescreen=\"nopanscan\"";
    return out + "/>";
}

// The subpicture button number a register or `button =` takes.
std::string buttonValue(int index)
{
    return std::to_string(index * 1024);
}

// The 1-based place of a button in the page's subpicture; 0 when it has none.
int buttonIndex(const AuthoredPage& page, int item)
{
    for (std::size_t i = 0; i < page.buttons.size(); ++i)
        if (page.buttons[i].item == item)
            return static_cast<int>(i) + 1;
    return 0;
}

// Turning the page lands on the same kind of page button, so pressing on keeps paging.
std::string pageJump(const std::vector<AuthoredPage>& pages, int toPage, int item)
{
    const AuthoredPage& target = pages[static_cast<std::size_t>(toPage - 1)];
    int lit = buttonIndex(target, item);
    if (lit == 0)
        lit = buttonIndex(target, item == kNextPageItem ? kPreviousPageItem : kNextPageItem);
    return "g1 = " + buttonValue(lit == 0 ? 1 : lit) + "; jump menu " + std::to_string(toPage) +
           ";";
}

std::string pagePgc(const std::vector<AuthoredPage>& pages, std::size_t p, int titleCount)
{
    const AuthoredPage& page = pages[p];
    const int number = static_cast<int>(p) + 1;
    std::string out = number == 1 ? "      <pgc entry=\"title\">\n" : "      <pgc>\n";
    // A register set by a title's end or a page button picks the lit button; the entry
    // without one keeps the player's own choice.
    out += "        <pre>if (g1 != 0) { button = g1; g1 = 0; }</pre>\n";
    for (const DiscButton& b : page.buttons) {
        std::string action;
        if (b.item == kPreviousPageItem && number > 1)
            action = pageJump(pages, number - 1, kPreviousPageItem);
        else if (b.item == kNextPageItem && number < static_cast<int>(pages.size()))
            action = pageJump(pages, number + 1, kNextPageItem);
        else if (b.item >= 1 && b.item <= kItemCount) {
            const int title = page.firstTitle + b.item - 1;
            if (title < 1 || title > titleCount)
                throw Failure("Cannot write the disc's menus", "button " + b.name + " on page " +
                                                                   std::to_string(number) +
                                                                   " has no title");
            // From the VMGM a title is reached by its number on the whole disc.
            action = "jump title " + std::to_string(title) + ";";
        } else {
            throw Failure("Cannot write the disc's menus", "button " + b.name + " on page " +
                                                               std::to_string(number) +
                                                               " leads nowhere");
        }
        out += "        <button name=\"" + XmlEscape(b.name) + "\">" + action + "</button>\n";
    }
    out += "        <vob file=\"" + XmlEscape(page.menuFile) + "\" pause=\"inf\"/>\n";
    return out + "      </pgc>\n";
}

// Declared so that the player's Subtitle button offers them; none is shown until asked.
std::string subpictureLines(const AuthoredTitle& title)
{
    std::string out;
    for (const std::string& lang : title.subtitles)
        out += "      <subpicture" + (lang.empty() ? "" : " lang=\"" + XmlEscape(lang) + "\"") +
               "/>\n";
    return out;
}

struct Return {
    int page = 1;
    int button = 1;
};

std::vector<Return> returnsOf(const std::vector<AuthoredPage>& pages, std::size_t titleCount)
{
    std::vector<Return> returns(titleCount);
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t i = 0; i < pages[p].buttons.size(); ++i) {
            const DiscButton& b = pages[p].buttons[i];
            if (b.item < 1 || b.item > kItemCount)
                continue;
            const int title = pages[p].firstTitle + b.item - 1;
            if (title >= 1 && title <= static_cast<int>(titleCount))
                returns[static_cast<std::size_t>(title - 1)] = {static_cast<int>(p) + 1,
                                                                static_cast<int>(i) + 1};
        }
    return returns;
}

// The player's Audio button names each track by its language.
std::string audioLines(const AuthoredTitle& title)
{
    std::string out;
    for (const std::string& lang : title.audioLanguages)
        out +=
            lang.empty() ? "      <audio/>\n" : "      <audio lang=\"" + XmlEscape(lang) + "\"/>\n";
    return out;
}

std::string titleset(const DiscFormat& format, const AuthoredTitle& title, const Return& back)
{
    const std::string toMenu = "g1 = " + buttonValue(back.button) + "; ";
    const std::string page = std::to_string(back.page);
    std::string out = "  <titleset>\n"
                      "    <menus>\n"
                      "      " +
                      videoLine(format, title.wide) +
                      "\n"
                      "      <pgc entry=\"root\">\n"
                      "        <pre>" +
                      toMenu + "jump vmgm menu " + page +
                      ";</pre>\n"
                      "      </pgc>\n"
                      "    </menus>\n"
                      "    <titles>\n"
                      "      " +
                      videoLine(format, title.wide) + "\n" + audioLines(title) +
                      subpictureLines(title) +
                      "      <pgc>\n"
                      "        <vob file=\"" +
                      XmlEscape(title.file) + "\"";
    if (title.chapters.size() > 1)
        out += " chapters=\"" + ChapterList(title.chapters) + "\"";
    out += "/>\n"
           "        <post>" +
           toMenu + "call vmgm menu " + page +
           ";</post>\n"
           "      </pgc>\n"
           "    </titles>\n"
           "  </titleset>\n";
    return out;
}

} // namespace

std::string ChapterList(const std::vector<double>& starts)
{
    std::string out;
    for (const double start : starts) {
        const long long s = std::llround(std::max(0.0, start));
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
        if (!out.empty())
            out += ',';
        out += text;
    }
    return out.empty() ? "0:00:00" : out;
}

std::string WholeDiscXml(const DiscFormat& menuFormat, const std::vector<AuthoredPage>& pages,
                         const std::vector<AuthoredTitle>& titles)
{
    if (titles.empty() || pages.empty())
        throw Failure("Cannot write the disc's menus", "the disc has no titles");
    if (titles.size() > static_cast<std::size_t>(kMaxDiscTitles))
        throw Failure("Too many titles for one disc", std::to_string(titles.size()) +
                                                          " movies, but a DVD holds at most " +
                                                          std::to_string(kMaxDiscTitles));
    const int titleCount = static_cast<int>(titles.size());
    std::string out = std::string("<dvdauthor format=\"") + (menuFormat.pal() ? "pal" : "ntsc") +
                      "\">\n"
                      "  <vmgm>\n"
                      "    <fpc>jump menu 1;</fpc>\n"
                      "    <menus>\n"
                      "      " +
                      videoLine(menuFormat, menuFormat.wide) + "\n";
    if (menuFormat.wide)
        out += "      <subpicture>\n"
               "        <stream id=\"0\" mode=\"widescreen\"/>\n"
               "        <stream id=\"1\" mode=\"letterbox\"/>\n"
               "      </subpicture>\n";
    for (std::size_t p = 0; p < pages.size(); ++p)
        out += pagePgc(pages, p, titleCount);
    out += "    </menus>\n"
           "  </vmgm>\n";
    const std::vector<Return> returns = returnsOf(pages, titles.size());
    for (std::size_t t = 0; t < titles.size(); ++t)
        out += titleset(menuFormat, titles[t], returns[t]);
    return out + "</dvdauthor>\n";
}
