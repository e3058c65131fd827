#include "app/colorswatch.h"
#include "app/customcolors.h"
#include "app/discexportcommand.h"
#include "app/exportdialog.h"
#include "app/helpviewer.h"
#include "app/mainwindow.h"
#include "app/numberedit.h"
#include "app/pagecontrol.h"
#include "app/previewbox.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "document/projectfile.h"
#include "guitestsupport.h"
#include "imageio/imageunit.h"
#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "widgets/clipform.h"
#include "widgets/fitscreen.h"
#include "widgets/messages.h"
#include "widgets/picturedialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

void writeSettings(const std::vector<std::pair<QString, QString>>& values)
{
    auto store = OpenSettingsStore();
    store->clear();
    for (const auto& [name, value] : values)
        store->setValue(name, value);
    store->sync();
}

QString storedSetting(const QString& name)
{
    auto store = OpenSettingsStore();
    store->sync();
    return store->value(name).toString();
}

void loseFocus(QWidget* widget)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(widget, &out);
}

QLineEdit* editorOf(NumberEdit* field)
{
    return field->findChild<QLineEdit*>();
}

// Closes every modal dialog that opens while the object lives; counts them.
class ModalCloser {
public:
    explicit ModalCloser(bool accept)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, accept] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                if (dialog != m_last) {
                    m_last = dialog;
                    ++opened;
                }
                accept ? dialog->accept() : dialog->reject();
            }
        });
        m_timer.start(20);
    }
    int opened = 0;

private:
    QTimer m_timer;
    QPointer<QDialog> m_last;
};

class MainWindowTest : public WindowTest {
protected:
    static int compositions(TForm1& form) { return form.previewBox()->compositionCount(); }
};

} // namespace

TEST(ContrastColorTest, GreysAndPrimaries)
{
    EXPECT_EQ(ContrastColor(0x808080), kBlack);
    EXPECT_EQ(ContrastColor(0x7F7F7F), kWhite);
    EXPECT_EQ(ContrastColor(0x00FFFF), kBlack); // yellow (BBGGRR)
    EXPECT_EQ(ContrastColor(0xFF0000), kWhite); // blue
    EXPECT_EQ(ContrastColor(kWhite), kBlack);
    EXPECT_EQ(ContrastColor(kBlack), kWhite);
}

TEST(ErrorBox, FullStopRule)
{
    EXPECT_EQ(ErrorBoxText(QStringLiteral("'' is not a valid integer value")),
              "'' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Done.")), "Done.");
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Failed!")), "Failed!");
    EXPECT_EQ(ErrorBoxText(QStringLiteral("code (5)")), "code (5)");
    EXPECT_EQ(ErrorBoxText(QStringLiteral("code 5")), "code 5.");
    EXPECT_EQ(ErrorBoxText(QString()), "");
}

TEST(CustomColors, ReadStoreAndMalformed)
{
    CustomColorList list(
        QStringLiteral("colora=0000ff\r\nColorC=FFFFFFFF\nOther=1\r\nColorA=123456\r\n"));
    CustomColorList::Slots values = list.values();
    EXPECT_EQ(values[0], 0x0000FF); // first line wins, key case ignored
    EXPECT_EQ(values[1], -1);       // missing
    EXPECT_EQ(values[2], -1);       // FFFFFFFF
    values[1] = 0x00FF00;
    list.store(values);
    const QStringList lines = list.text().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(),
              19); // 4 old lines, 15 new... minus replaced ones, plus the final empty part
    EXPECT_EQ(lines[0], "ColorA=0000FF");
    EXPECT_EQ(lines[1], "ColorC=FFFFFFFF");
    EXPECT_EQ(lines[2], "Other=1");
    EXPECT_EQ(lines[3], "ColorA=123456");
    EXPECT_EQ(lines[4], "ColorB=00FF00");
    EXPECT_EQ(lines[17], "ColorP=FFFFFFFF");
    EXPECT_TRUE(list.text().endsWith(QStringLiteral("\r\n")));

    for (const QString& bad : {QStringLiteral("ColorB=XYZ"), QStringLiteral("ColorB="),
                               QStringLiteral("ColorB=123456789")}) {
        const CustomColorList broken(bad);
        try {
            (void)broken.values();
            ADD_FAILURE() << bad.toStdString();
        } catch (const std::runtime_error& e) {
            const QString hex = bad.mid(7);
            EXPECT_EQ(QString::fromUtf8(e.what()), "'$" + hex + "' is not a valid integer value");
        }
    }
}

