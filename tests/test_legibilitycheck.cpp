#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "render/picturecanvas.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

    // A menu that reads well: strong contrast, ten numbered boxes, all inside title-safe.
    static MenuDocument cleanMenu()
    {
        MenuDocument doc;
        doc.RenderEnabled = true;
        doc.selectVideoMode(3);
        doc.bgcolor = 0x602010; // dark blue
        doc.textcolor = 0xEBEBEB;
        doc.safelayout = true;
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
    }
    {
        // About 1.9:1; the one-pixel shadow in a dark colour does not make it readable.
        SCOPED_TRACE("pale yellow on yellow-orange");
        MenuDocument doc = cleanMenu();
        doc.bgcolor = 0x30B0F0;   // yellow-orange (R F0, G B0, B 30)
        doc.textcolor = 0xC0FFFF; // pale yellow
        doc.shadowtext = true;
        doc.textfont = "Liberation Sans";
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::LowContrast, MenuField::Title))
            << describe(warnings);
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
}

// Full-range white and black are what the menu stream expects; saturation is what a TV
// cannot carry.
TEST_F(LegibilityTest, OnlySaturatedColoursAreOutsideTheTvGamut)
{
    {
        SCOPED_TRACE("a white menu with black text");
        MenuDocument doc = cleanMenu();
        doc.bgcolor = 0xFFFFFF;
        doc.textcolor = 0x000000;
        EXPECT_TRUE(check(doc).empty()) << describe(check(doc));
        doc.tvsafe = true;
        Picture image;
        EXPECT_TRUE(check(doc, &image).empty());
        EXPECT_EQ(image.pixel(5, 5)[0], 255);
        EXPECT_EQ(*std::min_element(image.data(), image.row(image.height() - 1)), 0);
    }
    {
        SCOPED_TRACE("a saturated yellow background with a blue thumbnail");
        MenuDocument doc = cleanMenu();
        doc.bgcolor = 0x00FFFF;
        doc.textcolor = 0x000000;
        doc.items[2].source.menuclip = "blue.png";
        doc.items[2].source.ThumbnailImage.reset(160, 120);
        doc.items[2].source.ThumbnailImage.fill(0, 0, 255);
        const auto warnings = check(doc);
        EXPECT_NE(describe(warnings).find("The background's yellow is too saturated for a TV"),
                  std::string::npos)
            << describe(warnings);
        EXPECT_NE(describe(warnings).find("The blue in the thumbnail of item 3"), std::string::npos)
            << describe(warnings);
        doc.tvsafe = true;
        Picture image;
        EXPECT_FALSE(hasPicture(check(doc, &image), LegibilityFault::TooSaturated));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const std::uint8_t* p = image.pixel(x, y);
                const double Y = (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]) / 255;
                const double U = 0.492 * (p[2] / 255.0 - Y);
                const double V = 0.877 * (p[0] / 255.0 - Y);
                const double C = std::sqrt(U * U + V * V);
                ASSERT_TRUE(Y + C <= 1.10 && Y - C >= -0.10) << x << "," << y;
            }
    }
}

TEST_F(LegibilityTest, SafeAreaSetDecidesWhatIsOutsideAndSafeLayoutBringsItIn)
{
    for (const SafeAreaSet set : {SafeAreaSet::Current, SafeAreaSet::Classic}) {
        MenuDocument doc = cleanMenu();
        doc.safelayout = false;
        doc.safeAreas = set;
        // Laid out on the full frame, the outer thumbnails of ten reach past action-safe
        // (and with the classic set, title-safe at 80 % leaves out the footnote).
        const auto warnings = check(doc);
        EXPECT_TRUE(has(warnings, LegibilityFault::OutsideActionSafe, MenuField::Caption, 1))
            << describe(warnings);
        EXPECT_NE(describe(warnings).find("items 1, 5, 6 and 10 reach outside the action-safe"),
                  std::string::npos)
            << describe(warnings);
        EXPECT_EQ(has(warnings, LegibilityFault::OutsideTitleSafe, MenuField::Footnote),
                  set == SafeAreaSet::Classic);
        doc.safelayout = true;
        const auto inside = check(doc);
        EXPECT_TRUE(inside.empty()) << describe(inside);
    }
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
