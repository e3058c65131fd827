// The window's parts for what the TV shows: the TV and View menus, the preview's shape
// and overlay, and the list of warnings under it.
#include "app/legibilitypanel.h"
#include "app/mainwindow.h"
#include "app/previewbox.h"
#include "app/settings.h"
#include "app/tvmenus.h"
#include "guitestsupport.h"
#include "render/tvsafe.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>

#include <memory>

namespace {

class TvViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApplication();
        clearSettings();
        window = std::make_unique<TForm1>();
        window->resize(900, 640);
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { window.reset(); }

    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    MessageLog log;
    QAction* action(const char* name) { return control<QAction>(*window, QLatin1String(name)); }

    std::unique_ptr<TForm1> window;
};

TEST_F(TvViewTest, AspectGivesThePreviewTheTvShapeAndIsStoredInTheDocument)
{
    PreviewBox& box = *window->previewBox();
    window->doc().selectVideoMode(3);
    settle();
    EXPECT_NEAR(static_cast<double>(box.width()) / box.height(), 720.0 / 576, 0.01);

    action("Aspect169")->trigger(); // 16:9
    settle();
    EXPECT_EQ(window->doc().aspect, MenuAspect::Wide);
    EXPECT_NEAR(static_cast<double>(box.width()) / box.height(), 1024.0 / 576, 0.01);
    EXPECT_EQ(box.picture().width(), box.width());

    // TV-safe output shows in the preview too.
    window->doc().setBgcolor(0x00FFFF); // saturated yellow
    settle();
    Picture expected = box.picture();
    MakeTvSafe(expected);
    action("TvSafe1")->trigger();
    settle();
    ASSERT_TRUE(window->doc().tvsafe);
    EXPECT_TRUE(box.picture().samePixels(expected));

    // A document loaded later puts its own marks up.
    window->doc().aspect = MenuAspect::Pixels;
    window->doc().tvsafe = false;
    window->SyncPanel();
    EXPECT_TRUE(action("AspectPixels")->isChecked());
    EXPECT_FALSE(action("TvSafe1")->isChecked());
}

TEST_F(TvViewTest, SafeAreasAreRememberedWithTheirSet)
{
    EXPECT_FALSE(action("SafeAreas1")->isChecked());
    action("SafeAreas1")->trigger();
    action("SafeAreasClassic")->trigger();
    EXPECT_TRUE(window->previewBox()->safeAreasShown());
    EXPECT_EQ(window->doc().safeAreas, SafeAreaSet::Classic);

    window = std::make_unique<TForm1>();
    EXPECT_TRUE(action("SafeAreas1")->isChecked());
    EXPECT_TRUE(window->previewBox()->safeAreasShown());
    EXPECT_TRUE(action("SafeAreasClassic")->isChecked());
    EXPECT_EQ(window->doc().safeAreas, SafeAreaSet::Classic);
}

TEST_F(TvViewTest, WarningsAreListedAndLeadToTheirField)
{
    LegibilityPanel& panel = *control<LegibilityPanel>(*window, QStringLiteral("LegibilityPanel"));
    control<QLineEdit>(*window, QStringLiteral("TitleEdit"))
        ->setText(QStringLiteral("The Complete Family Holiday Collection of 2026"));
    control<QLineEdit>(*window, QStringLiteral("Edit4"))
        ->setText(QStringLiteral("The long walk up the glacier valley"));
    settle();
    ASSERT_GE(panel.count(), 2);
    EXPECT_TRUE(panel.WarningCount->text().contains(QString::number(panel.count())));

    // Each warning about a field selects that field, on whichever tab holds it.
    QLineEdit* expected[] = {control<QLineEdit>(*window, QStringLiteral("TitleEdit")),
                             control<QLineEdit>(*window, QStringLiteral("Edit4"))};
    for (QLineEdit* field : expected) {
        field->deselect();
        bool found = false;
        for (int row = 0; row < panel.WarningList->count() && !found; ++row) {
            const QString text = panel.WarningList->item(row)->text();
            const bool forField =
                field == control<QLineEdit>(*window, QStringLiteral("TitleEdit"))
                    ? text.startsWith(QStringLiteral("The title"))
                    : (text.startsWith(QStringLiteral("The caption of item 4 ")) ||
                       text.startsWith(QStringLiteral("The captions of items 4 ")));
            if (!forField)
                continue;
            emit panel.WarningList->itemActivated(panel.WarningList->item(row));
            found = true;
        }
        ASSERT_TRUE(found);
        EXPECT_TRUE(field->isVisibleTo(window.get()));
        EXPECT_EQ(field->selectedText(), field->text());
    }

    control<QLineEdit>(*window, QStringLiteral("TitleEdit"))->setText(QStringLiteral("Holiday"));
    control<QLineEdit>(*window, QStringLiteral("Edit4"))->setText(QString());
    window->doc().setBgcolor(0x602010);
    window->doc().setTextcolor(0xEBEBEB);
    // A new menu starts inside title-safe; on the full frame the outer thumbnail frames of
    // ten reach past action-safe, until the menu is laid out inside title-safe again.
    EXPECT_TRUE(window->doc().safelayout);
    action("SafeLayout1")->trigger();
    settle();
    ASSERT_EQ(panel.count(), 1);
    EXPECT_TRUE(panel.WarningList->item(0)->text().contains(QStringLiteral("action-safe")));
    action("SafeLayout1")->trigger();
    settle();
    EXPECT_TRUE(window->doc().safelayout);
    EXPECT_EQ(panel.count(), 0);
    EXPECT_TRUE(panel.WarningList->isHidden());
}

} // namespace