TEST_F(MainWindowTest, ControlsNamesCaptionsAndDefaults)
{
    auto form = makeShownWindow();
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - Untitled");
    EXPECT_EQ(form->findChild<QPushButton*>("SaveImageBtn")->text(), "Export to Image File");
    EXPECT_EQ(form->findChild<QPushButton*>("BGColorBtn")->toolTip(), "Change background colour");
    EXPECT_EQ(form->findChild<QPushButton*>("tn7btn")->toolTip(), "Set thumbnail image");
    EXPECT_EQ(form->findChild<QLabel*>("BGColorPanel")->text(), "Background colour");
    EXPECT_EQ(form->findChild<QLineEdit*>("TitleEdit")->text(), "Title");
    EXPECT_EQ(form->findChild<QSlider*>("CaptionSize")->value(), 10);
    EXPECT_TRUE(form->findChild<QCheckBox*>("BoldText")->isChecked());
    EXPECT_FALSE(form->findChild<QCheckBox*>("Shadow")->isChecked());
    EXPECT_EQ(form->findChild<NumberEdit*>("FirstItem")->value(), 1);
    EXPECT_EQ(form->findChild<NumberEdit*>("TotalItems")->value(), 10);
    EXPECT_EQ(form->findChild<QLabel*>("CN10")->text(), "10");
    EXPECT_TRUE(form->findChild<QRadioButton*>("BetterSpeed")->isChecked());
    EXPECT_EQ(form->findChild<QMenu*>("File1")->title(), "&File");
    EXPECT_EQ(form->findChild<QAction*>("Contents1")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(form->findChild<QAction*>("DVDNTSC")->isChecked());
    // Tab order runs down the Items tab: caption field k, then its button.
    EXPECT_EQ(form->findChild<QLineEdit*>("Edit3")->nextInFocusChain(),
              form->findChild<QPushButton*>("tn3btn"));
    // The font list is sorted without regard to case, each name once.
    auto* fonts = form->findChild<QComboBox*>("TextFontCB");
    for (int i = 1; i < fonts->count(); ++i)
        EXPECT_LT(QString::compare(fonts->itemText(i - 1), fonts->itemText(i), Qt::CaseInsensitive),
                  0);
    EXPECT_EQ(fonts->currentText().toStdString(), form->doc().textfont);
}

TEST_F(MainWindowTest, EachEditComposesThePreviewOnce)
{
    auto form = makeShownWindow();
    ASSERT_GT(form->previewBox()->width(), 0);
    MenuDocument& doc = form->doc();

    const auto once = [&](const char* what, const std::function<void()>& edit) {
        const int before = compositions(*form);
        edit();
        EXPECT_EQ(compositions(*form), before + 1) << what;
    };
    typeKey(control<QLineEdit>(*form, QStringLiteral("TitleEdit")), Qt::Key_End, QString());
    once("title keystroke", [&] {
        typeKey(control<QLineEdit>(*form, QStringLiteral("TitleEdit")), Qt::Key_X,
                QStringLiteral("x"));
    });
    EXPECT_EQ(doc.title, "Titlex");
    once("subtitle", [&] {
        control<QLineEdit>(*form, QStringLiteral("SubtitleEdit"))->setText(QStringLiteral("Sub"));
    });
    once("footnote", [&] {
        control<QLineEdit>(*form, QStringLiteral("FootnoteEdit"))->setText(QStringLiteral("Foot"));
    });
    once("bold", [&] { control<QCheckBox>(*form, QStringLiteral("BoldText"))->click(); });
    EXPECT_FALSE(doc.boldtext);
    once("shadow", [&] { control<QCheckBox>(*form, QStringLiteral("Shadow"))->click(); });
    once("thumbnails", [&] { control<QCheckBox>(*form, QStringLiteral("ShowThumbs"))->click(); });
    once("numbers", [&] { control<QCheckBox>(*form, QStringLiteral("ShowNumbers"))->click(); });
    once("caption 3", [&] {
        control<QLineEdit>(*form, QStringLiteral("Edit3"))->setText(QStringLiteral("Chapter"));
    });
    EXPECT_EQ(doc.item(3).menucaption, "Chapter");
    once("title size", [&] { control<QSlider>(*form, QStringLiteral("TitleSize"))->setValue(12); });
    EXPECT_EQ(doc.titlesize, 12);
    once("caption size",
         [&] { control<QSlider>(*form, QStringLiteral("CaptionSize"))->setValue(6); });
    once("first item", [&] {
        editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))
            ->setText(QStringLiteral("5"));
    });
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("CN1"))->text(), "5");
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("CN10"))->text(), "14");
    once("quality", [&] { form->findChild<QRadioButton*>("BetterQuality")->click(); });
    EXPECT_TRUE(doc.quality);
    once("background path", [&] {
        control<QLineEdit>(*form, QStringLiteral("BGImage"))
            ->setText(QStringLiteral("/no/such/picture.png"));
    });
    EXPECT_TRUE(doc.BackgroundPicture.isEmpty());
    if (control<QComboBox>(*form, QStringLiteral("TextFontCB"))->count() > 1)
        once("font", [&] {
            control<QComboBox>(*form, QStringLiteral("TextFontCB"))
                ->setCurrentIndex(
                    (control<QComboBox>(*form, QStringLiteral("TextFontCB"))->currentIndex() + 1) %
                    2);
        });

    // An unchanged slider value composes nothing.
    int before = compositions(*form);
    control<QSlider>(*form, QStringLiteral("TitleSize"))->setValue(12);
    EXPECT_EQ(compositions(*form), before);
    // A first item beyond 990 is held back.
    editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))
        ->setText(QStringLiteral("991"));
    EXPECT_EQ(compositions(*form), before);
    EXPECT_EQ(doc.menustart, 5);

    // New: one composition in all, every control back to its default.
    before = compositions(*form);
    form->New1Click();
    EXPECT_EQ(compositions(*form), before + 1);
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(), "Title");
    EXPECT_TRUE(control<QCheckBox>(*form, QStringLiteral("BoldText"))->isChecked());
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("Edit3"))->text(), "");
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("CN1"))->text(), "1");
    EXPECT_EQ(editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))->text(), "1");
    EXPECT_TRUE(form->findChild<QRadioButton*>("BetterSpeed")->isChecked());
    EXPECT_EQ(control<QSlider>(*form, QStringLiteral("TitleSize"))->value(), 10);
}

TEST_F(MainWindowTest, OpeningAProjectComposesOnceAndFillsThePanel)
{
    auto form = makeShownWindow();
    const QString path = scratchDir().filePath(QStringLiteral("holiday.tavrel"));
    {
        MenuDocument source;
        source.title = "Holiday";
        source.menucount = 4;
        source.item(2).menucaption = "Beach";
        source.quality = true;
        source.bgcolor = 0x00FFFF;
        SaveProject(source, path.toStdString());
    }
    MessageLog log;
    const int before = compositions(*form);
    form->openProject(path);
    EXPECT_EQ(compositions(*form), before + 1);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(), "Holiday");
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("Edit2"))->text(), "Beach");
    EXPECT_EQ(editorOf(control<NumberEdit>(*form, QStringLiteral("TotalItems")))->text(), "4");
    EXPECT_TRUE(form->findChild<QRadioButton*>("BetterQuality")->isChecked());
    EXPECT_EQ(form->findChild<ColorSwatch*>("BGColorPanel")->color(), 0x00FFFFu);
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - holiday.tavrel");

    // A file that is not there: the error box, the document and caption unchanged.
    form->openProject(scratchDir().filePath(QStringLiteral("missing.tavrel")));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::ErrorBox);
    EXPECT_TRUE(log.messages[0].text.startsWith(QStringLiteral("Cannot open file ")));
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - holiday.tavrel");
    EXPECT_EQ(form->doc().title, "Holiday");
    EXPECT_TRUE(form->doc().RenderEnabled);
}

