#include "usage.h"

#include <array>

namespace {

constexpr std::array kCommands{
    CommandUsage{"tavrel [PROJECT]",
                 "Without options the editor opens, with PROJECT when one is given.\n"},
    CommandUsage{
        "tavrel --export FILE [--size N] [--type bmp|gif|jpg|png] [--set KEY=VALUE]... [PROJECT]",
        "With options the menu is made without a window: PROJECT (if any) is loaded,\n"
        "the --set values are applied in order, and the menu is exported and/or saved.\n"
        "  --export FILE   write the menu picture; the type follows the extension\n"
        "                  (.bmp .gif .jpg .jpeg .png) unless --type is given\n"
        "  --type T        bmp, gif, jpg or png\n"
        "  --size N        0 = 704x480, 1 = 704x576, 2 = 720x480, 3 = 720x576 (default 0)\n"
        "  --set KEY=VALUE set a project value, as in the project file:\n"
        "                  title subtitle footnote textfont bgimage (text),\n"
        "                  boldtext shadowtext thumbs numbers quality (true|false),\n"
        "                  textcolor bgcolor (hex BBGGRR), titlesize captionsize (5..15),\n"
        "                  menustart (0..990), menucount (0..10),\n"
        "                  menucaptionN menuclipN menuframeN (N = 1..10; frame -1: picture;\n"
        "                  frame auto: a representative frame of the movie is chosen\n"
        "                  and its number stored),\n"
        "                  aspect (pixels|4:3|16:9), fittext tvsafe safelayout\n"
        "                  (true|false),\n"
        "                  buttonstyle (underline|frame|text|none),\n"
        "                  highlightcolor selectcolor (hex BBGGRR),\n"
        "                  menutitleN (the movie item N plays on a DVD; default: its\n"
        "                  thumbnail's movie)\n"
        "                  A path holding a line break is refused: a project file\n"
        "                  cannot keep it.\n"
        "                  A background or shown thumbnail that cannot be loaded stops\n"
        "                  the command before anything is written (status 3).\n"},
    CommandUsage{"tavrel --disc-menu DIR [--size N] [--set KEY=VALUE]... [PROJECT]",
                 "  --disc-menu DIR write a DVD menu into DIR: menu.png, the button masks\n"
                 "                  highlight.png and select.png, spumux.xml, menu_bg.mpg,\n"
                 "                  menu.mpg (with the buttons, made by spumux) and "
                 "dvdauthor.xml;\n"
                 "                  a VCD size (0 or 1) gives menu.png only\n"},
    CommandUsage{"tavrel --save OUT.tavrel [--set KEY=VALUE]... [PROJECT]",
                 "  --save FILE     write the project file\n"},
    CommandUsage{"tavrel --check [--size N] [--set KEY=VALUE]... [PROJECT]",
                 "  --check         print what will go wrong on a TV (text outside title-safe,\n"
                 "                  frames outside action-safe, overlaps, small or faint text,\n"
                 "                  colours too saturated for a TV,\n"
                 "                  one-pixel lines) as warning: lines; exit status 4 if any.\n"
                 "                  Every command that makes the picture prints the same\n"
                 "                  warnings and still exits 0\n"},
    CommandUsage{"tavrel --batch TABLE.csv --out DIR [--template PROJECT] [--type T] [--size N] "
                 "[--save] [--disc-menu] [--jobs N]",
                 "  --batch TABLE   one menu per row of a comma-separated table whose first line\n"
                 "                  names project keys (as for --set) and, optionally, name;\n"
                 "                  each row is the template (or the defaults) with the row's\n"
                 "                  values applied, written as DIR/name.png (or the row number);\n"
                 "                  --save also writes DIR/name.tavrel, --disc-menu makes the\n"
                 "                  folder DIR/name/ instead; --jobs rows at once (default: one\n"
                 "                  per core, at most the number of cores). A row waits while\n"
                 "                  the others hold the memory it needs; a failing row is\n"
                 "                  reported and the others go on.\n"},
    CommandUsage{"tavrel --from-movies FILE... [--export FILE] [--save PROJECT] [--disc-menu DIR] "
                 "[--size N] [--type T] [--set KEY=VALUE]...",
                 "  --from-movies   a menu with one item per movie (at most ten): captions from\n"
                 "                  the file names, frames chosen automatically, the title from\n"
                 "                  the folder's name, no subtitle or footnote; then the --set\n"
                 "                  values.\n"},
    CommandUsage{"tavrel --dvd DIR [--iso FILE] [--capacity C] [--chapters MIN] [--jobs N] "
                 "[--size 2|3] [--subtitles none|all] [--set KEY=VALUE]... [PROJECT]",
                 "  --dvd DIR       a finished DVD in DIR: each item's movie (menutitleN, else\n"
                 "                  its thumbnail's movie) encoded as a title, the menu with\n"
                 "                  its buttons, VIDEO_TS authored with dvdauthor, with --iso\n"
                 "                  FILE a disc image (genisoimage), then the disc played once\n"
                 "                  as --verify-disc does. DIR must be new, empty or an earlier\n"
                 "                  disc folder of tavrel's; its VIDEO_TS is replaced only by a\n"
                 "                  complete new one. --capacity 4.7G (default) or 8.5G;\n"
                 "                  --chapters every MIN minutes where a movie has none (default\n"
                 "                  5, 0: none); --jobs titles encoded at once (default: one,\n"
                 "                  threaded over every core); --size 3 PAL (default) or 2 NTSC;\n"
                 "                  --subtitles all (default): each movie's text and DVD\n"
                 "                  subtitles, and MOVIE.srt or MOVIE.LANG.srt beside it, as\n"
                 "                  subtitles the player's Subtitle button turns on\n"},
    CommandUsage{"tavrel --from-movies FILE... --dvd DIR [--iso FILE] [options]",
                 "  --from-movies ... --dvd: the same for any number of movies; more than ten\n"
                 "                  make menu pages with Previous and Next\n"},
    CommandUsage{"tavrel --verify-disc DIR|ISO",
                 "  --verify-disc   play the disc in DIR (the folder holding VIDEO_TS) or the ISO\n"
                 "                  image as a player would: it starts on the menu and holds\n"
                 "                  still, every button lights and plays its title, Previous and\n"
                 "                  Next reach their pages, every title returns to its button and\n"
                 "                  the remote's Title and Menu keys bring the menu back. Prints\n"
                 "                  one line per check; exit status 8 if any fails, 3 if the disc\n"
                 "                  cannot be opened\n"},
    CommandUsage{"tavrel --burn DEVICE|auto --iso FILE [--speed N]",
                 "  --burn DEVICE   write the disc image FILE to the DVD writer DEVICE (/dev/sr0;\n"
                 "                  auto: the only writer present; stdio:PATH a file standing in\n"
                 "                  for one) with xorriso, at --speed N (1-24, default: the\n"
                 "                  drive's), read the disc back and compare it with the image,\n"
                 "                  then play it as --verify-disc does. A missing writer, no\n"
                 "                  disc, a written one or one too small is refused. With --dvd\n"
                 "                  DIR --iso FILE, the disc is made, checked, then burned\n"},
    CommandUsage{"tavrel --help", ""},
};

constexpr std::string_view kExamples =
    "Example table (menus.csv; quote a field holding commas, quotes or line breaks,\n"
    "doubling its quotes):\n"
    "  name,title,menucaption1,menuclip1,menuframe1\n"
    "  wedding-long,\"Anna & Ben, the film\",Ceremony,ceremony.mp4,auto\n"
    "  wedding-short,Anna & Ben,\"The \"\"short\"\" cut\",short.mp4,250\n"
    "  tavrel --batch menus.csv --out menus --template base.tavrel --size 3 --save\n"
    "    writes menus/wedding-long.png, menus/wedding-short.png and their projects.\n"
    "  tavrel --from-movies holiday/*.mp4 --size 3 --export holiday.png --save holiday.tavrel\n"
    "    makes a menu of up to ten movies with the title \"holiday\".\n"
    "  tavrel --from-movies holiday/*.mp4 --size 3 --dvd holiday-dvd --iso holiday.iso\n"
    "    makes the whole DVD of every movie in holiday/ and its disc image.\n";

constexpr std::string_view kExitStatus =
    "Exit status: 0 done, 1 a file could not be written, 2 bad option or value,\n"
    "3 the project, table, a movie or a picture could not be loaded, 4 --check found\n"
    "warnings, 5 spumux is missing or could not add the buttons to menu.mpg (the other\n"
    "disc files are written), 6 some rows of a --batch table failed (the others are\n"
    "written), 7 --dvd could not make the disc, 8 --verify-disc, --dvd or --burn found a\n"
    "fault in the disc or could not finish playing it, 9 --burn could not write the disc\n"
    "or it did not read back.\n";

} // namespace

std::span<const CommandUsage> CommandUsageTable()
{
    return kCommands;
}

std::string UsageText()
{
    std::string text;
    const char* lead = "Usage: ";
    for (const CommandUsage& command : kCommands) {
        text.append(lead).append(command.synopsis).append("\n");
        lead = "       ";
    }
    for (const CommandUsage& command : kCommands)
        if (!command.details.empty())
            text.append("\n").append(command.details);
    text.append("\n").append(kExamples).append("\n").append(kExitStatus);
    return text;
}
