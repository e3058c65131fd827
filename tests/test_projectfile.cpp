#include "childrun.h"
#include "document/menudocument.h"
#include "document/projectfile.h"
#include "document/projectparse.h"
#include "document/sourcefinder.h"
#include "filecallrecorder.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class RecordingHost : public ProjectLoadHost {
public:
    void showError(const std::string& message) override { errors.push_back(message); }
    void showInformation(const std::string& message) override { infos.push_back(message); }
    void beginBusy() override { ++busy; }
    void endBusy() override { --busy; }
    bool retakeMovieFrame(MenuDocument& doc, int n, std::string&) override
    {
        retakes.push_back(n);
        renderEnabledDuringRetake = renderEnabledDuringRetake && !doc.RenderEnabled;
        return true;
    }
    std::vector<std::string> searchFolders() const override { return extraFolders; }
    void reportLoad(const LoadReport& r) override
    {
        ++reports;
        report = r;
    }

    std::vector<std::string> extraFolders;
    LoadReport report;
    int reports = 0;
    std::vector<std::string> errors;
    std::vector<std::string> infos;
    std::vector<int> retakes;
    int busy = 0;
    bool renderEnabledDuringRetake = true; // stays true while every retake saw it false
};

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = FreshTestDir("projectfile");
        doc.installedFonts = {"Arial", "DejaVu Sans", "Liberation Serif"};
        doc.Reset();
        doc.onRefresh = [this] { ++refreshes; };
        doc.onSyncPanel = [this] { ++panelSyncs; };
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string writeFile(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Loads `text` and returns the error thrown, or "" when the load ended normally.
    std::string load(const std::string& text)
    {
        path = writeFile("menu.tavrel", text);
        try {
            loaded = LoadProject(doc, path, host);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return {};
    }

    fs::path dir;
    MenuDocument doc;
    RecordingHost host;
    std::string path;
    bool loaded = false;
    int refreshes = 0;
    int panelSyncs = 0;
};

// A file with the header and every field at the values of a new document, CR LF.
std::string defaultFile(const std::string& breakText = "\r\n")
{
    std::string text = "id=Tavrel" + breakText + "version=100" + breakText;
    const char* fields[] = {"menustart=1",       "menucount=10",   "thumbs=true",
                            "numbers=true",      "bgimage=",       "bgcolor=FFFFFF",
                            "textcolor=000000",  "textfont=Arial", "boldtext=true",
                            "shadowtext=false",  "title=Title",    "subtitle=Subtitle",
                            "footnote=Footnote", "titlesize=10",   "captionsize=10"};
    for (const char* field : fields)
        text += field + breakText;
    for (int n = 1; n <= 10; ++n) {
        const std::string num = std::to_string(n);
        text += "menucaption" + num + "=" + breakText + "menuclip" + num + "=" + breakText +
                "menuframe" + num + "=0" + breakText;
    }
    text += "quality=false" + breakText;
    return text;
}

// The default file with the value of one line replaced.
std::string withValue(std::string text, const std::string& key, const std::string& value)
{
    const auto pos = text.find(key + "=");
    const auto end = text.find_first_of("\r\n", pos);
    return text.replace(pos, end - pos, key + "=" + value);
}

// A 2 x 2 24-bit BMP, bottom row first.
std::string tinyBmp()
{
    const unsigned char bytes[] = {
        'B', 'M', 70, 0, 0,  0, 0, 0, 0,   0, 54,  0, 0, 0, 40,  0, 0, 0, 2,   0,   0,   0, 2, 0,
        0,   0,   1,  0, 24, 0, 0, 0, 0,   0, 16,  0, 0, 0, 0,   0, 0, 0, 0,   0,   0,   0, 0, 0,
        0,   0,   0,  0, 0,  0, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST_F(ProjectFileTest, WrittenFileHasTheExactBytes)
{
    doc.setMenustart(5);
    doc.setMenucount(2);
    doc.setTitle("My = menu");
    doc.setBgcolor(0x0000FF);
    doc.setTextcolor(0x0A0B0C);
    doc.item(1).menucaption = "One";
    doc.item(2).source.menuclip = "/m/a b.mpg";
    doc.item(2).source.menuframe = 1250;
    doc.item(3).source.menuclip = "/p/c.jpg";
    doc.item(3).source.menuframe = -1;

    std::string expected =
        "id=Tavrel\r\nversion=100\r\nmenustart=5\r\nmenucount=2\r\nthumbs=true\r\nnumbers=true\r\n"
        "bgimage=\r\nbgcolor=0000FF\r\ntextcolor=0A0B0C\r\ntextfont=Arial\r\nboldtext=true\r\n"
        "shadowtext=false\r\ntitle=My = menu\r\nsubtitle=Subtitle\r\nfootnote=Footnote\r\n"
        "titlesize=10\r\ncaptionsize=10\r\n"
        "menucaption1=One\r\nmenuclip1=\r\nmenuframe1=0\r\n"
        "menucaption2=\r\nmenuclip2=/m/a b.mpg\r\nmenuframe2=1250\r\n"
        "menucaption3=\r\nmenuclip3=/p/c.jpg\r\nmenuframe3=-1\r\n";
    for (int n = 4; n <= 10; ++n) {
        const std::string num = std::to_string(n);
        expected += "menucaption" + num + "=\r\nmenuclip" + num + "=\r\nmenuframe" + num + "=0\r\n";
    }
    expected += "quality=false\r\n";

    const std::string file = (dir / "exact.tavrel").string();
    SaveProject(doc, file);
    EXPECT_EQ(readFile(file), expected);
    EXPECT_EQ(doc.CurrentFileName, file);
}

TEST_F(ProjectFileTest, RoundTripRestoresEveryField)
{
    const std::string picture = writeFile("cover.bmp", tinyBmp());
    const std::string movie = writeFile("clip.mpg", "not really a movie");
    doc.setMenustart(990);
    doc.setMenucount(3);
    doc.setThumbs(false);
    doc.setNumbers(false);
    doc.setBgcolor(0x0000FF);
    doc.setTextcolor(0);
    doc.setTextfont("");
    doc.setBoldtext(false);
    doc.setShadowtext(true);
    doc.setTitle("Holiday 2024");
    doc.setSubtitle("Caf\xC3\xA9 \xE2\x82\xAC");
    doc.setFootnote("a=b=c");
    doc.setTitlesize(15);
    doc.setCaptionsize(5);
    doc.setQuality(true);
    for (int n = 1; n <= 10; ++n)
        doc.item(n).menucaption = "Caption " + std::to_string(n); // items beyond menucount too
    doc.item(2).source.menuclip = picture;
    doc.item(2).source.menuframe = -1;
    doc.item(7).source.menuclip = movie;
    doc.item(7).source.menuframe = 1250;
    doc.item(9).source.menuframe = 42;
    const std::string before = ProjectFileText(doc);
    const std::string file = (dir / "round.tavrel").string();
    SaveProject(doc, file);

    MenuDocument other;
    other.installedFonts = doc.installedFonts;
    other.Reset();
    RecordingHost otherHost;
    EXPECT_TRUE(LoadProject(other, file, otherHost));
    EXPECT_EQ(ProjectFileText(other), before);
    EXPECT_EQ(other.menustart, 990);
    EXPECT_EQ(other.menucount, 3);
    EXPECT_EQ(other.textfont, "");
    EXPECT_EQ(other.bgcolor, 0x0000FFu);
    EXPECT_EQ(other.subtitle, "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(other.item(10).menucaption, "Caption 10");
    EXPECT_EQ(other.item(9).source.menuframe, 42);
    EXPECT_EQ(other.CurrentFileName, file);
    // Only the movie goes through the host; the picture is decoded directly.
    EXPECT_EQ(otherHost.retakes, std::vector<int>{7});
    EXPECT_TRUE(otherHost.errors.empty());
    EXPECT_EQ(other.item(2).source.ThumbnailImage.width(), 2);
    EXPECT_TRUE(other.item(7).source.ThumbnailImage.isEmpty());
}

// Later settings follow the 48 lines only when they are not at their defaults, so that a
// project using none of them stays the 48-line file older readers know.
TEST_F(ProjectFileTest, LaterSettingsFollowTheFortyEightLinesOnlyWhenSet)
{
    const std::string plain = ProjectFileText(doc);
    doc.setAspect(MenuAspect::Wide);
    doc.setTvsafe(true);
    doc.setButtonstyle(ButtonStyle::Frame);
    doc.setSelectcolor(0x123456);
    doc.item(10).menutitle = "/films/long cut.mp4";
    const std::string text = ProjectFileText(doc);
    EXPECT_EQ(text, plain + "aspect=16:9\r\ntvsafe=true\r\nbuttonstyle=frame\r\n"
                            "selectcolor=123456\r\nmenutitle10=/films/long cut.mp4\r\n");

    const std::string file = writeFile("later.tavrel", text);
    MenuDocument other;
    other.installedFonts = doc.installedFonts;
    other.Reset();
    RecordingHost otherHost;
    ASSERT_TRUE(LoadProject(other, file, otherHost));
    EXPECT_EQ(ProjectFileText(other), text);
    EXPECT_EQ(other.item(10).menutitle, "/films/long cut.mp4");

    // A 48-line file brings every later setting back to its default; bad values read as
    // defaults instead of ending the load.
    const std::string bad =
        writeFile("bad.tavrel", plain + "aspect=21:9\r\nfittext=yes\r\nbuttonstyle=glow\r\n"
                                        "highlightcolor=red\r\nselectcolor=\r\n");
    ASSERT_TRUE(LoadProject(other, bad, otherHost));
    EXPECT_EQ(ProjectFileText(other), plain);
    other.setAspect(MenuAspect::Standard);
    ASSERT_TRUE(LoadProject(other, writeFile("plain.tavrel", plain), otherHost));
    EXPECT_EQ(other.aspect, MenuAspect::Pixels);
    EXPECT_TRUE(otherHost.errors.empty());
}

TEST_F(ProjectFileTest, LineBreaksInTextsCannotAddLines)
{
    doc.setTitle("x\r\ncaptionsize=15");
    const std::string text = ProjectFileText(doc);
    EXPECT_NE(text.find("title=x  captionsize=15\r\n"), std::string::npos);
    EXPECT_EQ(load(text), "");
    EXPECT_EQ(doc.captionsize, 10);
}

TEST_F(ProjectFileTest, KeysAndValuesFollowTheReaderRules)
{
    std::string text = defaultFile();
    text = withValue(text, "thumbs", "True"); // exactly "true" only
    text = withValue(text, "numbers", "false");
    text = withValue(text, "menustart", "2000"); // clamped to 990
    text = withValue(text, "menucount", "-3");   // clamped to 0
    text = withValue(text, "titlesize", "abc");  // malformed: 10
    text = withValue(text, "captionsize", "99"); // clamped to 15
    text = withValue(text, "textfont", "dejavu SANS");
    text.replace(text.find("subtitle="), 8, "SubTitle");
    text.replace(text.find("title=Title"), 11, "title = X");
    text += "subtitle=second\r\n";
    doc.setTitlesize(12);
    refreshes = 0;

    EXPECT_EQ(load(text), "");
    EXPECT_TRUE(loaded);
    EXPECT_FALSE(doc.thumbs);
    EXPECT_FALSE(doc.numbers);
    EXPECT_EQ(doc.menustart, 990);
    EXPECT_EQ(doc.menucount, 0);
    EXPECT_EQ(doc.titlesize, 10);
    EXPECT_EQ(doc.captionsize, 15);
    EXPECT_EQ(doc.textfont, "DejaVu Sans");
    EXPECT_EQ(doc.subtitle, "Subtitle"); // first of the two wins, key in another case
    EXPECT_EQ(doc.title, "");            // "title " is another key
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(panelSyncs, 1);
    EXPECT_EQ(doc.CurrentFileName, path);
    EXPECT_TRUE(doc.RenderEnabled);
    EXPECT_EQ(host.busy, 0);
}

TEST_F(ProjectFileTest, FontNotInstalledIsSavedEmpty)
{
    EXPECT_EQ(load(withValue(defaultFile(), "textfont", "Comic Sans MS")), "");
    EXPECT_EQ(doc.textfont, "");
    EXPECT_NE(ProjectFileText(doc).find("\r\ntextfont=\r\n"), std::string::npos);
}

TEST_F(ProjectFileTest, FailedFormatCheckChangesNothingButNamesTheFile)
{
    doc.setTitle("Kept");
    refreshes = 0;
    const std::string before = ProjectFileText(doc);
    const std::string text = withValue(withValue(defaultFile(), "id", "tavrel"), "title", "New");
    EXPECT_EQ(load(text), "");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(host.errors, std::vector<std::string>{"Invalid file format"});
    EXPECT_EQ(ProjectFileText(doc), before);
    EXPECT_EQ(doc.CurrentFileName, path);
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(doc.RenderEnabled);

    EXPECT_EQ(load(withValue(defaultFile(), "version", "101")), "");
    EXPECT_FALSE(loaded);
}

TEST_F(ProjectFileTest, ErrorsEndTheLoadKeepingWhatWasApplied)
{
    doc.setCurrentFileName("/old.tavrel");
    refreshes = 0;

    EXPECT_EQ(load("id=Tavrel\r\nversion=100\r\n"), "'' is not a valid integer value");
    EXPECT_EQ(doc.CurrentFileName, "/old.tavrel");
    EXPECT_EQ(refreshes, 0);
    EXPECT_TRUE(doc.RenderEnabled);
    EXPECT_EQ(host.busy, 0);

    // Fields before the bad colour stay applied; the panel shows them.
    std::string text = withValue(withValue(defaultFile(), "menustart", "7"), "bgcolor", "xyz");
    panelSyncs = 0;
    EXPECT_EQ(load(withValue(text, "title", "Never")), "'$xyz' is not a valid integer value");
    EXPECT_EQ(doc.menustart, 7);
    EXPECT_EQ(doc.title, "Title");
    EXPECT_EQ(panelSyncs, 1);

    // A bad frame: earlier items and this item's caption and clip are in.
    text = withValue(withValue(defaultFile(), "menucaption4", "four"), "menucaption5", "five");
    EXPECT_EQ(load(withValue(text, "menuframe5", "12x")), "'12x' is not a valid integer value");
    EXPECT_EQ(doc.item(4).menucaption, "four");
    EXPECT_EQ(doc.item(5).menucaption, "five");
    EXPECT_EQ(doc.CurrentFileName, "/old.tavrel");
    EXPECT_EQ(refreshes, 0);

    // Decimals take a sign and 32-bit values only.
    EXPECT_EQ(load(withValue(defaultFile(), "menuframe1", "2147483648")),
              "'2147483648' is not a valid integer value");
    EXPECT_EQ(load(withValue(defaultFile(), "menuframe1", " 5")),
              "' 5' is not a valid integer value");
    EXPECT_EQ(load(withValue(defaultFile(), "menuframe1", "-2147483648")), "");
    EXPECT_EQ(doc.item(1).source.menuframe, -2147483647 - 1);
}

TEST_F(ProjectFileTest, MissingFileLeavesTheDocumentAlone)
{
    const std::string before = ProjectFileText(doc);
    const std::string missing = (dir / "nothere.tavrel").string();
    try {
        LoadProject(doc, missing, host);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + missing + ": No such file or directory");
    }
    EXPECT_EQ(ProjectFileText(doc), before);
    EXPECT_EQ(refreshes, 0);
    EXPECT_TRUE(doc.RenderEnabled);
    EXPECT_EQ(host.busy, 0);

    // A folder opens for reading but cannot be read: the same message with its reason.
    try {
        LoadProject(doc, dir.string(), host);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.string() + ": Is a directory");
    }
    EXPECT_EQ(ProjectFileText(doc), before);
}

TEST_F(ProjectFileTest, ThumbnailSourcesAreTakenAgain)
{
    const std::string picture = writeFile("pic.bmp", tinyBmp());
    const std::string broken = writeFile("broken.bmp", "BM nonsense");
    const std::string movie = writeFile("movie.avi", "RIFF");
    const std::string missing = (dir / "gone.jpg").string();
    std::string text = defaultFile();
    text = withValue(withValue(text, "menuclip1", picture), "menuframe1", "-1");
    text = withValue(withValue(text, "menuclip2", missing), "menuframe2", "-1");
    text = withValue(withValue(text, "menuclip3", broken), "menuframe3", "-1");
    text = withValue(withValue(text, "menuclip4", movie), "menuframe4", "1250");
    text = withValue(withValue(text, "menuclip5", movie), "menuframe5", "-7");
    doc.item(6).source.ThumbnailImage.reset(4, 4); // a stale picture without a source

    EXPECT_EQ(load(text), "");
    EXPECT_TRUE(host.errors.empty());
    // One report at the end tells everything.
    EXPECT_EQ(host.reports, 1);
    ASSERT_EQ(host.report.notFound.size(), 1u);
    EXPECT_EQ(host.report.notFound[0].what, "item 2");
    EXPECT_EQ(host.report.notFound[0].stored, missing);
    EXPECT_EQ(
        host.report.failures,
        std::vector<std::string>{
            "Cannot read picture broken.bmp: the file is damaged (Bitmap image is not valid)."});
    EXPECT_EQ(host.report.picturesLoaded, 1);
    EXPECT_EQ(host.report.moviesLoaded, 2);
    std::string summary = "2 movie clips loaded; 1 picture loaded; 1 source not found: ";
    summary += missing;
    summary += " (item 2).\nCannot read picture broken.bmp: the file is damaged (Bitmap image is "
               "not valid).";
    EXPECT_EQ(LoadSummaryText(host.report), summary);
    EXPECT_EQ(doc.item(2).source.menuclip, missing);
    EXPECT_EQ(doc.item(2).source.menuframe, -1);
    EXPECT_EQ(doc.item(1).source.ThumbnailImage.width(), 2);
    EXPECT_TRUE(doc.item(3).source.ThumbnailImage.isEmpty());
    EXPECT_TRUE(doc.item(6).source.ThumbnailImage.isEmpty());
    // Every frame but -1 goes down the movie path, below -1 included.
    EXPECT_EQ(host.retakes, (std::vector<int>{4, 5}));
    EXPECT_TRUE(host.renderEnabledDuringRetake);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(ProjectFileTest, MovedProjectFolderFindsEverySource)
{
    // A project with its pictures and movies, moved to another place as a whole.
    const fs::path old = dir / "old";
    fs::create_directories(old / "pictures" / "deep");
    fs::create_directories(dir / "other");
    const auto put = [](const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    };
    const std::string cover = put(old / "pictures" / "cover.bmp", tinyBmp());
    const std::string back = put(old / "back.bmp", tinyBmp());
    const std::string movie = put(old / "clip.mpg", "not looked into by this host");
    const std::string deep = put(old / "pictures" / "deep" / "Deep.BMP", tinyBmp());
    const std::string elsewhere = put(dir / "other" / "chosen.bmp", tinyBmp());
    std::string text = withValue(defaultFile(), "bgimage", back);
    text = withValue(withValue(text, "menuclip1", cover), "menuframe1", "-1");
    text = withValue(withValue(text, "menuclip2", movie), "menuframe2", "12");
    // Written on Windows, in another case: found by its name all the same.
    text = withValue(withValue(text, "menuclip3", "C:\\Menus\\deep.bmp"), "menuframe3", "-1");
    text = withValue(withValue(text, "menuclip4", "/gone/chosen.bmp"), "menuframe4", "-1");
    text = withValue(withValue(text, "menuclip5", "/gone/nowhere.bmp"), "menuframe5", "-1");
    const fs::path project = old / "menu.tavrel";
    std::ofstream(project, std::ios::binary) << text;
    fs::rename(old, dir / "new");
    const fs::path now = dir / "new";

    host.extraFolders = {(dir / "other").string() + "/"};
    EXPECT_TRUE(LoadProject(doc, (now / "menu.tavrel").string(), host));
    EXPECT_EQ(doc.bgimage, (now / "back.bmp").string());
    EXPECT_EQ(doc.BackgroundPicture.width(), 2);
    EXPECT_EQ(doc.item(1).source.menuclip, (now / "pictures" / "cover.bmp").string());
    EXPECT_EQ(doc.item(1).source.ThumbnailImage.width(), 2);
    EXPECT_EQ(doc.item(2).source.menuclip, (now / "clip.mpg").string());
    EXPECT_EQ(doc.item(3).source.menuclip, (now / "pictures" / "deep" / "Deep.BMP").string());
    EXPECT_EQ(doc.item(4).source.menuclip, (dir / "other" / "chosen.bmp").string());
    EXPECT_EQ(host.retakes, std::vector<int>{2});
    ASSERT_EQ(host.report.relinked.size(), 5u);
    EXPECT_EQ(host.report.relinked[0].what, "background");
    EXPECT_EQ(host.report.relinked[0].stored, back);
    ASSERT_EQ(host.report.notFound.size(), 1u);
    EXPECT_EQ(host.report.notFound[0].stored, "/gone/nowhere.bmp");
    EXPECT_TRUE(host.report.failures.empty());
    // The file keeps its paths until the user saves.
    EXPECT_EQ(readFile((now / "menu.tavrel").string()), text);
    (void)deep;
    (void)elsewhere;
}

TEST(SourceFinderTest, NearestFirstExactCaseFirstAndBounded)
{
    const fs::path root = fs::path(::testing::TempDir()) / ("finder_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "a" / "b" / "c");
    fs::create_directories(root / ".hidden");
    for (const fs::path& p :
         {root / "a" / "b" / "c" / "x.png", root / "a" / "x.png", root / "a" / "Y.PNG",
          root / "a" / "b" / "y.png", root / ".hidden" / "z.png", root / "a" / "b" / "c" / "w.png"})
        std::ofstream(p) << "x";
    fs::create_directory_symlink(root, root / "a" / "loop"); // never followed

    SourceFinder finder({{root.string(), 2}});
    EXPECT_EQ(finder.find("/old/x.png"), (root / "a" / "x.png").string());
    EXPECT_EQ(finder.find("D:\\y.png"), (root / "a" / "b" / "y.png").string());
    EXPECT_EQ(finder.find("/old/z.png"), "");   // hidden folders are not searched
    EXPECT_EQ(finder.find("/old/w.png"), "");   // three levels down: beyond the depth
    EXPECT_EQ(finder.find("/old/folder/"), ""); // no file name

    // A tree larger than the bound is read only up to it.
    for (int i = 0; i < 50; ++i)
        std::ofstream(root / std::to_string(i)) << "x";
    SourceFinder small({{root.string(), 3}}, 10);
    EXPECT_EQ(small.find("/old/w.png"), "");
    fs::remove_all(root);
}

TEST_F(ProjectFileTest, LineBreaksAndEncodings)
{
    std::string text = withValue(defaultFile("\n"), "menucaption1", "Caf\xE9 \x80 \x9F");
    EXPECT_EQ(load(text), "");
    EXPECT_EQ(doc.item(1).menucaption, "Caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8");

    text = withValue(defaultFile("\r"), "menucaption1", "Caf\xC3\xA9");
    EXPECT_EQ(load(text), "");
    EXPECT_EQ(doc.item(1).menucaption, "Caf\xC3\xA9");

    // No break after the last line, and a byte-order mark in front.
    text = "\xEF\xBB\xBF" + withValue(defaultFile(), "quality", "true");
    text.resize(text.size() - 2);
    EXPECT_EQ(load(text), "");
    EXPECT_TRUE(doc.quality);

    // A file name that is not UTF-8 costs only its own line, not the other texts, and
    // keeps its bytes when no file answers to the Windows-1252 reading of them.
    MenuDocument written;
    written.setTitle("Caf\xC3\xA9");
    written.item(1).source.menuclip = "/nowhere/caf\xE9.mpg";
    written.item(1).source.menuframe = -1;
    EXPECT_EQ(load(ProjectFileText(written)), "");
    EXPECT_EQ(doc.title, "Caf\xC3\xA9");
    EXPECT_EQ(doc.item(1).source.menuclip, "/nowhere/caf\xE9.mpg");

    // The decoders on their own: overlong and surrogate forms are not UTF-8.
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(Windows1252ToUtf8("\x81\xFF"), "\xC2\x81\xC3\xBF");
}

TEST_F(ProjectFileTest, FailedSaveKeepsWhatWasThere)
{
    doc.setCurrentFileName("/old.tavrel");
    const std::string noFolder = (dir / "missing" / "x.tavrel").string();
    try {
        SaveProject(doc, noFolder);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file " + noFolder + ": No such file or directory");
    }
    EXPECT_EQ(doc.CurrentFileName, "/old.tavrel");

    // A directory in the way cannot be replaced; what it holds stays.
    const fs::path inTheWay = dir / "taken.tavrel";
    fs::create_directories(inTheWay);
    const std::string inside = writeFile("taken.tavrel/keep", "old");
    EXPECT_THROW(SaveProject(doc, inTheWay.string()), std::runtime_error);
    EXPECT_EQ(readFile(inside), "old");
    EXPECT_EQ(doc.CurrentFileName, "/old.tavrel");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind(".tavrel-", 0), std::string::npos)
            << "temporary left";
}

TEST_F(ProjectFileTest, SavedProjectIsFlushedBeforeTheRename)
{
    const std::string target = writeFile("menu.tavrel", "old");
    StartRecordingFileCalls();
    SaveProject(doc, target);
    const std::vector<FileCall> calls = StopRecordingFileCalls();
    int renames = 0;
    EXPECT_EQ(CheckFlushedBeforeRename(calls, renames), "");
    EXPECT_EQ(renames, 1);
    EXPECT_EQ(readFile(target), ProjectFileText(doc));
}

TEST_F(ProjectFileTest, HostileFilesFailCleanly)
{
    // A single huge line is refused before it is held in memory twice over.
    {
        const fs::path big = dir / "big.tavrel";
        std::ofstream(big, std::ios::binary) << "id=Tavrel\r\nversion=100\r\ntitle=";
        fs::resize_file(big, 100 << 20); // sparse: costs neither time nor disk
        try {
            LoadProject(doc, big.string(), host);
            FAIL() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file " + big.string() + ": File too large");
        }
        EXPECT_EQ(doc.title, "Title");
        EXPECT_TRUE(doc.RenderEnabled);
    }

    // Binary garbage fails the format check.
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    EXPECT_EQ(load(garbage), "");
    EXPECT_FALSE(loaded);

    // Ten thousand lines of noise between the real ones.
    std::string noisy = "id=Tavrel\r\nversion=100\r\n";
    for (int i = 0; i < 10000; ++i)
        noisy += "noise" + std::to_string(i) + (i % 2 ? "=x\r\n" : "\n");
    EXPECT_EQ(load(noisy + withValue(defaultFile(), "title", "Found")), "");
    EXPECT_EQ(doc.title, "Found");

    EXPECT_EQ(load(std::string()), "");
    EXPECT_FALSE(loaded);

    // The hostile files the fuzz replay runs too: each is refused, with the format check or
    // with an error message, and the load ends with the document drawable.
    int crashers = 0;
    for (const fs::path& crasher : TestDataFiles("crashers/project")) {
        SCOPED_TRACE(crasher.string());
        doc.Reset();
        loaded = true;
        try {
            loaded = LoadProject(doc, crasher.string(), host);
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()), "");
            loaded = false;
        }
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(doc.RenderEnabled);
        ++crashers;
    }
    EXPECT_GE(crashers, 4);
}

TEST(ProjectParse, NumbersAndKeys)
{
    EXPECT_EQ(ParseDecimal("+12"), 12);
    EXPECT_EQ(ParseDecimal("007"), 7);
    EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
    EXPECT_FALSE(ParseDecimal("-"));
    EXPECT_FALSE(ParseDecimal("1e3"));
    EXPECT_FALSE(ParseDecimal("99999999999999999999"));
    EXPECT_EQ(ParseHexColor("ff00aB"), 0xFF00ABu);
    EXPECT_EQ(ParseHexColor("00000000FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_FALSE(ParseHexColor("1FFFFFFFF"));
    EXPECT_FALSE(ParseHexColor("$FF"));
    EXPECT_FALSE(ParseHexColor("0x1"));
    EXPECT_EQ(FormatHexColor(0), "000000");
    EXPECT_EQ(FormatHexColor(0xABCDEF1), "ABCDEF1");
    EXPECT_EQ(FindProjectKey("MenuFrame10"), 46);
    EXPECT_EQ(ProjectKeyItem(FindProjectKey("menuframe10")), 10);
    EXPECT_EQ(ProjectKeyItem(FindProjectKey("menucaption1")), 1);
    EXPECT_EQ(ProjectKeyItem(FindProjectKey("quality")), 0);
    EXPECT_EQ(FindProjectKey("menuframe11"), -1);
}

} // namespace
