#include "document/edithistory.h"
#include "imageio/imageunit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// A document whose refreshes feed the history, as the main window wires it.
struct Edited {
    MenuDocument doc;
    EditHistory history;
    int refreshes = 0;
    int syncs = 0;

    Edited()
    {
        doc.installedFonts = {"Arial", "Serif"};
        doc.textfont = "Arial";
        doc.onRefresh = [this] {
            ++refreshes;
            history.record(doc);
        };
        doc.onSyncPanel = [this] { ++syncs; };
        doc.RenderEnabled = true;
        history.reset(doc);
    }
};

// A picture file made for the test: w x h of one colour.
std::string pictureFile(const std::string& name, int w, int h, std::uint8_t red)
{
    const fs::path path = fs::temp_directory_path() / ("tavrel_history_" + name);
    Picture picture(w, h);
    picture.fill(red, 0, 0);
    EXPECT_TRUE(SaveAsBMP(path.string(), picture));
    return path.string();
}

} // namespace

TEST(EditHistory, TypingInOneFieldIsOneStepUntilAnotherFieldOrALeave)
{
    Edited e;
    EXPECT_FALSE(e.history.canUndo());
    for (const char* text : {"W", "We", "Wed"})
        e.doc.setTitle(text);
    e.doc.setSubtitle("S");
    e.doc.setSubtitle("Sp");
    e.history.closeStep(); // the user left the field and came back
    e.doc.setSubtitle("Spr");
    e.doc.setBoldtext(false);
    e.doc.setBoldtext(true); // switches are a step each
    EXPECT_EQ(e.history.undoCount(), 5u);

    e.history.undo(e.doc);
    EXPECT_FALSE(e.doc.boldtext);
    e.history.undo(e.doc);
    EXPECT_TRUE(e.doc.boldtext);
    EXPECT_EQ(e.doc.subtitle, "Spr");
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.subtitle, "Sp");
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.subtitle, "Subtitle");
    EXPECT_EQ(e.doc.title, "Wed");
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.title, "Title");
    EXPECT_FALSE(e.history.canUndo());
    EXPECT_FALSE(e.history.undo(e.doc));

    e.history.redo(e.doc);
    EXPECT_EQ(e.doc.title, "Wed");
    // A new edit drops what could be redone.
    e.doc.setFootnote("F");
    EXPECT_FALSE(e.history.canRedo());
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.footnote, "Footnote");
    EXPECT_EQ(e.doc.title, "Wed");
}

TEST(EditHistory, ADragIsOneStepAndEveryStepIsNamed)
{
    Edited e;
    const int before = e.doc.titlesize;
    for (int drag = 0; drag < 2; ++drag) {
        e.history.beginDrag();
        for (int size = 5; size <= 14; ++size)
            e.doc.setTitlesize(size + drag);
        e.history.closeStep(); // the slider was released
    }
    e.doc.setCaption(3, "Three");
    e.doc.setTextcolor(0x102030);
    EXPECT_EQ(e.history.undoCount(), 4u);

    const std::pair<const char*, const char*> steps[] = {{"Text colour", ""},
                                                         {"Item 3 caption", "Text colour"},
                                                         {"Title size", "Item 3 caption"},
                                                         {"Title size", "Title size"}};
    for (const auto& [undone, redone] : steps) {
        EXPECT_EQ(e.history.redoName(), redone);
        EXPECT_EQ(e.history.undoName(), undone);
        e.history.undo(e.doc);
    }
    EXPECT_EQ(e.doc.titlesize, before);
    EXPECT_EQ(e.history.undoName(), "");
    e.history.redo(e.doc);
    EXPECT_EQ(e.doc.titlesize, 14); // the whole first drag
}

