#include "ui/card_check.h"

#include "announce/prizes.h"
#include "cards/card_code.h"
#include "cards/cards_in_play.h"
#include "cards/dealer.h"
#include "claims/prize_desk.h"
#include "game/game.h"
#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

namespace
{

const QColor kBiancoCella(255, 255, 255);

void coloraCella(QLabel *cella, const QColor &colore, bool grassetto)
{
    QPalette pal = cella->palette();
    pal.setColor(QPalette::Window, colore);
    cella->setPalette(pal);
    QFont f = cella->font();
    f.setBold(grassetto);
    cella->setFont(f);
}

// The prize's word as the result line shows it.
QString parolaPremio(Prize p)
{
    if (p == Prize::None) return QStringLiteral("nessun premio");
    if (p == Prize::Tombola) return QStringLiteral("TOMBOLA!");
    return QLatin1String(prizes[std::size_t(p) - 1].word);
}

// The word of a prize in the list of moments: lower case, "tombola" too.
QString nomePremio(Prize p)
{
    return p == Prize::Tombola ? QStringLiteral("tombola") : parolaPremio(p);
}

// "il 45", "l'8": the article a number's name takes (uno, otto, undici, ottanta...).
QString conArticolo(int n)
{
    const bool vocale = n == 1 || n == 8 || n == 11 || (n >= 80 && n <= 89);
    return (vocale ? QStringLiteral("l'") : QStringLiteral("il ")) + QString::number(n);
}

QString maiuscolaIniziale(QString testo)
{
    if (!testo.isEmpty()) testo[0] = testo[0].toUpper();
    return testo;
}

// What the ladder said of the card.
QString testoVincita(const Award &award)
{
    const QString alla = QStringLiteral("%1ª estrazione").arg(award.draw);
    switch (award.kind) {
    case Award::Won:
        return QStringLiteral("Vince ") + prizeWithArticle(award.prize) + QStringLiteral(" alla ") + alla +
               QLatin1Char('.');
    case Award::Shared:
        return QStringLiteral("Divide ") + prizeWithArticle(award.prize) + QStringLiteral(" della ") + alla +
               QStringLiteral(": stesso numero, premio condiviso.");
    case Award::AlreadyWon:
        return maiuscolaIniziale(prizeWithArticle(award.prize)) + QStringLiteral(" e' gia' ") +
               agreeing(award.prize, QStringLiteral("stato")) + QLatin1Char(' ') +
               agreeing(award.prize, QStringLiteral("vinto")) + QStringLiteral(" alla ") + alla +
               QStringLiteral(": nessun premio.");
    case Award::AlreadyCounted:
        return maiuscolaIniziale(prizeWithArticle(award.prize)) + QStringLiteral(" e' gia' ") +
               agreeing(award.prize, QStringLiteral("assegnato")) + QStringLiteral(" a questa cartella.");
    case Award::NoPrize:
        break;
    }
    return QString();
}

QString rigaUsciti(int riga, int quanti)
{
    const QString inizio = QStringLiteral("riga %1: ").arg(riga);
    if (quanti == 0) return inizio + QStringLiteral("nessun numero uscito");
    if (quanti == 1) return inizio + QStringLiteral("1 numero uscito");
    return inizio + QStringLiteral("%1 numeri usciti").arg(quanti);
}

} // namespace

