#include "discxml.h"

#include <algorithm>

namespace {

std::string nameOf(const std::vector<DiscButton>& buttons, int item)
{
    for (const DiscButton& b : buttons)
        if (b.item == item)
            return b.name;
    return {};
}

// Where no neighbour lies that way the cursor stays on the button itself.
void link(std::string& out, const char* direction, const std::vector<DiscButton>& buttons,
          const DiscButton& from, int to)
{
    std::string name = nameOf(buttons, to);
    if (name.empty())
        name = from.name;
    out += std::string(" ") + direction + "=\"" + XmlEscape(name) + "\"";
}

std::string videoElement(const DiscFormat& format)
{
    std::string out = std::string("<video format=\"") + (format.pal() ? "pal" : "ntsc") +
                      "\" aspect=\"" + (format.wide ? "16:9" : "4:3") + "\"";
    if (format.wide)
        out += " widescreen=\"nopanscan\"";
    return out + "/>";
}

} // namespace

std::string XmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string TitleFileName(int title)
{
    return "title" + std::to_string(title) + ".mpg";
}

std::string SpumuxXml(const DiscFormat& format, const std::vector<DiscButton>& buttons,
                      const std::string& highlightFile, const std::string& selectFile)
{
    std::string out = std::string("<subpictures format=\"") + (format.pal() ? "PAL" : "NTSC") +
                      "\">\n  <stream>\n    <spu start=\"00:00:00.00\" force=\"yes\" highlight=\"" +
                      XmlEscape(highlightFile) + "\" select=\"" + XmlEscape(selectFile) + "\">\n";
    // The list moves only up and down.
    const bool sideways = std::any_of(buttons.begin(), buttons.end(),
                                      [](const DiscButton& b) { return b.left || b.right; });
    for (const DiscButton& b : buttons) {
        out += "      <button name=\"" + XmlEscape(b.name) + "\" x0=\"" +
               std::to_string(b.box.left) + "\" y0=\"" + std::to_string(b.box.top) + "\" x1=\"" +
               std::to_string(b.box.right) + "\" y1=\"" + std::to_string(b.box.bottom) + "\"";
        link(out, "up", buttons, b, b.up);
        link(out, "down", buttons, b, b.down);
        if (sideways) {
            link(out, "left", buttons, b, b.left);
            link(out, "right", buttons, b, b.right);
        }
        out += "/>\n";
    }
    out += "    </spu>\n  </stream>\n</subpictures>\n";
    return out;
}

std::string DvdauthorXml(const DiscFormat& format, const std::vector<DiscButton>& buttons,
                         const std::string& menuFile)
{
    const std::string video = videoElement(format);
    std::string out = std::string("<dvdauthor format=\"") + (format.pal() ? "pal" : "ntsc") +
                      "\">\n"
                      "  <!-- The disc starts on the menu. -->\n"
                      "  <vmgm>\n"
                      "    <fpc>jump titleset 1 menu;</fpc>\n"
                      "  </vmgm>\n"
                      "  <titleset>\n"
                      "    <menus>\n"
                      "      " +
                      video + "\n";
    if (format.wide)
        out += "      <subpicture>\n"
               "        <stream id=\"0\" mode=\"widescreen\"/>\n"
               "        <stream id=\"1\" mode=\"letterbox\"/>\n"
               "      </subpicture>\n";
    out += "      <pgc entry=\"root\">\n";
    for (const DiscButton& b : buttons)
        out += "        <button name=\"" + XmlEscape(b.name) + "\">jump title " +
               std::to_string(b.item) + ";</button>\n";
    out += "        <vob file=\"" + XmlEscape(menuFile) +
           "\" pause=\"inf\"/>\n"
           "      </pgc>\n"
           "    </menus>\n"
           "    <!-- Your titles: one pgc per menu item, in the order of the buttons.\n"
           "         Put your own MPEG-2 program stream files in place of titleN.mpg\n"
           "         and set the video line below to their format and aspect;\n"
           "         each title returns to the menu when it ends. -->\n"
           "    <titles>\n"
           "      " +
           video + "\n";
    for (const DiscButton& b : buttons)
        out += "      <pgc>\n"
               "        <vob file=\"" +
               XmlEscape(TitleFileName(b.item)) +
               "\"/>\n"
               "        <post>call menu;</post>\n"
               "      </pgc>\n";
    out += "    </titles>\n"
           "  </titleset>\n"
           "</dvdauthor>\n";
    return out;
}
