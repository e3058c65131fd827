#include "document/menudocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A document wired like the main window wires it, recording what the observers saw.
struct WiredDocument {
    MenuDocument doc;
    int refreshes = 0;
    int refreshesWhileDisabled = 0;
    std::vector<int> relabels;
    int panelSyncs = 0;
    int captionChanges = 0;

    WiredDocument()
    {
        doc.onRefresh = [this] {
            ++refreshes;
            if (!doc.RenderEnabled)
                ++refreshesWhileDisabled;
        };
        doc.onMenuStartChanged = [this](int start) { relabels.push_back(start); };
        doc.onFileNameChanged = [this] { ++captionChanges; };
        doc.RenderEnabled = true;
    }

    void clearCounts()
    {
        refreshes = 0;
        relabels.clear();
        panelSyncs = 0;
        captionChanges = 0;
    }
};

void makeEverythingNonDefault(MenuDocument& doc)
{
    doc.setTitle("My title");
    doc.setSubtitle("");
    doc.setFootnote("Note");
    doc.setTextfont("Liberation Sans");
    doc.setBoldtext(false);
    doc.setShadowtext(true);
    doc.setTextcolor(0x0000FF);
    doc.setBgcolor(0x00FF00);
    doc.setTitlesize(15);
    doc.setCaptionsize(5);
    doc.setThumbs(false);
    doc.setNumbers(false);
    doc.setQuality(true);
    doc.setMenustart(990);
    doc.setMenucount(3);
    doc.setBgimage("/nonexistent/background.png");
    for (int n = 1; n <= kItemCount; ++n) {
        doc.setCaption(n, "Caption " + std::to_string(n));
        doc.item(n).source.menuclip = "/clips/movie.mpg";
        doc.item(n).source.menuframe = 100 + n;
        doc.item(n).source.ThumbnailImage.reset(4, 3);
    }
    doc.setCurrentFileName("/menus/disc.tavrel");
}

} // namespace

TEST(MenuDocumentReset, RestoresDefaultsKeepsVideoModeAndComposesOnceAtTheEnd)
{
    WiredDocument w;
    w.doc.installedFonts = {"DejaVu Sans", "Arial", "Liberation Sans"};
    w.doc.selectVideoMode(3);
    makeEverythingNonDefault(w.doc);
    // The panel refills its caption fields during Reset; each writes its item again.
    w.doc.onSyncPanel = [&w] {
        ++w.panelSyncs;
        for (int n = 1; n <= kItemCount; ++n)
            w.doc.setCaption(n, w.doc.item(n).menucaption);
    };
    w.clearCounts();

    w.doc.Reset();

    EXPECT_EQ(w.refreshes, 1);
    EXPECT_EQ(w.refreshesWhileDisabled, 0);
    EXPECT_TRUE(w.doc.RenderEnabled);
    EXPECT_EQ(w.panelSyncs, 1);
    EXPECT_EQ(w.relabels, std::vector<int>{1});
    EXPECT_EQ(w.captionChanges, 1);

    const MenuDocument& d = w.doc;
    EXPECT_EQ(d.VideoMode, 3);
    EXPECT_EQ(d.ImageWidth, 720);
    EXPECT_EQ(d.ImageHeight, 576);
    EXPECT_EQ(d.title, "Title");
    EXPECT_EQ(d.subtitle, "Subtitle");
    EXPECT_EQ(d.footnote, "Footnote");
    EXPECT_EQ(d.textfont, "Arial");
    EXPECT_TRUE(d.boldtext);
    EXPECT_FALSE(d.shadowtext);
    EXPECT_EQ(d.textcolor, 0x000000u);
    EXPECT_EQ(d.bgcolor, 0xFFFFFFu);
    EXPECT_EQ(d.bgimage, "");
    EXPECT_TRUE(d.BackgroundPicture.isEmpty());
    EXPECT_EQ(d.titlesize, 10);
    EXPECT_EQ(d.captionsize, 10);
    EXPECT_TRUE(d.thumbs);
    EXPECT_TRUE(d.numbers);
    EXPECT_EQ(d.menustart, 1);
    EXPECT_EQ(d.menucount, 10);
    EXPECT_FALSE(d.quality);
    EXPECT_EQ(d.CurrentFileName, "");
    for (int n = 1; n <= kItemCount; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(d.item(n).menucaption, "");
        EXPECT_EQ(d.item(n).source.menuclip, "");
        EXPECT_EQ(d.item(n).source.menuframe, 0);
        EXPECT_TRUE(d.item(n).source.ThumbnailImage.isEmpty());
    }
}

TEST(MenuDocumentReset, FontIsArialOnlyWhenInstalled)
{
    WiredDocument w;
    w.doc.installedFonts = {"DejaVu Sans", "Liberation Sans"};
    w.doc.setTextfont("DejaVu Sans");
    w.doc.Reset();
    EXPECT_EQ(w.doc.textfont, "");

    w.doc.installedFonts.clear();
    w.doc.Reset();
    EXPECT_EQ(w.doc.textfont, "");

    w.doc.installedFonts = {"arial"};
    w.doc.Reset();
    EXPECT_EQ(w.doc.textfont, "arial"); // the installed spelling
}

