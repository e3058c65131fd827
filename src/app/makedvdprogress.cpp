#include "makedvdprogress.h"

#include "base/signalcleanup.h"
#include "burndialog.h"
#include "widgets/messages.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace {

constexpr int kBarSteps = 1000;
// A run younger than this is stopped at once; an older one is asked about first.
constexpr qint64 kAskAfterMs = 5000;

UrlOpener& urlOpener()
{
    static UrlOpener opener;
    return opener;
}

int barValue(double done)
{
    return static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * kBarSteps));
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

// Passes MakeDvd's reports to the dialog on the GUI thread. The dialog outlives the
// worker (it joins it), so queued calls find it; those still queued when it is gone are
// dropped by Qt with their context object.
class DialogProgress : public DvdProgress {
public:
    explicit DialogProgress(MakeDvdProgressDialog* dialog) : m_dialog(dialog) {}

    void stage(DvdStage stage, const std::string& text) override
    {
        m_dialog->m_workerStage = stage;
        post([text](MakeDvdProgressDialog* d) { d->showStage(fromStd(text)); });
    }
    void titles(const TitlesStatus& status) override
    {
        post([status](MakeDvdProgressDialog* d) { d->showTitles(status); });
    }
    void note(const std::string& text) override
    {
        post([text](MakeDvdProgressDialog* d) { d->addNote(fromStd(text)); });
    }
    bool cancelled() override
    {
        return m_dialog->m_cancel.load() || SignalCancelScope::caught() != 0;
    }

    template <class F> void post(F call)
    {
        MakeDvdProgressDialog* dialog = m_dialog;
        QMetaObject::invokeMethod(
            dialog, [dialog, call] { call(dialog); }, Qt::QueuedConnection);
    }

private:
    MakeDvdProgressDialog* m_dialog;
};

void SetUrlOpener(UrlOpener opener)
{
    urlOpener() = std::move(opener);
}

QString TimeLeftText(double seconds)
{
    if (!(seconds >= 0) || !std::isfinite(seconds))
        return {};
    const long total = std::lround(seconds);
    if (total < 60)
        return QStringLiteral("About %1 s left").arg(std::max(total, 1L));
    if (total < 3600)
        return QStringLiteral("About %1 min %2 s left").arg(total / 60).arg(total % 60);
    return QStringLiteral("About %1 h %2 min left").arg(total / 3600).arg(total % 3600 / 60);
}

MakeDvdProgressDialog::MakeDvdProgressDialog(const MenuDocument& doc, DvdOptions options,
                                             QWidget* parent, int videoMode)
    : QDialog(parent), m_doc(std::make_unique<MenuDocument>(doc)), m_options(std::move(options))
{
    // The copy belongs to the worker: nothing in the window may hear of it.
    m_doc->onRefresh = {};
    m_doc->onMenuStartChanged = {};
    m_doc->onVideoModeChanged = {};
    m_doc->onSyncPanel = {};
    m_doc->onFileNameChanged = {};
    if (videoMode >= 0 && videoMode < static_cast<int>(kVideoModes.size()))
        m_doc->selectVideoMode(videoMode);

    setObjectName(QStringLiteral("MakeDvdProgress"));
    setWindowTitle(QStringLiteral("Making the DVD"));
    setMinimumWidth(460);
    auto* column = new QVBoxLayout(this);
    m_stage = new QLabel(QStringLiteral("Starting"));
    m_stage->setObjectName(QStringLiteral("DvdStage"));
    m_stage->setWordWrap(true);
    column->addWidget(m_stage);
    m_titleBars = new QVBoxLayout;
    column->addLayout(m_titleBars);
    column->addWidget(new QLabel(QStringLiteral("All titles")));
    m_overall = new QProgressBar;
    m_overall->setObjectName(QStringLiteral("DvdOverall"));
    m_overall->setRange(0, kBarSteps);
    m_overall->setValue(0);
    column->addWidget(m_overall);
    m_timeLeft = new QLabel;
    m_timeLeft->setObjectName(QStringLiteral("DvdTimeLeft"));
    column->addWidget(m_timeLeft);
    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("DvdLog"));
    m_log->setReadOnly(true);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_log->setMinimumHeight(140);
    // The self-check is a table: its columns stay in line, the window wide enough for its
    // rows where the screen allows, the log scrolling sideways where it does not.
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    column->addWidget(m_log, 1);
    buildResultButtons(column);
    const int tableWidth =
        QFontMetrics(m_log->font()).horizontalAdvance(QString(86, QLatin1Char('m')));
    resize(tableWidth + 2 * column->contentsMargins().left() + 4, sizeHint().height());
}