TEST(EditHistory, UndoRefreshesOnceAndFollowsEveryKindOfField)
{
    Edited e;
    e.doc.setMenustart(7);
    e.doc.setTextcolor(0x123456);
    e.doc.setCaption(4, "Chapter four");
    e.doc.setAspect(MenuAspect::Wide); // a setting written after the 48 lines
    e.doc.setTextfont("Serif");
    e.refreshes = 0;
    e.syncs = 0;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(e.history.undo(e.doc));
    EXPECT_EQ(e.refreshes, 5); // one composition per step, none per value
    EXPECT_EQ(e.syncs, 5);     // the panel follows
    EXPECT_EQ(e.doc.menustart, 1);
    EXPECT_EQ(e.doc.textcolor, kBlack);
    EXPECT_EQ(e.doc.item(4).menucaption, "");
    EXPECT_EQ(e.doc.aspect, MenuAspect::Pixels);
    EXPECT_EQ(e.doc.textfont, "Arial");
    EXPECT_FALSE(e.history.canUndo()); // undo's own refreshes recorded nothing
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(e.history.redo(e.doc));
    EXPECT_EQ(e.doc.menustart, 7);
    EXPECT_EQ(e.doc.aspect, MenuAspect::Wide);
    EXPECT_EQ(e.doc.textfont, "Serif");
}

TEST(EditHistory, PicturesComeBackWithoutTheirFiles)
{
    Edited e;
    const std::string red = pictureFile("red.bmp", 40, 30, 200);
    const std::string blue = pictureFile("thumb.bmp", 16, 8, 10);
    e.doc.setBgimage(red);
    ASSERT_EQ(e.doc.BackgroundPicture.width(), 40);
    ThumbnailSource& source = e.doc.item(2).source;
    source.menuclip = blue;
    source.menuframe = -1;
    ASSERT_TRUE(LoadPictureFile(blue, source.ThumbnailImage));
    e.doc.refresh();
    e.doc.setBgimage("");
    source.menuclip.clear();
    source.ThumbnailImage.clear();
    e.doc.refresh();
    // The files are gone: undo must not need them.
    fs::remove(red);
    fs::remove(blue);

    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.item(2).source.menuclip, blue);
    EXPECT_EQ(e.doc.item(2).source.menuframe, -1);
    EXPECT_EQ(e.doc.item(2).source.ThumbnailImage.width(), 16);
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.bgimage, red);
    ASSERT_EQ(e.doc.BackgroundPicture.width(), 40);
    EXPECT_EQ(e.doc.BackgroundPicture.pixel(3, 3)[0], 200);
    e.history.undo(e.doc);
    EXPECT_EQ(e.doc.item(2).source.menuclip, "");
    EXPECT_TRUE(e.doc.item(2).source.ThumbnailImage.isEmpty());
    e.history.undo(e.doc);
    EXPECT_TRUE(e.doc.BackgroundPicture.isEmpty());
    EXPECT_EQ(e.doc.bgimage, "");
}

TEST(EditHistory, ModifiedUntilBackAtTheSavedState)
{
    Edited e;
    EXPECT_FALSE(e.history.isModified());
    e.doc.setTitle("A");
    EXPECT_TRUE(e.history.isModified());
    e.doc.setTitle("Title"); // typed back to what was saved
    EXPECT_FALSE(e.history.isModified());
    e.doc.setNumbers(false);
    e.history.markSaved(e.doc);
    EXPECT_FALSE(e.history.isModified());
    e.history.undo(e.doc);
    EXPECT_TRUE(e.history.isModified());
    e.history.redo(e.doc);
    EXPECT_FALSE(e.history.isModified());
    // Reset (New, Open) forgets the steps; the state then is the saved one.
    e.doc.setTitle("B");
    e.history.reset(e.doc);
    EXPECT_FALSE(e.history.canUndo());
    EXPECT_FALSE(e.history.canRedo());
    EXPECT_FALSE(e.history.isModified());
}

TEST(EditHistory, KeepsAtMostItsLimit)
{
    MenuDocument doc;
    EditHistory history(3);
    history.reset(doc);
    for (int size = 5; size <= 10; ++size) {
        doc.titlesize = size;
        history.record(doc);
    }
    EXPECT_EQ(history.undoCount(), 3u);
    while (history.undo(doc)) {
    }
    EXPECT_EQ(doc.titlesize, 7); // the oldest steps were dropped
}