TEST_F(MainWindowTest, OneStartupArgumentIsOpenedTwoAreNot)
{
    const QString path = scratchDir().filePath(QStringLiteral("party.tavrel"));
    {
        MenuDocument source;
        source.title = "Party";
        SaveProject(source, path.toStdString());
    }
    {
        TForm1 form;
        form.setStartupArguments({path});
        form.show();
        settle();
        EXPECT_EQ(form.windowTitle(), "Tavrel Lite 2.00 - party.tavrel");
        EXPECT_EQ(control<QLineEdit>(form, QStringLiteral("TitleEdit"))->text(), "Party");
    }
    {
        TForm1 form;
        form.setStartupArguments({path, path});
        form.show();
        settle();
        EXPECT_EQ(form.windowTitle(), "Tavrel Lite 2.00 - Untitled");
        EXPECT_EQ(control<QLineEdit>(form, QStringLiteral("TitleEdit"))->text(), "Title");
    }
}

TEST_F(MainWindowTest, NumberFieldsHoldBackAndPullIntoRange)
{
    auto form = makeShownWindow();
    MenuDocument& doc = form->doc();
    NumberEdit* total = control<NumberEdit>(*form, QStringLiteral("TotalItems"));

    // The count applies on every change, brought into range at once.
    editorOf(total)->setText(QStringLiteral("1"));
    EXPECT_EQ(doc.menucount, 1);
    int before = compositions(*form);
    editorOf(total)->setText(QStringLiteral("15"));
    EXPECT_EQ(doc.menucount, 10);
    EXPECT_EQ(compositions(*form), before + 1);
    loseFocus(total);
    EXPECT_EQ(editorOf(total)->text(), "10");
    EXPECT_EQ(compositions(*form), before + 1);

    // Letters are refused; digits are taken.
    editorOf(total)->selectAll();
    typeKey(total, Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(editorOf(total)->text(), "10");
    editorOf(total)->selectAll();
    typeKey(total, Qt::Key_7, QStringLiteral("7"));
    EXPECT_EQ(editorOf(total)->text(), "7");
    EXPECT_EQ(doc.menucount, 7);

    // An empty field reads as 0, which is in range.
    before = compositions(*form);
    editorOf(total)->clear();
    EXPECT_EQ(total->value(), 0);
    EXPECT_EQ(doc.menucount, 0);
    EXPECT_EQ(compositions(*form), before + 1);
    loseFocus(total);
    EXPECT_EQ(editorOf(total)->text(), "");

    // Text that is no integer reads as 0 too.
    editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))
        ->setText(QStringLiteral("1.5"));
    EXPECT_EQ(control<NumberEdit>(*form, QStringLiteral("FirstItem"))->value(), 0);
    EXPECT_EQ(doc.menustart, 0);
    editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))
        ->setText(QStringLiteral("-4"));
    EXPECT_EQ(doc.menustart, 0);
    loseFocus(control<NumberEdit>(*form, QStringLiteral("FirstItem")));
    EXPECT_EQ(editorOf(control<NumberEdit>(*form, QStringLiteral("FirstItem")))->text(), "0");

    // The arrows step by one within the range.
    total->setValue(9);
    total->stepBy(1);
    EXPECT_EQ(total->value(), 10);
    total->stepBy(1);
    EXPECT_EQ(total->value(), 10);
    editorOf(total)->setText(QStringLiteral("15"));
    total->stepBy(-1);
    EXPECT_EQ(total->value(), 10);
}

TEST_F(MainWindowTest, TabsShareThePageControlWidth)
{
    auto form = makeShownWindow();
    PageControl* pages = control<PageControl>(*form, QStringLiteral("PageControl1"));
    // Never so narrow that the shadow switch's caption is cut.
    const int narrowest = control<QWidget>(*form, QStringLiteral("LeftPanel"))->minimumWidth();
    EXPECT_GE(narrowest, control<QCheckBox>(*form, QStringLiteral("Shadow"))->sizeHint().width());
    for (int width : {narrowest + 35, 401, narrowest}) {
        // Moving the divider resizes the page control.
        control<QSplitter>(*form, QStringLiteral("Splitter1"))
            ->setSizes({width, form->width() - width - 5});
        settle();
        ASSERT_EQ(pages->width(), width);
        EXPECT_EQ(pages->tabBar()->tabRect(0).width(), (width - 10) / 2) << width;
        EXPECT_EQ(pages->tabBar()->tabRect(1).width(), (width - 10) / 2) << width;
    }
}

