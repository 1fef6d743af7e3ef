#include "ui/prize_panel.h"

#include "claims/draw_words.h"
#include "claims/prize_desk.h"
#include "game/game.h"
#include "ui/audience_controller.h"
#include "ui/form1.h"
#include "ui/prize_plan_dialog.h"
#include "ui/qt_colour.h"
#include "ui/qt_platform.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace
{

// The column of prizes won: each prize, its draw and how it was confirmed.
QString winsColumn(const PrizeLadder &ladder)
{
    QString html = QStringLiteral("<b>Premi vinti</b>");
    const QList<PrizeLadder::Won> won = ladder.won();
    for (const PrizeLadder::Won &w : won) {
        QStringList how;
        for (const PrizeWin &win : w.winners)
            if (!how.contains(confirmationWord(win.how))) how << confirmationWord(win.how);
        const qsizetype winners = w.winners.size();
        html += QStringLiteral("<br>%1 alla %2ª").arg(prizeWord(w.prize)).arg(w.draw);
        html += QStringLiteral("<br><small>&nbsp;&nbsp;%1%2</small>")
                    .arg(how.join(QStringLiteral(", ")),
                         winners > 1 ? QStringLiteral(", %1 vincitori").arg(winners) : QString());
    }
    if (won.isEmpty()) html += QStringLiteral("<br>nessuno");
    return html;
}

} // namespace

PrizeListDialog::PrizeListDialog(PrizeDesk &desk, QWidget *parent) : QDialog(parent), m_desk(desk)
{
    setObjectName(QStringLiteral("PrizeListDialog"));
    setWindowTitle(QStringLiteral("Premi della serata"));
    resize(560, 420);
    auto *colonna = new QVBoxLayout(this);
    m_playing = new QLabel(this);
    m_playing->setObjectName(QStringLiteral("lbl_si_gioca"));
    QFont grassetto = m_playing->font();
    grassetto.setBold(true);
    m_playing->setFont(grassetto);
    colonna->addWidget(m_playing);
    m_wins = new QLabel(this);
    m_wins->setObjectName(QStringLiteral("lbl_premi_vinti"));
    m_wins->setWordWrap(true);
    m_wins->setTextInteractionFlags(Qt::TextSelectableByMouse);
    colonna->addWidget(m_wins);

    auto *titolo = new QLabel(QStringLiteral("&Avvenimenti della serata:"), this);
    colonna->addWidget(titolo);
    m_events = new QListWidget(this);
    m_events->setObjectName(QStringLiteral("lst_avvenimenti"));
    m_events->setWordWrap(true);
    titolo->setBuddy(m_events);
    colonna->addWidget(m_events, 1);

    m_announce = new QCheckBox(
        QStringLiteral("A&nnuncia subito sullo schermo per il pubblico le vincite trovate, senza conferma"),
        this);
    m_announce->setObjectName(QStringLiteral("chk_annuncia_subito"));
    m_announce->setToolTip(QStringLiteral(
        "le cartelle vincenti trovate dal controllo sono date per vinte e mostrate al pubblico "
        "senza aspettare \"Conferma\""));
    colonna->addWidget(m_announce);

    auto *evening = new QHBoxLayout;
    auto *verbale = new QPushButton(QStringLiteral("&Verbale..."), this);
    verbale->setObjectName(QStringLiteral("cmd_verbale"));
    verbale->setToolTip(
        QStringLiteral("il verbale di questa serata o di una serata precedente, da salvare in PDF o "
                       "stampare"));
    auto *plan = new QPushButton(QStringLiteral("&Montepremi..."), this);
    plan->setObjectName(QStringLiteral("cmd_montepremi"));
    plan->setToolTip(
        QStringLiteral("il prezzo delle cartelle, il montepremi e il valore dei premi, il tombolino"));
    connect(plan, &QPushButton::clicked, this, [this] {
        PrizePlanDialog dialog(m_desk.plan(), int(m_desk.watch().size()), this);
        if (execKeepingClose(dialog) == QDialog::Accepted) m_desk.setPlan(dialog.plan());
    });
    evening->addWidget(plan);
    auto *closeEvening = new QPushButton(QStringLiteral("C&hiudi la serata..."), this);
    closeEvening->setObjectName(QStringLiteral("cmd_chiudi_serata"));
    closeEvening->setToolTip(
        QStringLiteral("la serata finisce: le cartelle stampate non giocano più e la prossima "
                       "serata comincia da capo"));
    evening->addWidget(verbale);
    evening->addWidget(closeEvening);
    evening->addStretch(1);
    colonna->addLayout(evening);
    // For the committee that signs the evening.
    auto *committee = new QHBoxLayout;
    auto *unsold = new QPushButton(QStringLiteral("Cartelle &invendute..."), this);
    unsold->setObjectName(QStringLiteral("cmd_invendute"));
    unsold->setToolTip(QStringLiteral("le cartelle non vendute, annullate prima del primo numero di una "
                                      "tombola: non giocano più per tutta la serata"));
    auto *delivered = new QPushButton(QStringLiteral("Premi c&onsegnati..."), this);
    delivered->setObjectName(QStringLiteral("cmd_premi_consegnati"));
    delivered->setToolTip(QStringLiteral("a chi e quando è stato consegnato ogni premio, e il modulo "
                                         "\"Consegna dei premi\" da far firmare"));
    committee->addWidget(unsold);
    committee->addWidget(delivered);
    committee->addStretch(1);
    colonna->addLayout(committee);
    connect(unsold, &QPushButton::clicked, this, &PrizeListDialog::voidCardsRequested);
    connect(delivered, &QPushButton::clicked, this, &PrizeListDialog::deliveriesRequested);
    connect(verbale, &QPushButton::clicked, this, &PrizeListDialog::verbaleRequested);
    connect(closeEvening, &QPushButton::clicked, this, &PrizeListDialog::closeEveningRequested);
    addCloseButton(*this, *colonna);

    connect(m_announce, &QCheckBox::toggled, &m_desk, &PrizeDesk::setAnnounceAtOnce);
    connect(&m_desk, &PrizeDesk::changed, this, &PrizeListDialog::refresh);
    refresh();
    m_events->setFocus();
}