CardCheckDialog::CardCheckDialog(QList<int> drawn, SoundPort &sound, const CardsInPlay *inPlay,
                                 QWidget *parent, PrizeDesk *desk)
    : QDialog(parent), m_drawn(std::move(drawn)), m_sound(sound), m_inPlay(inPlay), m_desk(desk)
{
    setObjectName(QStringLiteral("CardCheckDialog"));
    setWindowTitle(QStringLiteral("Controllo della cartella"));
    setMinimumWidth(380);
    auto *colonna = new QVBoxLayout(this);

    auto *spiega = new QLabel(
        QStringLiteral(
            "Scrivi il codice stampato sotto la cartella, dopo \"serie\" (per esempio 7KQ3M-4 X)."),
        this);
    spiega->setObjectName(QStringLiteral("lbl_spiega"));
    spiega->setWordWrap(true);
    colonna->addWidget(spiega);

    auto *riga = new QHBoxLayout;
    m_codice = new QLineEdit(this);
    m_codice->setObjectName(QStringLiteral("txt_codice"));
    m_codice->setToolTip(
        QStringLiteral("il codice della cartella: 5 simboli di serie, il posto da 1 a 6 (da A a F in una "
                       "serie completa) e il simbolo di controllo; maiuscole, spazi e trattini non contano"));
    m_codice->setMaxLength(20);
    riga->addWidget(m_codice, 1);
    m_controlla = new QPushButton(QStringLiteral("Controlla"), this);
    m_controlla->setObjectName(QStringLiteral("cmd_controlla"));
    m_controlla->setDefault(true);
    riga->addWidget(m_controlla);
    colonna->addLayout(riga);

    m_messaggio = new QLabel(this);
    m_messaggio->setObjectName(QStringLiteral("lbl_messaggio"));
    m_messaggio->setWordWrap(true);
    m_messaggio->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_messaggio->hide();
    colonna->addWidget(m_messaggio);

    m_esito = new QWidget(this);
    m_esito->setObjectName(QStringLiteral("esito"));
    auto *esito = new QVBoxLayout(m_esito);
    esito->setContentsMargins(0, 0, 0, 0);
    m_titolo = new QLabel(m_esito);
    m_titolo->setObjectName(QStringLiteral("lbl_cartella"));
    esito->addWidget(m_titolo);

    auto *griglia = new QGridLayout;
    griglia->setSpacing(2);
    for (int r = 0; r < Cartella::righe; ++r) {
        for (int c = 0; c < Cartella::colonne; ++c) {
            auto *cella = new QLabel(m_esito);
            cella->setObjectName(QStringLiteral("cella_%1_%2").arg(r + 1).arg(c + 1));
            cella->setAlignment(Qt::AlignCenter);
            cella->setFrameShape(QFrame::Box);
            cella->setMinimumSize(34, 28);
            cella->setAutoFillBackground(true);
            coloraCella(cella, kBiancoCella, false);
            griglia->addWidget(cella, r, c);
            m_celle[std::size_t(r)][std::size_t(c)] = cella;
        }
    }
    esito->addLayout(griglia);
    for (int r = 0; r < Cartella::righe; ++r) {
        m_righe[std::size_t(r)] = new QLabel(m_esito);
        m_righe[std::size_t(r)]->setObjectName(QStringLiteral("lbl_riga_%1").arg(r + 1));
        esito->addWidget(m_righe[std::size_t(r)]);
    }
    m_premio = new QLabel(m_esito);
    m_premio->setObjectName(QStringLiteral("lbl_premio"));
    QFont grande = m_premio->font();
    grande.setBold(true);
    grande.setPointSizeF(grande.pointSizeF() * 1.5);
    m_premio->setFont(grande);
    esito->addWidget(m_premio);
    m_momenti = new QLabel(m_esito);
    m_momenti->setObjectName(QStringLiteral("lbl_momenti"));
    esito->addWidget(m_momenti);
    m_vincita = new QLabel(m_esito);
    m_vincita->setObjectName(QStringLiteral("lbl_vincita"));
    m_vincita->setWordWrap(true);
    QFont vincita = m_vincita->font();
    vincita.setBold(true);
    m_vincita->setFont(vincita);
    esito->addWidget(m_vincita);
    m_esito->hide();
    colonna->addWidget(m_esito);

    auto *tasti = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *chiudi = tasti->button(QDialogButtonBox::Close);
    chiudi->setText(QStringLiteral("Chiudi"));
    chiudi->setObjectName(QStringLiteral("cmd_chiudi"));
    chiudi->setAutoDefault(false);
    colonna->addWidget(tasti);

    connect(m_controlla, &QPushButton::clicked, this, &CardCheckDialog::controlla);
    connect(tasti, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_codice->setFocus();
}

QColor CardCheckDialog::coloreUscito()
{
    return QColor(192, 255, 255); // as the drawn numbers on the board
}

void CardCheckDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    fitHeight();
}

void CardCheckDialog::fitHeight()
{
    QLayout *l = layout();
    l->activate();
    const int needed = l->hasHeightForWidth() ? l->totalHeightForWidth(width()) : l->totalSizeHint().height();
    setMinimumHeight(needed);
    if (height() < needed) resize(width(), needed);
}

void CardCheckDialog::mostraErrore(const QString &testo)
{
    m_esito->hide();
    m_messaggio->setText(testo);
    m_messaggio->show();
    fitHeight();
}