void MakeDvdProgressDialog::buildResultButtons(QVBoxLayout* column)
{
    auto* buttons = new QHBoxLayout;
    m_play = new QPushButton(QStringLiteral("&Play disc"));
    m_play->setObjectName(QStringLiteral("DvdPlay"));
    m_play->setToolTip(QStringLiteral("Opens the image, or the disc folder, with the desktop's "
                                      "DVD player"));
    m_openFolder = new QPushButton(QStringLiteral("&Open folder"));
    m_openFolder->setObjectName(QStringLiteral("DvdOpenFolder"));
    m_burn = new QPushButton(QStringLiteral("&Burn to disc..."));
    m_burn->setObjectName(QStringLiteral("DvdBurn"));
    m_button = new QPushButton(QStringLiteral("&Cancel"));
    m_button->setObjectName(QStringLiteral("DvdCancel"));
    for (QPushButton* button : {m_play, m_openFolder, m_burn}) {
        button->setAutoDefault(false);
        button->hide(); // until there is a disc
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(m_button);
    column->addLayout(buttons);
    connect(m_play, &QPushButton::clicked, this, [this] {
        openPath(!m_options.isoFile.empty()
                     ? fromStd(m_options.isoFile)
                     : fromStd(m_options.folder) + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO"));
    });
    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { openPath(fromStd(m_options.folder)); });
    connect(m_burn, &QPushButton::clicked, this, [this] {
        BurnDialog burn(fromStd(m_options.isoFile), this);
        burn.exec();
    });
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_outcome == DvdOutcome::Running)
            reject();
        else
            accept();
    });
}

void MakeDvdProgressDialog::openPath(const QString& path)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    const bool opened = urlOpener() ? urlOpener()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        ShowMessage(MessageKind::Information,
                    QStringLiteral("No program on this desktop opens %1; open it with your DVD "
                                   "player or file manager.")
                        .arg(QDir::toNativeSeparators(path)),
                    this);
}

QString MakeDvdProgressDialog::cancelledSummary() const
{
    // Cancelled once the disc was in place, it stays: it is complete.
    if (m_workerStage.load() < DvdStage::Image)
        return QStringLiteral("Cancelled; no half-made disc was left.");
    QString text = QStringLiteral("Cancelled. The disc in %1 is complete")
                       .arg(QDir::toNativeSeparators(fromStd(m_options.folder)));
    if (m_workerStage.load() == DvdStage::Image)
        return text + QStringLiteral("; no image was written.");
    return text + QStringLiteral(", and so is its image; only playing it through was left out.");
}