void PrizeListDialog::refresh()
{
    m_playing->setText(m_desk.playingForText());
    const QStringList wins = m_desk.winLines();
    m_wins->setText(wins.isEmpty() ? QStringLiteral("Nessun premio vinto in questa tombola.")
                                   : wins.join(QLatin1Char('\n')));
    m_announce->setChecked(m_desk.announceAtOnce());
    const QList<PrizeDesk::Event> &events = m_desk.events();
    // Only new lines are added, so the list keeps its place while the game goes on; a new evening
    // starts it afresh.
    if (m_events->count() > events.size()) m_events->clear();
    for (qsizetype k = m_events->count(); k < events.size(); ++k) {
        const PrizeDesk::Event &e = events[k];
        const QString when = e.draw > 0
                                 ? QStringLiteral("tombola %1, %2ª estrazione: ").arg(e.game).arg(e.draw)
                                 : QStringLiteral("tombola %1: ").arg(e.game);
        m_events->addItem(when + e.text);
    }
    if (m_events->count() > 0 && !m_events->currentItem()) m_events->setCurrentRow(m_events->count() - 1);
    m_events->scrollToBottom();
}

PrizePanel::PrizePanel(Form1 &form, const Game &game, PrizeDesk &desk)
    : QObject(&form), m_form(form), m_desk(desk)
{
    // In pixels of the window, as its other controls: under the board, around the contact line,
    // and in the free column right of the claim panel.
    m_playing = placeControl(new QLabel(&form), "lbl_si_gioca",
                             QStringLiteral("il premio per cui si gioca adesso"), QRect(24, 493, 250, 24));
    QFont large = m_playing->font();
    large.setBold(true);
    large.setPointSize(12);
    m_playing->setFont(large);
    LayoutScale::fitsOwnFont(*m_playing);

    m_list = placeControl(new QPushButton(QStringLiteral("Premi (F6)"), &form), "cmd_premi",
                          QStringLiteral("i premi vinti e gli avvenimenti della serata (tasto F6)"),
                          QRect(284, 493, 102, 24));

    m_sighting = placeControl(
        new QLabel(&form), "lbl_vincita",
        QStringLiteral("una cartella stampata stasera ha il premio in gioco: confermalo o ignoralo"),
        QRect(20, 541, 262, 41), qColour(Palette::lightYellow));
    m_sighting->setWordWrap(true);
    m_sighting->setFrameShape(QFrame::Box);

    m_confirm =
        placeControl(new QPushButton(QStringLiteral("Con&ferma"), &form), "cmd_conferma",
                     QStringLiteral("la vincita è buona: il premio è assegnato e mostrato al pubblico"),
                     QRect(288, 541, 98, 20));
    m_ignore = placeControl(new QPushButton(QStringLiteral("I&gnora"), &form), "cmd_ignora",
                            QStringLiteral("nessuno reclama questa vincita: il premio resta in gioco"),
                            QRect(288, 562, 98, 20));

    m_wins = placeControl(new QLabel(&form), "lbl_premi_vinti", QString(), QRect(702, 396, 110, 184));
    m_wins->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_wins->setWordWrap(true);
    m_wins->setTextFormat(Qt::RichText);

    for (QWidget *w : {static_cast<QWidget *>(m_playing), static_cast<QWidget *>(m_list),
                       static_cast<QWidget *>(m_sighting), static_cast<QWidget *>(m_confirm),
                       static_cast<QWidget *>(m_ignore), static_cast<QWidget *>(m_wins)})
        w->hide();

    auto *tasto = new QShortcut(QKeySequence(Qt::Key_F6), &form);
    tasto->setWhatsThis(QStringLiteral("i premi vinti e gli avvenimenti della serata"));
    connect(tasto, &QShortcut::activated, this, &PrizePanel::openList);
    connect(m_list, &QPushButton::clicked, this, &PrizePanel::openList);
    connect(m_confirm, &QPushButton::clicked, &desk, &PrizeDesk::confirm);
    connect(m_ignore, &QPushButton::clicked, &desk, &PrizeDesk::ignore);
    connect(&desk, &PrizeDesk::changed, this, &PrizePanel::refresh);
    connect(&form, &Form1::layoutScaled, this, &PrizePanel::refresh);
    connect(&game, &Game::cardPanelClosed, this, [this] {
        m_shown = true;
        refresh();
    });
    refresh();
}

