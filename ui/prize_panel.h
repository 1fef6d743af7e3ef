#pragma once
// The ladder of prizes in the caller's window: what the room plays for and the prizes won, in the
// card panel's place once the first number is out (and the column right of the claim panel), the
// line of a winner found by the watch with "Conferma" and "Ignora", and the list of the evening's
// events (F6). Reads the prize desk; adds no control of the window's own.

#include <QDialog>
#include <QObject>
#include <QPointer>

class AudienceController;
class Form1;
class Game;
class PrizeDesk;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// The evening's events and the prizes won, with the option of announcing watched winners at once.
class PrizeListDialog : public QDialog
{
    Q_OBJECT

public:
    PrizeListDialog(PrizeDesk &desk, QWidget *parent = nullptr);
    void refresh();

    QListWidget *events() const { return m_events; }
    QCheckBox *announceBox() const { return m_announce; }

signals:
    // "Chiudi la serata...", "Verbale...", "Cartelle invendute..." and "Premi consegnati...".
    void closeEveningRequested();
    void verbaleRequested();
    void voidCardsRequested();
    void deliveriesRequested();

private:
    PrizeDesk &m_desk;
    QLabel *m_playing = nullptr;
    QLabel *m_wins = nullptr;
    QListWidget *m_events = nullptr;
    QCheckBox *m_announce = nullptr;
};

class PrizePanel : public QObject
{
    Q_OBJECT

public:
    PrizePanel(Form1 &form, const Game &game, PrizeDesk &desk);

    QLabel *playingLabel() const { return m_playing; }
    QLabel *winsLabel() const { return m_wins; }
    QLabel *sightingLabel() const { return m_sighting; }
    QPushButton *confirmButton() const { return m_confirm; }
    QPushButton *ignoreButton() const { return m_ignore; }
    QPushButton *listButton() const { return m_list; }
    // The list of events, while it is open.
    PrizeListDialog *listDialog() const { return m_dialog; }

    void openList();

signals:
    void closeEveningRequested();
    void verbaleRequested();
    void voidCardsRequested();
    void deliveriesRequested();

private:
    void refresh();

    Form1 &m_form;
    PrizeDesk &m_desk;
    // The card panel's place is the ladder's once the panel has gone.
    bool m_shown = false;
    QLabel *m_playing = nullptr;
    QLabel *m_wins = nullptr;
    QLabel *m_sighting = nullptr;
    QPushButton *m_confirm = nullptr;
    QPushButton *m_ignore = nullptr;
    QPushButton *m_list = nullptr;
    QPointer<PrizeListDialog> m_dialog;
};

// The room's screen shows the ladder with the draw's seal under it, and a banner for each win
// confirmed by a card's code or from the watch (the claim panel's verdicts have their own).
void showPrizesOnAudienceScreen(PrizeDesk &desk, AudienceController &audience);
