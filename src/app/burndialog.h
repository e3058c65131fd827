#pragma once

#include <QDialog>

#include <atomic>
#include <thread>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Burns a finished disc image: the writer chosen from those present (or typed, such as
// "stdio:FILE"), the speed, a bar per stage, Cancel; then the disc is read back, compared
// with the image and played by the self-check, whose table the log shows.
class BurnDialog final : public QDialog {
    Q_OBJECT
public:
    explicit BurnDialog(const QString& image, QWidget* parent = nullptr);
    ~BurnDialog() override;

    enum class State {
        Choosing,
        Burning,
        Done,   // written, read back and checked; the check may have found faults
        Failed, // refused, failed or cancelled
    };
    State state() const { return m_state; }

signals:
    void stateChanged(BurnDialog::State state);

protected:
    void reject() override; // Escape and the window's close button

private:
    friend class BurnDialogProgress;
    void lookForWriters();
    void burn();
    void showStage(const QString& text);
    void showFraction(double done);
    void finish(State state, const QString& summary, const QString& table);
    bool confirmStop();

    QString m_image;
    State m_state = State::Choosing;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_writing{false};

    QComboBox* m_writer = nullptr;
    QComboBox* m_speed = nullptr;
    QLabel* m_stage = nullptr;
    QProgressBar* m_bar = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QPushButton* m_burn = nullptr;
    QPushButton* m_close = nullptr;
};
