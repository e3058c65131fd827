#include "tvmenus.h"

#include "previewbox.h"
#include "settings.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalBlocker>

#include <memory>

namespace {

const QString kSafeAreasKey = QStringLiteral("SafeAreas");
const QString kSafeAreaSetKey = QStringLiteral("SafeAreaSet");

QAction* checkable(QMenu* menu, const char* name, const QString& caption, QActionGroup* group)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setCheckable(true);
    if (group)
        group->addAction(action);
    return action;
}

} // namespace

TvMenus::TvMenus(QMenuBar* bar, QMenu* before, MenuDocument& doc, PreviewBox* preview,
                 QObject* parent)
    : QObject(parent), m_doc(doc), m_preview(preview)
{
    View1 = new QMenu(tr("&View"), bar);
    View1->setObjectName(QStringLiteral("View1"));
    SafeAreas1 = checkable(View1, "SafeAreas1", tr("&Safe areas"), nullptr);
    SafeAreas1->setToolTip(tr("Show the action-safe and title-safe areas over the preview"));
    View1->addSeparator();
    auto* sets = new QActionGroup(this);
    safeSetActions[0] = checkable(View1, "SafeAreasCurrent",
                                  tr("Today's safe areas (action 93 %, title 90 %)"), sets);
    safeSetActions[1] = checkable(View1, "SafeAreasClassic",
                                  tr("Classic CRT safe areas (action 90 %, title 80 %)"), sets);
    safeSetActions[0]->setChecked(true);

    Tv1 = new QMenu(tr("&TV"), bar);
    Tv1->setObjectName(QStringLiteral("Tv1"));
    auto* aspects = new QActionGroup(this);
    aspectActions[0] = checkable(Tv1, "AspectPixels", tr("&Pixels as they are"), aspects);
    aspectActions[1] = checkable(Tv1, "Aspect43", tr("&4:3 TV"), aspects);
    aspectActions[2] = checkable(Tv1, "Aspect169", tr("&16:9 TV"), aspects);
    Tv1->addSeparator();
    FitText1 = checkable(Tv1, "FitText1", tr("&Fit text"), nullptr);
    TvSafe1 = checkable(Tv1, "TvSafe1", tr("TV-safe &output"), nullptr);
    SafeLayout1 = checkable(Tv1, "SafeLayout1", tr("&Keep inside title-safe"), nullptr);
    bar->insertMenu(before->menuAction(), View1);
    bar->insertMenu(before->menuAction(), Tv1);

    connect(SafeAreas1, &QAction::toggled, this, [this](bool on) {
        m_preview->setSafeAreasShown(on);
        saveSettings();
    });
    for (int i = 0; i < 2; ++i)
        connect(safeSetActions[static_cast<std::size_t>(i)], &QAction::triggered, this, [this, i] {
            run([&] {
                m_doc.safeAreas = i == 0 ? SafeAreaSet::Current : SafeAreaSet::Classic;
                m_doc.refresh(); // the check and "Fit text" use the set
            });
            m_preview->update();
            saveSettings();
        });
    static const MenuAspect kAspects[3] = {MenuAspect::Pixels, MenuAspect::Standard,
                                           MenuAspect::Wide};
    for (int i = 0; i < 3; ++i)
        connect(aspectActions[static_cast<std::size_t>(i)], &QAction::triggered, this, [this, i] {
            run([&] { m_doc.setAspect(kAspects[i]); });
            if (onAspectChanged)
                onAspectChanged();
        });
    connect(FitText1, &QAction::triggered, this,
            [this](bool on) { run([&] { m_doc.setFittext(on); }); });
    connect(TvSafe1, &QAction::triggered, this,
            [this](bool on) { run([&] { m_doc.setTvsafe(on); }); });
    connect(SafeLayout1, &QAction::triggered, this,
            [this](bool on) { run([&] { m_doc.setSafelayout(on); }); });
    sync();
}

void TvMenus::run(const std::function<void()>& change)
{
    if (guarded)
        guarded(change);
    else
        change();
}

void TvMenus::sync()
{
    const int aspect = m_doc.aspect == MenuAspect::Standard ? 1
                       : m_doc.aspect == MenuAspect::Wide   ? 2
                                                            : 0;
    aspectActions[static_cast<std::size_t>(aspect)]->setChecked(true);
    FitText1->setChecked(m_doc.fittext);
    TvSafe1->setChecked(m_doc.tvsafe);
    SafeLayout1->setChecked(m_doc.safelayout);
    safeSetActions[m_doc.safeAreas == SafeAreaSet::Classic ? 1 : 0]->setChecked(true);
}

void TvMenus::loadSettings()
{
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const bool shown = store->value(kSafeAreasKey).toString() == QStringLiteral("true");
    m_doc.safeAreas = store->value(kSafeAreaSetKey).toString() == QStringLiteral("classic")
                          ? SafeAreaSet::Classic
                          : SafeAreaSet::Current;
    {
        const QSignalBlocker block(SafeAreas1);
        SafeAreas1->setChecked(shown);
    }
    m_preview->setSafeAreasShown(shown);
    sync();
}

void TvMenus::saveSettings()
{
    // Settings are a convenience: a store that cannot be written loses only the switch.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    store->setValue(kSafeAreasKey,
                    SafeAreas1->isChecked() ? QStringLiteral("true") : QStringLiteral("false"));
    store->setValue(kSafeAreaSetKey, m_doc.safeAreas == SafeAreaSet::Classic
                                         ? QStringLiteral("classic")
                                         : QStringLiteral("today"));
    store->sync();
}