TEST_F(MainWindowTest, FitsALowScreenAndCtrlTabTurnsPagesFromAnywhere)
{
    // Twice the usual font stands in for a scaled desktop: the pages scroll instead of
    // holding the window taller than a 1280 x 720 screen.
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSizeF(usual.pointSizeF() * 2);
    QApplication::setFont(large);
    auto form = makeShownWindow();
    const QSize smallest = form->minimumSizeHint().expandedTo(form->minimumSize());
    EXPECT_LE(smallest.width(), 1280);
    EXPECT_LE(smallest.height(), 720 - 60); // a panel and a title bar besides
    QApplication::setFont(usual);

    QApplication::setActiveWindow(form.get());
    auto* pages = control<PageControl>(*form, QStringLiteral("PageControl1"));
    form->previewBox()->setFocus();
    QTest::keyClick(form->previewBox(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    QTest::keyClick(control<QLineEdit>(*form, QStringLiteral("Edit4")), Qt::Key_Tab,
                    Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 0);
}

// The TV warnings are those of the full-size menu (what --check finds), whatever the size
// of the preview: a small one blends a yellow menu's black text into false faults.
TEST_F(MainWindowTest, PreviewWarningsDoNotDependOnThePreviewSize)
{
    auto form = makeShownWindow();
    control<QAction>(*form, QStringLiteral("DVDPAL"))->trigger();
    form->doc().bgcolor = 0x00FFFF; // yellow, as BBGGRR
    form->doc().textcolor = kBlack;
    MenuGeometry geometry;
    Picture scratch;
    const Picture frame = ComposeMenuImage(form->doc(), scratch, &geometry);
    std::vector<std::string> expected;
    for (const LegibilityWarning& w : CheckLegibility(form->doc(), geometry, frame))
        expected.push_back(w.message);
    for (const QSize panel : {QSize(380, 330), QSize(560, 480)}) {
        control<QFrame>(*form, QStringLiteral("PaintPanel"))->resize(panel);
        form->doc().refresh();
        std::vector<std::string> shown;
        for (const LegibilityWarning& w : form->previewBox()->warnings())
            shown.push_back(w.message);
        EXPECT_EQ(shown, expected) << panel.width();
    }
}

// Larger than the screen (as at twice the scale on a small one), a window is made to fit
// its available area with its frame; the thumbnail dialog then keeps its
// buttons in sight by giving up view.
TEST_F(MainWindowTest, WindowsAreKeptInsideTheScreen)
{
    auto form = makeShownWindow();
    TClipForm picker(form->doc(), form->lastClipDir(), form.get());
    picker.show();
    const QRect area = form->screen()->availableGeometry();
    for (QWidget* window : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(&picker)}) {
        window->move(area.topLeft() - QPoint(300, 200));
        window->resize(area.size() * 2);
        FitToScreen(window);
        EXPECT_TRUE(area.contains(window->frameGeometry())) << window->objectName().toStdString();
    }
    picker.resize(picker.width(), 250);
    EXPECT_EQ(picker.height(), 250);
    EXPECT_LE(picker.OKBtn->geometry().bottom(), 250);
}

// Walking with the remote: from the first button the arrows follow the disc's links (a
// grid edge keeps the cursor), Enter presses, and the preview shows the one lit button.
TEST_F(MainWindowTest, TheRemoteWalksTheMenuInThePreview)
{
    auto form = makeShownWindow();
    const struct {
        int items;
        std::vector<int> keys;
        int reached;
    } walks[] = {
        {10, {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down}, 8},
        {10, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}, 1},
        {3, {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down}, 3},
    };
    QAction* walk = control<QAction>(*form, QStringLiteral("RemoteWalk1"));
    for (const auto& w : walks) {
        form->doc().setMenucount(w.items);
        const Picture plain = form->previewBox()->picture();
        walk->setChecked(true);
        for (const int key : w.keys)
            QTest::keyClick(form->previewBox(), static_cast<Qt::Key>(key));
        EXPECT_TRUE(form->statusBar()->currentMessage().startsWith(
            QStringLiteral("Button %1 ").arg(w.reached)))
            << form->statusBar()->currentMessage().toStdString();
        QTest::keyClick(form->previewBox(), Qt::Key_Return);
        EXPECT_TRUE(form->statusBar()->currentMessage().contains(QStringLiteral("pressed")));
        EXPECT_FALSE(std::equal(plain.data(), plain.data() + plain.height() * plain.stride(),
                                form->previewBox()->picture().data()));
        walk->setChecked(false);
    }
}

TEST_F(MainWindowTest, PreviewBoxPlacedInItsPanel)
{
    auto form = makeShownWindow();
    control<QAction>(*form, QStringLiteral("DVDPAL"))->trigger(); // 720 x 576
    control<QFrame>(*form, QStringLiteral("PaintPanel"))->resize(522, 496);
    EXPECT_EQ(form->previewBox()->geometry(), QRect(5, 43, 512, 409));
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("ISizePanel"))->text(),
              "720 x 576 at 71% preview");

    // The image-size commands re-lay the box; the repaint that follows composes it.
    const int before = compositions(*form);
    control<QAction>(*form, QStringLiteral("VCDNTSC"))->trigger(); // 704 x 480
    EXPECT_EQ(compositions(*form), before);
    EXPECT_EQ(form->previewBox()->geometry(), QRect(5, 73, 512, 349));
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("ISizePanel"))->text(),
              "704 x 480 at 72% preview");
    form->previewBox()->repaint();
    EXPECT_EQ(compositions(*form), before + 1);
    EXPECT_EQ(form->previewBox()->picture().width(), 512);
    EXPECT_EQ(form->previewBox()->picture().height(), 349);

    control<QFrame>(*form, QStringLiteral("PaintPanel"))->resize(8, 300);
    EXPECT_FALSE(form->previewBox()->isVisible());
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("ISizePanel"))->text(),
              "704 x 480 at 0% preview");
}

TEST_F(MainWindowTest, SettingsFirstRunDefaultsWrittenAtClose)
{
    {
        auto form = makeShownWindow();
        EXPECT_EQ(form->width(), 800);
        EXPECT_EQ(form->height(), 570);
        EXPECT_FALSE(form->isMaximized());
        EXPECT_EQ(form->doc().ImageWidth, 720); // a DVD size
        EXPECT_EQ(form->doc().ImageHeight, 480);
        form->close();
    }
    EXPECT_EQ(storedSetting("MainWidth"), "800");
    EXPECT_EQ(storedSetting("MainHeight"), "570");
    EXPECT_EQ(storedSetting("MainMaximized"), "0");
    EXPECT_EQ(storedSetting("VideoMode"), "2");
    auto store = OpenSettingsStore();
    for (const char* name : {"LastClipDir", "LastSaveImageDir", "LastFileDir", "CustomColors"}) {
        EXPECT_TRUE(store->contains(name)) << name;
        EXPECT_EQ(store->value(name).toString(), "") << name;
    }
}