void PrizePanel::refresh()
{
    const bool shown = m_shown;
    // The prize's worth makes the line longer: a smaller face rather than a cut one.
    const QString playing = m_desk.playingForText();
    QFont face = m_playing->font();
    for (int points = 12; points >= 7; --points) {
        face = m_form.layoutScale().font(face, points);
        if (QFontMetrics(face).horizontalAdvance(playing) <= m_playing->width()) break;
    }
    m_playing->setFont(face);
    m_playing->setText(playing);
    m_wins->setText(winsColumn(m_desk.ladder()));
    const QString seen = m_desk.sightingText(true);
    const bool newSighting = !seen.isEmpty() && m_sighting->text() != QStringLiteral("Vincita: ") + seen;
    m_sighting->setText(seen.isEmpty() ? QString() : QStringLiteral("Vincita: ") + seen);
    m_playing->setVisible(shown);
    m_list->setVisible(shown);
    m_wins->setVisible(shown);
    m_sighting->setVisible(shown && !seen.isEmpty());
    m_confirm->setVisible(shown && !seen.isEmpty());
    m_ignore->setVisible(shown && !seen.isEmpty());
    if (newSighting && m_sighting->isVisible()) {
        // Quietly: no sound, no focus taken; screen readers hear of it.
        QAccessibleEvent alert(m_sighting, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

void PrizePanel::openList()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    m_dialog = new PrizeListDialog(m_desk, &m_form);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &PrizeListDialog::closeEveningRequested, this, &PrizePanel::closeEveningRequested);
    connect(m_dialog, &PrizeListDialog::verbaleRequested, this, &PrizePanel::verbaleRequested);
    connect(m_dialog, &PrizeListDialog::voidCardsRequested, this, &PrizePanel::voidCardsRequested);
    connect(m_dialog, &PrizeListDialog::deliveriesRequested, this, &PrizePanel::deliveriesRequested);
    // Modal by hand, so that closing the caller's window still ends the program.
    showKeepingClose(*m_dialog);
}

void showPrizesOnAudienceScreen(PrizeDesk &desk, AudienceController &audience)
{
    auto ladder = [&audience, &desk] {
        // Under the ladder, the draw's seal: on the screen before the game's first number.
        QStringList lines = desk.audienceLines();
        if (const QString seal = desk.game().seal(); !seal.isEmpty())
            lines << QStringLiteral("Sigillo: ") + unbroken(seal);
        audience.setPrizeLadder(lines);
        // The tombola goes to cards only (by their code or the watch), never to a claim's numbers.
        QStringList codes;
        for (const PrizeLadder::Won &won : desk.ladder().won())
            if (won.prize == Prize::Tombola)
                for (const PrizeWin &w : won.winners)
                    if (w.who.card) codes << unbroken(w.name());
        audience.setTombola(codes.isEmpty() ? QString() : cardList(codes, 2));
    };
    QObject::connect(&desk, &PrizeDesk::changed, &audience, ladder);
    QObject::connect(&desk.game(), &Game::sealed, &audience, ladder);
    QObject::connect(&desk.game(), &Game::newGameStarted, &audience, ladder);
    QObject::connect(&desk, &PrizeDesk::prizeWon, &audience,
                     [&audience](const QString &banner) { audience.showBanner(banner); });
    ladder();
}