MakeDvdProgressDialog::~MakeDvdProgressDialog()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void MakeDvdProgressDialog::start()
{
    m_running.start();
    m_worker = std::thread([this] {
        // SIGINT or SIGTERM (a logout) cancels too; the editor then ends as it asked.
        const SignalCancelScope signalStop;
        DialogProgress progress(this);
        DvdOutcome outcome = DvdOutcome::Failed;
        QString summary;
        QString table;
        try {
            const DvdResult result = MakeDvd({m_doc.get()}, m_options, progress);
            outcome = DvdOutcome::Made;
            summary = QStringLiteral("The disc is in ") + fromStd(result.videoTs);
            if (!result.iso.empty())
                summary += QStringLiteral("\nThe image is ") + fromStd(result.iso);
            m_checkPassed = result.checked && result.check.passed();
            if (result.checked) {
                table = fromStd(FormatDiscCheckTable(result.check));
                summary += result.check.passed()
                               ? QStringLiteral("\nThe disc played through without a fault.")
                               : QStringLiteral("\nPlaying the disc found faults (see below).");
            }
            if (!result.checkFailure.empty())
                summary += QStringLiteral("\nThe DVD was made; its check could not finish: ") +
                           fromStd(result.checkFailure);
        } catch (const DvdCancelled&) {
            outcome = DvdOutcome::Cancelled;
            summary = cancelledSummary();
        } catch (const std::exception& e) {
            summary = QStringLiteral("The DVD was not made: ") + QString::fromUtf8(e.what());
        } catch (...) {
            summary = QStringLiteral("The DVD was not made: unknown error");
        }
        SignalCancelScope::endAsCaught();
        progress.post([outcome, summary, table](MakeDvdProgressDialog* d) {
            d->finish(outcome, summary, table);
        });
    });
}

void MakeDvdProgressDialog::showStage(const QString& text)
{
    m_stage->setText(text);
    m_log->appendPlainText(text);
}

void MakeDvdProgressDialog::showTitles(const TitlesStatus& status)
{
    while (m_titles.size() < status.titleDone.size()) {
        auto* bar = new QProgressBar;
        bar->setObjectName(QStringLiteral("DvdTitle%1").arg(m_titles.size() + 1));
        bar->setRange(0, kBarSteps);
        bar->setFormat(QStringLiteral("Title %1: %p%").arg(m_titles.size() + 1));
        m_titleBars->addWidget(bar);
        m_titles.push_back(bar);
    }
    for (std::size_t i = 0; i < status.titleDone.size(); ++i)
        m_titles[i]->setValue(barValue(status.titleDone[i]));
    m_overall->setValue(barValue(status.overallDone));
    m_timeLeft->setText(TimeLeftText(status.secondsLeft));
}

void MakeDvdProgressDialog::addNote(const QString& text)
{
    m_log->appendPlainText(text);
}

void MakeDvdProgressDialog::requestCancel()
{
    m_cancel = true;
    m_button->setEnabled(false);
    m_stage->setText(QStringLiteral("Cancelling; removing what was made so far"));
}

void MakeDvdProgressDialog::reject()
{
    if (m_outcome == DvdOutcome::Running) {
        if (m_cancel.load())
            return;
        // A long encode is not thrown away by a slip of Esc or the window's X.
        if (m_running.isValid() && m_running.elapsed() > kAskAfterMs &&
            !AskToGoOn(QStringLiteral("Stop making the DVD?\n\nWhat was made so far is thrown "
                                      "away."),
                       QStringLiteral("&Stop"), this))
            return;
        if (m_outcome == DvdOutcome::Running)
            requestCancel(); // the dialog stays until the worker has cleaned up
        return;
    }
    QDialog::reject();
}

void MakeDvdProgressDialog::finish(DvdOutcome outcome, const QString& summary, const QString& table)
{
    if (m_worker.joinable())
        m_worker.join();
    m_outcome = outcome;
    m_stage->setText(summary);
    m_timeLeft->clear();
    if (outcome == DvdOutcome::Made && !table.isEmpty())
        m_log->appendPlainText(QStringLiteral("\n") + table);
    else if (outcome != DvdOutcome::Made)
        m_log->appendPlainText(summary);
    m_button->setText(QStringLiteral("&Close"));
    m_button->setEnabled(true);
    m_play->setVisible(outcome == DvdOutcome::Made);
    m_openFolder->setVisible(outcome == DvdOutcome::Made);
    // A disc that does not play as it should is not offered for burning.
    m_burn->setVisible(outcome == DvdOutcome::Made && !m_options.isoFile.empty() && m_checkPassed);
    emit finished(outcome);
}

QString MakeDvdProgressDialog::summary() const
{
    return m_stage->text();
}
