#include "burndialog.h"

#include "burn/burnimage.h"
#include "discplay/checkapart.h"
#include "widgets/messages.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// Posts `call` to the dialog's thread; the dialog joins its worker before it goes, so
// the queued call finds it.
template <class F> void post(BurnDialog* dialog, F call)
{
    QMetaObject::invokeMethod(
        dialog, [dialog, call] { call(dialog); }, Qt::QueuedConnection);
}

} // namespace

class BurnDialogProgress : public BurnProgress {
public:
    explicit BurnDialogProgress(BurnDialog* dialog) : m_dialog(dialog) {}
    void stage(const std::string& text) override
    {
        if (text.rfind("Writing", 0) == 0)
            m_dialog->m_writing = true;
        else if (text.rfind("Reading", 0) == 0)
            m_dialog->m_writing = false;
        post(m_dialog, [text](BurnDialog* d) { d->showStage(fromStd(text)); });
    }
    void fraction(double done) override
    {
        post(m_dialog, [done](BurnDialog* d) { d->showFraction(done); });
    }
    bool cancelled() override { return m_dialog->m_cancel.load(); }

private:
    BurnDialog* m_dialog;
};

BurnDialog::BurnDialog(const QString& image, QWidget* parent) : QDialog(parent), m_image(image)
{
    setObjectName(QStringLiteral("BurnDialog"));
    setWindowTitle(QStringLiteral("Burn to disc"));
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* imageLabel = new QLabel(image);
    imageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Image:"), imageLabel);
    m_writer = new QComboBox;
    m_writer->setObjectName(QStringLiteral("BurnWriter"));
    m_writer->setEditable(true); // a writer the search missed, or stdio:FILE
    m_writer->setMinimumContentsLength(28);
    auto* writerLabel = new QLabel(QStringLiteral("&Writer:"));
    writerLabel->setBuddy(m_writer);
    form->addRow(writerLabel, m_writer);
    m_speed = new QComboBox;
    m_speed->setObjectName(QStringLiteral("BurnSpeed"));
    m_speed->addItem(QStringLiteral("The drive's choice"), 0);
    for (const int x : {2, 4, 8, 16})
        m_speed->addItem(QStringLiteral("%1x").arg(x), x);
    auto* speedLabel = new QLabel(QStringLiteral("&Speed:"));
    speedLabel->setBuddy(m_speed);
    form->addRow(speedLabel, m_speed);
    column->addLayout(form);
    m_stage = new QLabel(QStringLiteral("Looking for DVD writers"));
    m_stage->setObjectName(QStringLiteral("BurnStage"));
    m_stage->setWordWrap(true);
    column->addWidget(m_stage);
    m_bar = new QProgressBar;
    m_bar->setObjectName(QStringLiteral("BurnBar"));
    m_bar->setRange(0, 1000);
    column->addWidget(m_bar);
    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("BurnLog"));
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Wide enough for the check's table; on a small screen the window is fitted and the log
    // scrolls sideways.
    m_log->setMinimumWidth(
        QFontMetrics(m_log->font()).horizontalAdvance(QString(80, QLatin1Char('m'))));
    column->addWidget(m_log, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_burn = new QPushButton(QStringLiteral("&Burn"));
    m_burn->setObjectName(QStringLiteral("BurnStart"));
    m_burn->setDefault(true);
    m_close = new QPushButton(QStringLiteral("&Close"));
    m_close->setObjectName(QStringLiteral("BurnClose"));
    buttons->addWidget(m_burn);
    buttons->addWidget(m_close);
    column->addLayout(buttons);
    connect(m_burn, &QPushButton::clicked, this, &BurnDialog::burn);
    connect(m_close, &QPushButton::clicked, this, &BurnDialog::reject);
    lookForWriters();
}

BurnDialog::~BurnDialog()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void BurnDialog::lookForWriters()
{
    m_burn->setEnabled(false);
    m_worker = std::thread([this] {
        QStringList devices;
        QString problem;
        try {
            for (const BurnWriter& w : ListBurnWriters())
                devices << fromStd(w.device) + QStringLiteral("  ") + fromStd(w.name);
        } catch (const std::exception& e) {
            problem = QString::fromUtf8(e.what());
        }
        post(this, [devices, problem](BurnDialog* d) {
            d->m_worker.join();
            d->m_writer->addItems(devices);
            d->m_stage->setText(!problem.isEmpty() ? problem
                                : devices.isEmpty()
                                    ? QStringLiteral("No DVD writer was found; type one")
                                    : QStringLiteral("Put a blank DVD in the writer"));
            d->m_burn->setEnabled(true);
        });
    });
}

void BurnDialog::burn()
{
    // "/dev/sr0  VENDOR MODEL": the device is the first word.
    const QString device = m_writer->currentText().trimmed().section(QLatin1Char(' '), 0, 0);
    if (device.isEmpty() || m_worker.joinable())
        return;
    BurnRequest request;
    request.device = device.toStdString();
    request.image = m_image.toStdString();
    request.speed = m_speed->currentData().toInt();
    m_state = State::Burning;
    emit stateChanged(m_state);
    m_burn->setEnabled(false);
    m_writer->setEnabled(false);
    m_speed->setEnabled(false);
    m_close->setText(QStringLiteral("&Cancel"));
    m_worker = std::thread([this, request] {
        BurnDialogProgress progress(this);
        State state = State::Failed;
        QString summary;
        QString table;
        try {
            BurnImage(request, progress);
            progress.stage("Playing the disc");
            const DiscCheckReport report = VerifyDiscApart(BurnedDiscPath(request.device), {},
                                                           [this] { return m_cancel.load(); });
            table = fromStd(FormatDiscCheckTable(report));
            state = State::Done;
            summary = report.passed()
                          ? QStringLiteral("The disc is burned and plays as it should.")
                          : QStringLiteral("The disc is burned, but playing it found faults.");
        } catch (const BurnCancelled&) {
            summary = QStringLiteral("Burning was cancelled; the disc may be unusable.");
        } catch (const std::exception& e) {
            summary = QString::fromUtf8(e.what());
        }
        post(this, [state, summary, table](BurnDialog* d) { d->finish(state, summary, table); });
    });
}

void BurnDialog::showStage(const QString& text)
{
    m_stage->setText(text);
    m_log->appendPlainText(text);
    m_bar->setValue(0);
}

void BurnDialog::showFraction(double done)
{
    m_bar->setValue(static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * 1000)));
}

void BurnDialog::finish(State state, const QString& summary, const QString& table)
{
    if (m_worker.joinable())
        m_worker.join();
    m_state = state;
    m_stage->setText(summary);
    if (state == State::Done)
        m_bar->setValue(m_bar->maximum());
    m_log->appendPlainText(table.isEmpty() ? summary : table);
    m_close->setText(QStringLiteral("&Close"));
    m_close->setEnabled(true);
    if (state == State::Failed) { // another disc may go in and be tried
        m_burn->setEnabled(true);
        m_writer->setEnabled(true);
        m_speed->setEnabled(true);
    }
    emit stateChanged(m_state);
}

bool BurnDialog::confirmStop()
{
    // Stopping a write leaves a write-once disc useless: ask first.
    if (!m_writing)
        return true;
    return AskToGoOn(QStringLiteral("Stop burning? The disc will be unusable."),
                     QStringLiteral("&Stop burning"), this);
}

void BurnDialog::reject()
{
    if (m_state == State::Burning) {
        if (confirmStop()) {
            m_cancel = true;
            m_close->setEnabled(false);
            m_stage->setText(QStringLiteral("Stopping"));
        }
        return;
    }
    QDialog::reject();
}