TEST_F(MainWindowTest, SettingsReadBackAndBadValues)
{
    writeSettings({{"MainWidth", "900"},
                   {"MainHeight", "-5"},
                   {"VideoMode", "2"},
                   {"LastClipDir", "/tmp/clips/"},
                   {"LastFileDir", "/tmp/menus, old/"}});
    {
        auto form = makeShownWindow();
        EXPECT_EQ(form->width(), 900);
        EXPECT_EQ(form->height(), 570);
        EXPECT_EQ(form->doc().ImageWidth, 720);
        EXPECT_EQ(form->doc().ImageHeight, 480);
        EXPECT_TRUE(form->findChild<QAction*>("DVDNTSC")->isChecked());
        EXPECT_EQ(form->lastClipDir(), "/tmp/clips/");
        EXPECT_EQ(form->lastFileDir(), "/tmp/menus, old/");
        form->close();
    }
    EXPECT_EQ(storedSetting("MainWidth"), "900");
    EXPECT_EQ(storedSetting("MainHeight"), "570");
    EXPECT_EQ(storedSetting("VideoMode"), "2");
    EXPECT_EQ(storedSetting("LastFileDir"), "/tmp/menus, old/");

    for (const char* bad : {"7", "abc", "-1"}) {
        writeSettings({{"VideoMode", bad}, {"MainWidth", "0"}});
        auto form = makeShownWindow();
        EXPECT_EQ(form->doc().VideoMode, 2) << bad;
        EXPECT_EQ(form->width(), 800);
        form->close();
        EXPECT_EQ(storedSetting("VideoMode"), "2");
        EXPECT_EQ(storedSetting("MainWidth"), "800");
    }
}

// Two editors at once: the one that closes last writes only what it changed, so the PAL
// size the other chose, and the folder it used, are still there for the next start.
TEST_F(MainWindowTest, SettingsOfTwoEditorsDoNotOverwriteEachOther)
{
    writeSettings({{"VideoMode", "2"}, {"LastFileDir", "/old/"}});
    auto first = makeShownWindow();
    auto second = makeShownWindow();
    control<QAction>(*first, QStringLiteral("DVDPAL"))->trigger();
    first->close();
    EXPECT_EQ(storedSetting("VideoMode"), "3");
    second->resize(second->width() + 40, second->height());
    second->close();
    EXPECT_EQ(storedSetting("VideoMode"), "3");
    EXPECT_EQ(storedSetting("LastFileDir"), "/old/");
    EXPECT_EQ(storedSetting("MainWidth"), QString::number(second->width()));
}

TEST_F(MainWindowTest, SettingsMaximizedAnyNonZero)
{
    writeSettings({{"MainMaximized", "2"}, {"MainWidth", "700"}, {"MainHeight", "500"}});
    {
        auto form = makeShownWindow();
        EXPECT_TRUE(form->isMaximized());
        form->close();
    }
    EXPECT_EQ(storedSetting("MainMaximized"), "1");
    // The normal size behind the maximized window is what is kept.
    EXPECT_EQ(storedSetting("MainWidth"), "700");
    EXPECT_EQ(storedSetting("MainHeight"), "500");
}

// The numbers behind the switches and the preset, at their edges: any integer but 0 is
// true, the preset only 0..3, and text that is no 32-bit decimal gives the default.
TEST(SettingsValues, NumbersAtTheEdges)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QSettings store(folder.filePath("settings.ini"), QSettings::IniFormat);
    auto read = [&](const QString& name, const QString& value) {
        store.clear();
        store.setValue(name, value);
        std::vector<QString> reports;
        const EditorSettings s =
            ReadSettings(store, [&](const QString& text) { reports.push_back(text); });
        EXPECT_TRUE(reports.empty()) << name.toStdString() << "=" << value.toStdString();
        return s;
    };
    const std::pair<const char*, bool> maximized[] = {
        {"0", false},          {"-0", false}, {"+0", false},         {"1", true},
        {"-1", true},          {"2", true},   {"-2147483648", true}, {"2147483647", true},
        {"2147483648", false}, {"", false},   {"x", false},          {"1x", false}};
    for (const auto& [value, expected] : maximized)
        EXPECT_EQ(read("MainMaximized", value).MainMaximized, expected) << value;

    const std::pair<const char*, int> modes[] = {{"0", 0},  {"1", 1},  {"3", 3},
                                                 {"-1", 2}, {"4", 2},  {"-3", 2},
                                                 {"-0", 0}, {"+2", 2}, {"2147483651", 2}};
    for (const auto& [value, expected] : modes)
        EXPECT_EQ(read("VideoMode", value).VideoMode, expected) << value;

    // The size is read as it is; the window takes it only when greater than 0.
    const std::pair<const char*, int> widths[] = {
        {"0", 0}, {"-5", -5}, {"-2147483648", -2147483647 - 1}, {"2147483648", 0}, {"9x", 0}};
    for (const auto& [value, expected] : widths) {
        EXPECT_EQ(read("MainWidth", value).MainWidth, expected) << value;
        EXPECT_EQ(read("MainHeight", value).MainHeight, expected) << value;
    }
}

TEST_F(MainWindowTest, MaximizingAndRestoringKeepsTheNormalSize)
{
    {
        auto form = makeShownWindow();
        form->showMaximized();
        settle();
        ASSERT_TRUE(form->isMaximized());
        form->showNormal();
        settle();
        form->close();
    }
    EXPECT_EQ(storedSetting("MainWidth"), "800");
    EXPECT_EQ(storedSetting("MainHeight"), "570");
    EXPECT_EQ(storedSetting("MainMaximized"), "0");
}

