// The main window's parts for what the TV shows: the View and TV menus and the list of
// legibility warnings under the preview.
#include "mainwindow.h"

#include "legibilitypanel.h"
#include "pagecontrol.h"
#include "previewbox.h"
#include "tvmenus.h"

#include <QLineEdit>
#include <QVBoxLayout>

void TForm1::buildTvParts()
{
    tvMenus = new TvMenus(menuBar(), Help1, m_doc, PaintBox1, this);
    tvMenus->guarded = [this](const std::function<void()>& change) { guarded(change); };
    tvMenus->onAspectChanged = [this] { UpdatePreviewBounds(); };
    tvMenus->loadSettings();

    LegibilityPanel1 = new LegibilityPanel(RightPanel);
    if (auto* column = qobject_cast<QVBoxLayout*>(RightPanel->layout()))
        column->addWidget(LegibilityPanel1);
    PaintBox1->onWarnings = [this](const std::vector<LegibilityWarning>& warnings) {
        LegibilityPanel1->showWarnings(warnings);
    };
    LegibilityPanel1->onSelect = [this](const LegibilityWarning& w) { selectWarningField(w); };
}

void TForm1::selectWarningField(const LegibilityWarning& warning)
{
    QLineEdit* field = BGImage; // the picture as a whole: its background
    if (warning.hasField) {
        switch (warning.field) {
        case MenuField::Title:
            field = TitleEdit;
            break;
        case MenuField::Subtitle:
            field = SubtitleEdit;
            break;
        case MenuField::Footnote:
            field = FootnoteEdit;
            break;
        case MenuField::Caption:
            if (warning.item >= 1 && warning.item <= kItemCount)
                field = Edit[static_cast<std::size_t>(warning.item - 1)];
            break;
        }
    }
    for (int page = 0; page < PageControl1->count(); ++page)
        if (PageControl1->widget(page)->isAncestorOf(field))
            PageControl1->setCurrentIndex(page);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}