TEST(MenuDocumentReset, AFailingStepStillEnablesRenderingAndComposesOnce)
{
    WiredDocument w;
    w.doc.onSyncPanel = [] { throw std::runtime_error("panel failed"); };
    w.clearCounts();
    EXPECT_THROW(w.doc.Reset(), std::runtime_error);
    EXPECT_TRUE(w.doc.RenderEnabled);
    EXPECT_EQ(w.refreshes, 1);
    EXPECT_EQ(w.refreshesWhileDisabled, 0);
}

TEST(MenuDocumentSetters, SizeStepsRefreshOnlyOnChange)
{
    WiredDocument w;
    w.doc.setTitlesize(10);
    w.doc.setCaptionsize(10);
    EXPECT_EQ(w.refreshes, 0);
    w.doc.setTitlesize(12);
    w.doc.setCaptionsize(7);
    EXPECT_EQ(w.refreshes, 2);
    EXPECT_EQ(w.doc.titlesize, 12);
    EXPECT_EQ(w.doc.captionsize, 7);
    w.doc.setTitlesize(12);
    EXPECT_EQ(w.refreshes, 2);
}

TEST(MenuDocumentSetters, MenustartTakesOnlyZeroTo990)
{
    WiredDocument w;
    w.doc.setMenustart(5);
    w.clearCounts();

    for (int bad : {991, -1, 100000}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(w.doc.setMenustart(bad));
        EXPECT_EQ(w.doc.menustart, 5);
    }
    EXPECT_TRUE(w.relabels.empty());
    EXPECT_EQ(w.refreshes, 0);

    EXPECT_TRUE(w.doc.setMenustart(990));
    EXPECT_TRUE(w.doc.setMenustart(0));
    EXPECT_EQ(w.doc.menustart, 0);
    EXPECT_EQ(w.relabels, (std::vector<int>{990, 0}));
    EXPECT_EQ(w.refreshes, 2);
}

TEST(MenuDocumentSetters, MenucountTakesOnlyZeroToTen)
{
    WiredDocument w;
    EXPECT_TRUE(w.doc.setMenucount(0));
    EXPECT_EQ(w.doc.menucount, 0);
    EXPECT_EQ(w.refreshes, 1);

    EXPECT_FALSE(w.doc.setMenucount(11));
    EXPECT_FALSE(w.doc.setMenucount(-1));
    EXPECT_EQ(w.doc.menucount, 0);
    EXPECT_EQ(w.refreshes, 1);

    // A count that bypassed the setter (a field being typed) is still drawn within 0..10.
    w.doc.menucount = 15;
    EXPECT_EQ(w.doc.visibleItemCount(), 10);
    w.doc.menucount = -3;
    EXPECT_EQ(w.doc.visibleItemCount(), 0);
}

TEST(MenuDocumentSetters, NothingComposesWhileRenderingIsDisabled)
{
    WiredDocument w;
    w.doc.RenderEnabled = false;
    makeEverythingNonDefault(w.doc);
    w.doc.setTitlesize(9);
    EXPECT_EQ(w.refreshes, 0);
    EXPECT_EQ(w.doc.title, "My title"); // values are still stored
    EXPECT_EQ(w.doc.menustart, 990);
    EXPECT_EQ(w.relabels, std::vector<int>{990}); // labels follow even without composing
}

TEST(MenuDocumentSetters, BackgroundThatCannotBeLoadedLeavesAnEmptyPictureAndKeepsThePath)
{
    WiredDocument w;
    const std::string garbage = ::testing::TempDir() + "menudocument_garbage.png";
    {
        std::ofstream out(garbage, std::ios::binary);
        out << "this is not a picture";
    }
    for (const std::string& path : {std::string("/nonexistent/dir/bg.bmp"), garbage}) {
        SCOPED_TRACE(path);
        w.doc.BackgroundPicture.reset(8, 8); // a picture from an earlier path
        w.clearCounts();
        w.doc.setBgimage(path);
        EXPECT_EQ(w.doc.bgimage, path);
        EXPECT_TRUE(w.doc.BackgroundPicture.isEmpty());
        EXPECT_EQ(w.refreshes, 1);
    }
    std::remove(garbage.c_str());
}

TEST(MenuDocumentItems, AccessIsBoundedAndFrameTellsPictureFromMovie)
{
    MenuDocument doc;
    EXPECT_THROW(doc.item(0), std::out_of_range);
    EXPECT_THROW(doc.item(11), std::out_of_range);

    ThumbnailSource& src = doc.item(10).source;
    src.menuclip = "/pictures/a.jpg";
    src.menuframe = -1;
    EXPECT_TRUE(src.isPicture());
    EXPECT_FALSE(src.hasThumbnail()); // a source without a picture shows an empty frame
    src.ThumbnailImage.reset(2, 2);
    EXPECT_TRUE(src.hasThumbnail());
    src.menuframe = 0;
    EXPECT_FALSE(src.isPicture());
    src.menuclip.clear();
    EXPECT_FALSE(src.hasThumbnail());
}
