#pragma once
// Cards for the evening at any time the draw is stopped: before a game, between games, in a pause.
// As many as a club needs, dealt in sets of six, to the default printer or one PDF file, with a
// progress bar and a way to stop; what was printed before a stop is in play.

#include <QDialog>
#include <functional>

class Game;
class PrintRun;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

class CardsDialog : public QDialog
{
    Q_OBJECT

public:
    // `fullSeries`: the evening's choice of dealer, shown ticked or not, and told of a change.
    CardsDialog(PrintRun &printRun, Game &game, bool fullSeries, std::function<QString()> choosePdf,
                QWidget *parent = nullptr);

    QSpinBox *countBox() const { return m_count; }
    QCheckBox *fullSeriesBox() const { return m_full; }
    QCheckBox *largePrintBox() const { return m_large; }
    QLabel *resultLabel() const { return m_result; }
    // Stops the run under way after the card being printed.
    void stop() { m_stop = true; }

    // A run of the cards in the box, to the printer or to a PDF file.
    void print(bool toPdf);

signals:
    void fullSeriesChanged(bool on);
    // What to tell the caller of a run that went wrong, for a message box.
    void failed(const QString &text, const QString &title);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    PrintRun &m_printRun;
    Game &m_game;
    std::function<QString()> m_choosePdf;
    QSpinBox *m_count = nullptr;
    QCheckBox *m_full = nullptr;
    QCheckBox *m_large = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QPushButton *m_stopButton = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_result = nullptr;
    QLabel *m_explain = nullptr;
    void explain();
    bool m_stop = false;
    bool m_running = false;
};