TEST_F(MainWindowTest, SettingsWrongTypeReported)
{
    {
        auto store = OpenSettingsStore();
        store->setValue("LastSaveImageDir", QStringList{"a", "b"});
        store->sync();
    }
    MessageLog log;
    auto form = makeShownWindow();
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::ErrorBox);
    EXPECT_EQ(log.messages[0].text, "Invalid data type for 'LastSaveImageDir'");
    EXPECT_EQ(form->lastSaveImageDir(), "");
}

TEST_F(MainWindowTest, SettingsWriteFailuresNameTheirCause)
{
    const QString file = OpenSettingsStore()->fileName();
    const QString folder = QFileInfo(file).absolutePath();
    const auto closeAndReport = [this] {
        MessageLog log;
        makeShownWindow()->close();
        return log.messages.size() == 1 ? log.messages[0].text
                                        : QStringLiteral("<no single message>");
    };
    // The store's file cannot be written: the values could not be set.
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    EXPECT_EQ(closeAndReport(), "Failed to set data for 'MainWidth'");
    ASSERT_TRUE(QDir(file).removeRecursively());
    // Its folder cannot be made: the key could not be created.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(closeAndReport(), "Failed to create key " + file + ".");
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
}

TEST_F(MainWindowTest, CustomColorsCancelKeepsThemExactly)
{
    const QString stored = QStringLiteral("ColorA=0000FF\r\ncolorb=ffffffff\nJunk line\r\n");
    writeSettings({{"CustomColors", stored}});
    {
        auto form = makeShownWindow();
        // The chooser that opens is the one that shows the shared custom colours.
        bool ownChooser = false;
        QColor firstSlot;
        QTimer::singleShot(0, [&] {
            if (auto* chooser = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
                ownChooser = chooser->testOption(QColorDialog::DontUseNativeDialog);
                firstSlot = QColorDialog::customColor(0);
            }
        });
        ModalCloser closer(false);
        form->BGColorBtnClick();
        EXPECT_EQ(closer.opened, 1);
        EXPECT_TRUE(ownChooser);
        EXPECT_EQ(firstSlot, QColor(Qt::red));
        EXPECT_EQ(form->customColors().text(), stored);
        EXPECT_EQ(form->doc().bgcolor, kWhite);
        form->close();
    }
    EXPECT_EQ(storedSetting("CustomColors"), stored);

    // OK writes all sixteen slots back, keeping what the user did not touch.
    {
        auto form = makeShownWindow();
        ModalCloser closer(true);
        const int before = compositions(*form);
        form->TextColorBtnClick();
        EXPECT_EQ(closer.opened, 1);
        EXPECT_EQ(compositions(*form), before + 1);
        form->close();
    }
    const QString text = storedSetting("CustomColors");
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("ColorA=0000FF\r\nColorB=FFFFFFFF\r\nJunk line\r\nColorC=FFFFFFFF\r\n")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("ColorP=FFFFFFFF\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 17);
}

TEST_F(MainWindowTest, MalformedCustomColorKeepsTheChooserClosed)
{
    writeSettings({{"CustomColors", "ColorA=0000FF\r\nColorB=12G4\r\n"}});
    auto form = makeShownWindow();
    MessageLog log;
    ModalCloser closer(false);
    form->BGColorBtnClick();
    settle();
    EXPECT_EQ(closer.opened, 0);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::ErrorBox);
    EXPECT_EQ(log.messages[0].text, "'$12G4' is not a valid integer value.");
}

TEST_F(MainWindowTest, SaveAsNamesTheWindowAndFailureChangesNothing)
{
    auto form = makeShownWindow();
    MessageLog log;
    const QString path = scratchDir().filePath(QStringLiteral("wedding.tavrel"));
    form->saveProjectAs(path);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - wedding.tavrel");
    EXPECT_EQ(form->doc().CurrentFileName, path.toStdString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("id=Tavrel\r\nversion=100\r\n"));

    form->saveProjectAs(QStringLiteral("/no/such/folder/x.tavrel"));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].text,
              "Cannot create file /no/such/folder/x.tavrel: No such file or directory.");
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - wedding.tavrel");

    // A source path the file cannot hold is refused in a box, not saved changed.
    form->doc().item(2).source.menuclip = "/clips/a\nb.mpg";
    EXPECT_FALSE(form->saveProjectAs(path));
    ASSERT_EQ(log.messages.size(), 2u);
    EXPECT_TRUE(log.messages[1].text.contains(QStringLiteral("line break")))
        << log.messages[1].text.toStdString();
    QFile again(path); // a save would have put a new file in its place
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_FALSE(again.readAll().contains("b.mpg"));

    form->New1Click();
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - Untitled");
}