void CardCheckDialog::controlla()
{
    if (!m_controlla->isEnabled()) return; // a clip of the last check is still playing
    const CodeReading lettura = parseCardCode(m_codice->text());
    switch (lettura.error) {
    case CodeError::WrongForm:
        mostraErrore(
            QStringLiteral("Codice non valido: servono 5 simboli della serie, il posto nella serie e "
                           "il simbolo di controllo, come in 7KQ3M-4 X."));
        return;
    case CodeError::PlaceOutOfSet:
        mostraErrore(
            QStringLiteral("Il posto nella serie, il simbolo dopo il trattino, va da 1 a 6, o da A a F "
                           "in una serie completa."));
        return;
    case CodeError::WrongCheck:
        mostraErrore(QStringLiteral("Il codice non torna: un simbolo è sbagliato o due sono scambiati. "
                                    "Ricopialo dalla cartella."));
        return;
    case CodeError::None:
        break;
    }

    const CardCode code = lettura.code;
    const Cartella cartella = carta_da_codice(code.series, code.place, code.dealer);
    const CardResult esito = evaluateCard(cartella, m_drawn);

    m_messaggio->hide();
    m_messaggio->clear();
    const QString titolo =
        code.dealer == CardDealer::FullSeries
            ? QStringLiteral("Cartella %1 della serie completa %2, dopo %3 numeri estratti")
            : QStringLiteral("Cartella %1 della serie %2, dopo %3 numeri estratti");
    m_titolo->setText(titolo.arg(code.place).arg(formatCardCode(code).left(5)).arg(m_drawn.size()));
    for (int r = 0; r < Cartella::righe; ++r) {
        for (int c = 0; c < Cartella::colonne; ++c) {
            QLabel *cella = m_celle[std::size_t(r)][std::size_t(c)];
            cella->setText(cartella.cella(r + 1, c + 1));
            const bool uscito = esito.marked[std::size_t(r)][std::size_t(c)];
            coloraCella(cella, uscito ? coloreUscito() : kBiancoCella, uscito);
        }
        m_righe[std::size_t(r)]->setText(rigaUsciti(r + 1, esito.outPerRow[std::size_t(r)]));
    }
    m_premio->setText(parolaPremio(esito.best));

    QStringList momenti;
    for (const Prize premio : {Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina, Prize::Tombola}) {
        const PrizeMoment &m = esito.moment(premio);
        if (m.ordinal == 0) continue;
        momenti << QStringLiteral("%1 alla %2ª estrazione (%3)")
                       .arg(nomePremio(premio))
                       .arg(m.ordinal)
                       .arg(conArticolo(m.number));
    }
    m_momenti->setText(momenti.join(QLatin1Char('\n')));
    // A card nobody got tonight shows what it would hold, and wins nothing.
    const bool printed = !m_inPlay || m_inPlay->contains(code);
    if (!printed) {
        m_messaggio->setText(QStringLiteral("cartella non stampata stasera: non partecipa al gioco"));
        m_messaggio->show();
    }
    // A card of tonight is put to the ladder: a prize in play is won, one won on the same number
    // shared, one won earlier is not cheered.
    Prize festa = printed && esito.best == Prize::Tombola ? Prize::Tombola : Prize::None;
    m_vincita->clear();
    if (printed && m_desk) {
        const Award award = m_desk->claimByCard(code, esito);
        festa = award.isWin() ? award.prize : Prize::None;
        m_vincita->setText(testoVincita(award));
    }
    m_vincita->setVisible(!m_vincita->text().isEmpty());
    m_esito->show();
    fitHeight();

    if (festa != Prize::None) {
        // The card shows before the clips, which play to their end.
        if (layout()) layout()->activate();
        repaint();
        m_controlla->setEnabled(false);
        suona(festa == Prize::Tombola ? QStringLiteral("tombola")
                                      : QLatin1String(prizes[std::size_t(festa) - 1].word));
        suona(QStringLiteral("applausi"));
        m_controlla->setEnabled(true);
    }
}

void CardCheckDialog::suona(const QString &nome)
{
    try {
        m_sound.play(nome, QStringLiteral("wav"));
    } catch (const ClipMissing &) {
    }
}

void installaControlloCartella(Form1 &form, const Game &game, SoundPort &sound, const CardsInPlay &inPlay,
                               PrizeDesk *desk)
{
    QObject::connect(&form, &Form1::cardCheckRequested, &form, [&form, &game, &sound, &inPlay, desk] {
        auto *dialogo = new CardCheckDialog(game.drawnNumbers(), sound, &inPlay, &form, desk);
        dialogo->setAttribute(Qt::WA_DeleteOnClose);
        // Modal by hand, so that closing the caller's window still ends the program.
        showKeepingClose(*dialogo, &form);
    });
}
