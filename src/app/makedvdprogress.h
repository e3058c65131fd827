#pragma once

#include "document/menudocument.h"
#include "dvd/makedvd.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// How a run ended.
enum class DvdOutcome {
    Running,
    Made,      // the disc (and image) is there; the self-check may still have found faults
    Failed,    // nothing that looks finished was left
    Cancelled, // likewise
};

// Makes the disc on a worker thread and shows how far it is: the step, a bar per title
// and one for all, the time left; Cancel stops it (asking first once it has run a while).
// At the end it says what became of the disc, shows the self-check's table and offers to
// play the disc and open its folder. Closing the window while it runs is Cancel.
class MakeDvdProgressDialog : public QDialog {
    Q_OBJECT
public:
    // Works on a copy of `doc`, so that editing meanwhile cannot reach the worker; a
    // `videoMode` of 0..3 is the copy's image size.
    MakeDvdProgressDialog(const MenuDocument& doc, DvdOptions options, QWidget* parent = nullptr,
                          int videoMode = -1);
    ~MakeDvdProgressDialog() override;

    // Starts the work; returns at once.
    void start();
    DvdOutcome outcome() const { return m_outcome; }
    // The report shown at the end: the result or the reason.
    QString summary() const;

signals:
    void finished(DvdOutcome outcome);

protected:
    void reject() override; // Escape and the window's close button

private:
    friend class DialogProgress;
    void showStage(const QString& text);
    void showTitles(const TitlesStatus& status);
    void addNote(const QString& text);
    void finish(DvdOutcome outcome, const QString& summary, const QString& table);
    void requestCancel();
    void buildResultButtons(QVBoxLayout* column);
    void openPath(const QString& path);
    QString cancelledSummary() const;

    std::unique_ptr<MenuDocument> m_doc;
    DvdOptions m_options;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<DvdStage> m_workerStage{DvdStage::Checking};
    QElapsedTimer m_running;
    DvdOutcome m_outcome = DvdOutcome::Running;

    QLabel* m_stage = nullptr;
    QVBoxLayout* m_titleBars = nullptr;
    std::vector<QProgressBar*> m_titles;
    QProgressBar* m_overall = nullptr;
    QLabel* m_timeLeft = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QPushButton* m_button = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_openFolder = nullptr;
    QPushButton* m_burn = nullptr;
    bool m_checkPassed = false; // the finished disc played through its self-check
};

// How the finished disc is handed to the desktop (a test replaces it); true when a
// program took it.
using UrlOpener = std::function<bool(const QUrl& url)>;
void SetUrlOpener(UrlOpener opener);

// The time left as people say it: "About 3 min 20 s left"; empty while not known.
QString TimeLeftText(double seconds);