TEST_F(MainWindowTest, ExportWritesWhatTheNameSaysAndConfirmsInTheStatusBar)
{
    auto form = makeShownWindow();
    MessageLog log;
    // A picture extension chooses the writer whatever type is selected; a name without one
    // takes the selected type and its suffix.
    const struct {
        PictureType selected;
        const char* name;
        const char* written;
        QByteArray magic;
    } cases[] = {
        {PictureType::Bmp, "menu.png", "menu.png", QByteArrayLiteral("\x89PNG\r\n\x1A\n")},
        {PictureType::Png, "menu.GIF", "menu.GIF", QByteArrayLiteral("GIF87a")},
        {PictureType::Bmp, "menu.jpeg", "menu.jpeg", QByteArrayLiteral("\xFF\xD8\xFF")},
        {PictureType::Gif, "menu.bmp", "menu.bmp", QByteArrayLiteral("BM")},
        {PictureType::Jpeg, "menu", "menu.jpg", QByteArrayLiteral("\xFF\xD8\xFF")},
        {PictureType::Bmp, "menu.v2", "menu.v2.bmp", QByteArrayLiteral("BM")},
    };
    for (const auto& c : cases) {
        const QString path = scratchDir().filePath(QString::fromLatin1(c.name));
        const QString written = scratchDir().filePath(QString::fromLatin1(c.written));
        EXPECT_TRUE(form->exportTo(path, c.selected)) << c.name;
        EXPECT_TRUE(log.messages.empty()); // no box to click away
        EXPECT_EQ(form->statusBar()->currentMessage(), written + " saved");
        QFile file(written);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.written;
        const QByteArray data = file.readAll();
        EXPECT_TRUE(data.startsWith(c.magic)) << c.name;
        if (c.magic == "BM") {
            EXPECT_EQ(data.size(), 1036854); // 720 x 480, 24 bits
        }
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const QString bad = QStringLiteral("/no/such/folder/menu.bmp");
    EXPECT_FALSE(form->exportTo(bad, PictureType::Bmp));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(log.messages[0].text, "Error saving " + bad + ": No such file or directory");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ExportDialogKeepsNameAndTypeInStep)
{
    auto form = makeShownWindow();
    ImageExportDialog* dialog = form->imageSaveDialog();
    EXPECT_EQ(dialog->windowTitle(), "Save Image File");
    EXPECT_EQ(dialog->defaultSuffix(), "bmp");
    ASSERT_NE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")), nullptr);
    dialog->setTypedName(QStringLiteral("wedding.bmp"));
    dialog->selectNameFilter(QStringLiteral("JPG image (*.jpg *.jpeg)"));
    emit dialog->filterSelected(QStringLiteral("JPG image (*.jpg *.jpeg)"));
    EXPECT_EQ(dialog->defaultSuffix(), "jpg");
    EXPECT_EQ(dialog->typedName(), "wedding.jpg");
    dialog->setTypedName(QStringLiteral("menu"));
    emit dialog->filterSelected(QStringLiteral("PNG image (*.png)"));
    EXPECT_EQ(dialog->typedName(), "menu.png");
    EXPECT_EQ(form->imageSaveDialog(), dialog); // one dialog for the run

    // Through the dialog: the project's name, the last type and folder are proposed, and a
    // typed ".png" with BMP selected writes PNG bytes.
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("wedding.tavrel"));
    ASSERT_TRUE(form->saveProjectAs(project));
    QString proposed;
    QTimer::singleShot(0, [&] {
        proposed = dialog->typedName();
        dialog->setDirectory(dir.path());
        dialog->selectType(PictureType::Bmp);
        dialog->setTypedName(QStringLiteral("typed.png"));
        static_cast<QDialog*>(dialog)->accept(); // the file dialog's own accept is protected
    });
    form->ImageSaveClick();
    EXPECT_EQ(proposed, "wedding.png"); // PNG until another type is chosen
    QFile typed(dir.filePath(QStringLiteral("typed.png")));
    ASSERT_TRUE(typed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(typed.readAll().startsWith("\x89PNG"));
    EXPECT_EQ(form->statusBar()->currentMessage(), typed.fileName() + " saved");

    // The next export proposes PNG, the folder just used, and the project's name again.
    QString folder;
    QTimer::singleShot(0, [&] {
        proposed = dialog->typedName();
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    form->ImageSaveClick();
    EXPECT_EQ(proposed, "wedding.png");
    EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(dialog->selectedType(), PictureType::Png);
}

TEST_F(MainWindowTest, PicturePreviewLabelGivesTheSizeOrPicture)
{
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("small.bmp"));
    ASSERT_TRUE(SaveAsBMP(bmp.toStdString(), Picture(3, 2)));
    const QString text = dir.filePath(QStringLiteral("notes.bmp"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    PictureFileDialog dialog;
    dialog.showPreview(bmp);
    EXPECT_EQ(dialog.previewCaption(), " (3x2)");
    dialog.showPreview(text);
    EXPECT_TRUE(dialog.previewCaption().startsWith("No preview: ")); // and why
    EXPECT_GT(dialog.previewCaption().size(), 14);
}

TEST_F(MainWindowTest, HelpOpensOnDemandAndClosesWithTheWindow)
{
    auto form = makeShownWindow();
    form->setHelpFolder(QStringLiteral(TAVREL_SOURCE_DIR "/help"));
    EXPECT_EQ(form->helpViewer(), nullptr);

    control<QAction>(*form, QStringLiteral("Contents1"))->trigger();
    ASSERT_NE(form->helpViewer(), nullptr);
    EXPECT_TRUE(form->helpViewer()->isVisible());
    EXPECT_EQ(form->helpViewer()->currentPage(), "index.html");
    EXPECT_TRUE(
        form->helpViewer()->browser()->toPlainText().contains(QStringLiteral("Getting started")));

    // F1 on the open File menu opens the menus' topic.
    control<QMenu>(*form, QStringLiteral("File1"))->popup(form->mapToGlobal(QPoint(10, 10)));
    settle();
    typeKey(control<QMenu>(*form, QStringLiteral("File1")), Qt::Key_F1, QString());
    EXPECT_FALSE(control<QMenu>(*form, QStringLiteral("File1"))->isVisible());
    EXPECT_EQ(form->helpViewer()->currentPage(), "context300.html");

    form->close();
    EXPECT_FALSE(form->helpViewer()->isVisible());
}

TEST_F(MainWindowTest, ClosingWithoutHelpCreatesNoHelpWindow)
{
    auto form = makeShownWindow();
    form->close();
    EXPECT_EQ(form->helpViewer(), nullptr);
}

TEST(SingleInstanceTest, LockNames)
{
    EXPECT_EQ(SingleInstance::LockNameFor("/usr/bin/EDITOR.EXE"), "Editor");
    EXPECT_EQ(SingleInstance::LockNameFor("/opt/tavrel"), "tavrel");
    EXPECT_EQ(SingleInstance::LockNameFor("TaVREL.bin.old"), "Tavrel");
    // One copy per display: a second seat or a remote session gets its own.
    EXPECT_EQ(SingleInstance::DisplayKey("", ""), "");
    EXPECT_EQ(SingleInstance::DisplayKey("", ":0"), "-_0");
    EXPECT_NE(SingleInstance::DisplayKey("", ":1"), SingleInstance::DisplayKey("", ":0"));
    EXPECT_EQ(SingleInstance::DisplayKey("/run/user/1000/wayland-0", "remote:10.0"),
              "-_run_user_1000_wayland-0-remote_10.0");
    EXPECT_EQ(SingleInstance::LockNameFor("/x/.hidden"), "Tavrel");
}

TEST(SingleInstanceTest, SecondCopyAsksTheFirstToShow)
{
    testApplication();
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstance>("Tavrel", dir.path());
    ASSERT_TRUE(first->isFirst());
    int asked = 0;
    QObject::connect(first.get(), &SingleInstance::showRequested, [&] { ++asked; });

    SingleInstance second("Tavrel", dir.path());
    EXPECT_FALSE(second.isFirst());
    EXPECT_TRUE(second.requestShow());
    QElapsedTimer clock;
    clock.start();
    while (asked == 0 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(asked, 1);

    // Another lock name is another program.
    SingleInstance other("Editor", dir.path());
    EXPECT_TRUE(other.isFirst());

    // After the first copy has ended the next start runs normally.
    first.reset();
    SingleInstance next("Tavrel", dir.path());
    EXPECT_TRUE(next.isFirst());
}

TEST(SingleInstanceTest, LockOfAnotherProcessAndStaleLock)
{
    testApplication();
    QTemporaryDir dir;
    const QString lockPath = dir.filePath("Tavrel.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QLockFile lock(lockPath);
        const char ok = lock.tryLock(0) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    {
        SingleInstance copy("Tavrel", dir.path());
        EXPECT_FALSE(copy.isFirst());
    }
    // The holder dies without unlocking, as in a crash: the lock is taken over.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(QFile::exists(lockPath));
    SingleInstance copy("Tavrel", dir.path());
    EXPECT_TRUE(copy.isFirst());
}

TEST(SingleInstanceTest, SecondProgramQuits)
{
    testApplication();
    ASSERT_TRUE(QFile::exists(QStringLiteral(TAVREL_BINARY))) << TAVREL_BINARY;
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(TAVREL_BINARY), {});
    ASSERT_TRUE(first.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(dir.filePath("tavrel.socket")) && clock.elapsed() < 10000)
        QThread::msleep(20);
    ASSERT_TRUE(QFile::exists(dir.filePath("tavrel.socket")));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(TAVREL_BINARY), {});
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished();
    }
}

TEST_F(MainWindowTest, DiscButtonsShowOverThePreviewAndTheExportSummarisesInOneBox)
{
    auto form = makeShownWindow();
    control<QAction>(*form, QStringLiteral("DVDPAL"))->trigger(); // 720 x 576
    settle();
    auto* preview = form->findChild<QComboBox*>("ButtonPreviewCB");
    auto* style = form->findChild<QComboBox*>("ButtonStyleCB");
    ASSERT_TRUE(preview && style);
    const auto countColor = [&](Color color) {
        const Picture& p = form->previewBox()->picture();
        int n = 0;
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x) {
                const std::uint8_t* px = p.pixel(x, y);
                n += (px[0] | px[1] << 8 | px[2] << 16) == static_cast<int>(color);
            }
        return n;
    };
    const Color highlight = form->doc().highlightcolor;
    const Color select = form->doc().selectcolor;
    EXPECT_EQ(countColor(highlight), 0);
    preview->setCurrentIndex(1);
    settle();
    const int underline = countColor(highlight);
    EXPECT_GT(underline, 0);
    style->setCurrentIndex(1); // a frame around each thumbnail covers more
    EXPECT_EQ(form->doc().buttonstyle, ButtonStyle::Frame);
    settle();
    EXPECT_GT(countColor(highlight), underline);
    preview->setCurrentIndex(2);
    settle();
    EXPECT_EQ(countColor(highlight), 0);
    EXPECT_GT(countColor(select), 0);

    // New brings the panel back to the defaults.
    form->New1Click();
    settle();
    EXPECT_EQ(style->currentIndex(), 0);

    ASSERT_NE(control<QAction>(*form, QStringLiteral("DiscMenuSave")), nullptr);
    EXPECT_EQ(control<QAction>(*form, QStringLiteral("DiscMenuSave"))->text(),
              "Export &disc menu...");
    MessageLog log;
    const QString folder = scratchDir().filePath(QStringLiteral("disc menu"));
    ExportDiscMenuTo(form.get(), form->doc(), folder);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::Information) << log.messages[0].text.toStdString();
    for (const char* name : {"menu.png", "highlight.png", "menu.mpg", "dvdauthor.xml"})
        EXPECT_TRUE(log.messages[0].text.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/menu.mpg")));

    // Again into the same folder: asked first, and a "no" writes nothing.
    QFile xml(folder + QStringLiteral("/dvdauthor.xml"));
    ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
    xml.write("<dvdauthor><!-- edited --></dvdauthor>");
    xml.close();
    log.goOn = false;
    ExportDiscMenuTo(form.get(), form->doc(), folder);
    ASSERT_EQ(log.questions.size(), 1u);
    EXPECT_TRUE(log.questions[0].contains(QStringLiteral("\n  dvdauthor.xml\n")));
    EXPECT_EQ(log.messages.size(), 1u);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    EXPECT_EQ(xml.readAll(), "<dvdauthor><!-- edited --></dvdauthor>");
    xml.close();

    // A folder that cannot be made: the error box, nothing else.
    ExportDiscMenuTo(form.get(), form->doc(), folder + QStringLiteral("/menu.png/sub"));
    ASSERT_EQ(log.messages.size(), 2u);
    EXPECT_EQ(log.messages[1].kind, MessageKind::ErrorBox);
}
