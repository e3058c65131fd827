#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "render/picturecanvas.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class LegibilityTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QGuiApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "test_legibilitycheck";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);
        }
    }

    // A menu that reads well: legal colours with strong contrast, ten numbered boxes.
    static MenuDocument cleanMenu()
    {
        MenuDocument doc;
        doc.RenderEnabled = true;
        doc.selectVideoMode(3);
        doc.bgcolor = 0x602010;   // dark blue, every channel within 16..235
        doc.textcolor = 0xEBEBEB; // broadcast white
        doc.title = "Holiday";
        doc.subtitle = "Summer 2026";
        doc.footnote = "Press a number";
        return doc;
    }

    static std::vector<LegibilityWarning> check(const MenuDocument& doc, Picture* out = nullptr)
    {
        Picture scratch;
        MenuGeometry geometry;
        const Picture image = ComposeMenuImage(doc, scratch, &geometry);
        if (out)
            *out = image;
        return CheckLegibility(doc, geometry, image);
    }

    static std::string describe(const std::vector<LegibilityWarning>& warnings)
    {
        std::string text;
        for (const LegibilityWarning& w : warnings)
            text += w.message + "\n";
        return text;
    }

    static bool has(const std::vector<LegibilityWarning>& warnings, LegibilityFault fault,
                    MenuField field, int item = 0)
    {
        return std::any_of(warnings.begin(), warnings.end(), [&](const LegibilityWarning& w) {
            return w.fault == fault && w.hasField && w.field == field && w.item == item;
        });
    }
    static bool hasPicture(const std::vector<LegibilityWarning>& warnings, LegibilityFault fault)
    {
        return std::any_of(warnings.begin(), warnings.end(), [&](const LegibilityWarning& w) {
            return w.fault == fault && !w.hasField;
        });
    }
};

TEST_F(LegibilityTest, CleanMenuHasNoWarningsInEveryAspectAndInThePreview)
{
    for (MenuAspect aspect : {MenuAspect::Pixels, MenuAspect::Standard, MenuAspect::Wide}) {
        MenuDocument doc = cleanMenu();
        doc.aspect = aspect;
        const auto warnings = check(doc);
        EXPECT_TRUE(warnings.empty()) << describe(warnings);
    }
    // The preview's own composition, at about 71 %.
    MenuDocument doc = cleanMenu();
    Picture preview(512, 409);
    Picture scratch;
    MenuGeometry geometry;
    {
        PictureCanvas canvas(preview);
        DrawMenu(doc, canvas, scratch, false, nullptr, &geometry);
    }
    const auto warnings = CheckLegibility(doc, geometry, preview);
    EXPECT_TRUE(warnings.empty()) << describe(warnings);
}

TEST_F(LegibilityTest, EachPlantedFaultIsFound)
{
    {
        SCOPED_TRACE("a long title");
        MenuDocument doc = cleanMenu();
        doc.title = "The Complete Family Holiday Collection of 2026";
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::OutsideTitleSafe, MenuField::Title) ||
                    has(warnings, LegibilityFault::CutAtEdge, MenuField::Title))
            << describe(warnings);
        // "Fit text" shrinks it into title-safe, and only the title changes.
        doc.fittext = true;
        const auto fitted = check(doc);
        EXPECT_TRUE(fitted.empty()) << describe(fitted);
    }
    {
        SCOPED_TRACE("overlapping captions");
        MenuDocument doc = cleanMenu();
        doc.items[2].menucaption = "The long walk up the glacier";
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::Overlap, MenuField::Caption, 3))
            << describe(warnings);
        doc.fittext = true; // shrunk into its column
        EXPECT_FALSE(has(check(doc), LegibilityFault::Overlap, MenuField::Caption, 3));
    }
    {
        SCOPED_TRACE("overlapping list lines");
        MenuDocument doc = cleanMenu();
        doc.thumbs = false;
        doc.captionsize = 15;
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::Overlap, MenuField::Caption, 1))
            << describe(warnings);
    }
    {
        SCOPED_TRACE("white text on a white picture");
        MenuDocument doc = cleanMenu();
        doc.BackgroundPicture.reset(64, 48);
        doc.BackgroundPicture.fill(235, 235, 235);
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::LowContrast, MenuField::Title))
            << describe(warnings);
        EXPECT_TRUE(has(warnings, LegibilityFault::LowContrast, MenuField::Caption, 1));
        // A shadow in the dark background colour makes it readable.
        doc.shadowtext = true;
        EXPECT_FALSE(has(check(doc), LegibilityFault::LowContrast, MenuField::Title));
    }
    {
        SCOPED_TRACE("a tiny caption size");
        MenuDocument doc = cleanMenu();
        doc.captionsize = 5;
        const auto warnings = check(doc);
        ASSERT_TRUE(has(warnings, LegibilityFault::TooSmall, MenuField::Caption, 1))
            << describe(warnings);
        EXPECT_FALSE(has(warnings, LegibilityFault::TooSmall, MenuField::Title));
        // The ten captions make one warning.
        EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                                [](const LegibilityWarning& w) {
                                    return w.fault == LegibilityFault::TooSmall;
                                }),
                  1);
    }
    {
        SCOPED_TRACE("a 1-px line");
        MenuDocument doc = cleanMenu();
        doc.BackgroundPicture.reset(720, 576);
        doc.BackgroundPicture.fill(16, 32, 96);
        std::fill_n(doc.BackgroundPicture.row(301), 720 * 3, std::uint8_t{200});
        EXPECT_TRUE(hasPicture(check(doc), LegibilityFault::ThinLine));
        // Two rows thick is what interlaced TVs show steadily.
        std::fill_n(doc.BackgroundPicture.row(302), 720 * 3, std::uint8_t{200});
        const auto warnings = check(doc);
        EXPECT_TRUE(warnings.empty()) << describe(warnings);
    }
    {
        SCOPED_TRACE("colours outside 16..235");
        MenuDocument doc = cleanMenu();
        doc.bgcolor = 0xFFFFFF;
        doc.textcolor = 0x602010;
        EXPECT_TRUE(hasPicture(check(doc), LegibilityFault::OutOfBroadcastRange));
        doc.tvsafe = true;
        Picture image;
        const auto warnings = check(doc, &image);
        EXPECT_TRUE(warnings.empty()) << describe(warnings);
    }
}

TEST_F(LegibilityTest, SafeAreaSetDecidesWhatIsOutside)
{
    MenuDocument doc = cleanMenu();
    doc.safeAreas =
        SafeAreaSet::Classic; // title-safe 80 %: the footnote and title rows lie outside
    const auto warnings = check(doc);
    EXPECT_TRUE(has(warnings, LegibilityFault::OutsideTitleSafe, MenuField::Footnote))
        << describe(warnings);
}

TEST_F(LegibilityTest, DegenerateGeometryAndPicturesAreSafe)
{
    MenuDocument doc = cleanMenu();
    MenuGeometry geometry;
    EXPECT_TRUE(CheckLegibility(doc, geometry, Picture()).empty());
    geometry.width = 3;
    geometry.height = 2;
    geometry.texts.push_back({MenuField::Title, 0, "x", Rect{-5, -5, 900, 900}, 0, {}});
    const auto warnings = CheckLegibility(doc, geometry, Picture(1, 1));
    EXPECT_TRUE(has(warnings, LegibilityFault::CutAtEdge, MenuField::Title));
}

} // namespace
