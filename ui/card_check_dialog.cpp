#include "ui/card_check_dialog.h"

#include "announce/fanfare.h"
#include "cards/card_code.h"
#include "cards/cards_in_play.h"
#include "claims/card_check.h"
#include "game/game.h"
#include "ui/form1.h"
#include "ui/qt_colour.h"
#include "ui/qt_platform.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

void paintCell(QLabel *cell, bool out)
{
    QPalette pal = cell->palette();
    pal.setColor(QPalette::Window, qColour(out ? Palette::lightCyan : Palette::white));
    cell->setPalette(pal);
    QFont f = cell->font();
    f.setBold(out);
    cell->setFont(f);
}

} // namespace

CardCheckDialog::CardCheckDialog(QList<int> drawn, SoundPort &sound, const CardsInPlay *inPlay,
                                 QWidget *parent, PrizeDesk *desk)
    : QDialog(parent), m_drawn(std::move(drawn)), m_sound(sound), m_inPlay(inPlay), m_desk(desk)
{
    setObjectName(QStringLiteral("CardCheckDialog"));
    setWindowTitle(QStringLiteral("Controllo della cartella"));
    setMinimumWidth(380);
    auto *column = new QVBoxLayout(this);

    auto *hint = new QLabel(
        QStringLiteral("Scrivi il codice stampato sotto la cartella, dopo \"serie\" (per esempio %1).")
            .arg(exampleCardCode()),
        this);
    hint->setObjectName(QStringLiteral("lbl_spiega"));
    hint->setWordWrap(true);
    column->addWidget(hint);

    auto *line = new QHBoxLayout;
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("txt_codice"));
    m_code->setToolTip(
        QStringLiteral("il codice della cartella: 5 simboli di serie, il posto da 1 a 6 (da A a F in una "
                       "serie completa) e il simbolo di controllo; maiuscole, spazi e trattini non contano"));
    m_code->setMaxLength(20);
    line->addWidget(m_code, 1);
    m_check = new QPushButton(QStringLiteral("Controlla"), this);
    m_check->setObjectName(QStringLiteral("cmd_controlla"));
    m_check->setDefault(true);
    line->addWidget(m_check);
    column->addLayout(line);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lbl_messaggio"));
    m_message->setWordWrap(true);
    QPalette errorPalette = m_message->palette();
    errorPalette.setColor(QPalette::WindowText, qColour(Palette::errorText));
    m_message->setPalette(errorPalette);
    m_message->hide();
    column->addWidget(m_message);

    m_result = new QWidget(this);
    m_result->setObjectName(QStringLiteral("esito"));
    auto *result = new QVBoxLayout(m_result);
    result->setContentsMargins(0, 0, 0, 0);
    m_title = new QLabel(m_result);
    m_title->setObjectName(QStringLiteral("lbl_cartella"));
    m_title->setWordWrap(true);
    result->addWidget(m_title);

    auto *grid = new QGridLayout;
    grid->setSpacing(2);
    for (int r = 0; r < Cartella::righe; ++r) {
        for (int c = 0; c < Cartella::colonne; ++c) {
            auto *cell = new QLabel(m_result);
            cell->setObjectName(QStringLiteral("cella_%1_%2").arg(r + 1).arg(c + 1));
            cell->setAlignment(Qt::AlignCenter);
            cell->setFrameShape(QFrame::Box);
            cell->setMinimumSize(34, 28);
            cell->setAutoFillBackground(true);
            paintCell(cell, false);
            grid->addWidget(cell, r, c);
            m_cells[std::size_t(r)][std::size_t(c)] = cell;
        }
    }
    result->addLayout(grid);
    for (int r = 0; r < Cartella::righe; ++r) {
        m_rows[std::size_t(r)] = new QLabel(m_result);
        m_rows[std::size_t(r)]->setObjectName(QStringLiteral("lbl_riga_%1").arg(r + 1));
        result->addWidget(m_rows[std::size_t(r)]);
    }
    m_best = new QLabel(m_result);
    m_best->setObjectName(QStringLiteral("lbl_premio"));
    QFont large = m_best->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_best->setFont(large);
    result->addWidget(m_best);
    m_moments = new QLabel(m_result);
    m_moments->setObjectName(QStringLiteral("lbl_momenti"));
    m_moments->setWordWrap(true);
    result->addWidget(m_moments);
    m_verdict = new QLabel(m_result);
    m_verdict->setObjectName(QStringLiteral("lbl_vincita"));
    m_verdict->setWordWrap(true);
    QFont bold = m_verdict->font();
    bold.setBold(true);
    m_verdict->setFont(bold);
    result->addWidget(m_verdict);
    m_result->hide();
    column->addWidget(m_result);

    addCloseButton(*this, *column);

    connect(m_check, &QPushButton::clicked, this, &CardCheckDialog::check);
    m_code->setFocus();
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

void CardCheckDialog::showError(const QString &testo)
{
    m_result->hide();
    m_message->setText(testo);
    m_message->show();
    fitHeight();
}

void CardCheckDialog::check()
{
    if (!m_check->isEnabled()) return; // a clip of the last check is still playing
    CardCheckResult found;
    QString why;
    if (!checkCard(m_code->text(), m_drawn, m_inPlay, m_desk, &found, &why)) return showError(why);

    m_message->setText(found.notice);
    m_message->setVisible(!found.notice.isEmpty());
    m_title->setText(found.title);
    for (int r = 0; r < Cartella::righe; ++r) {
        for (int c = 0; c < Cartella::colonne; ++c) {
            QLabel *cell = m_cells[std::size_t(r)][std::size_t(c)];
            cell->setText(found.card.cella(r + 1, c + 1));
            paintCell(cell, found.result.marked[std::size_t(r)][std::size_t(c)]);
        }
        m_rows[std::size_t(r)]->setText(found.rowLines[std::size_t(r)]);
    }
    m_best->setText(found.best);
    m_moments->setText(found.moments.join(QLatin1Char('\n')));
    m_verdict->setText(found.verdict);
    m_verdict->setVisible(!found.verdict.isEmpty());
    m_result->show();
    fitHeight();

    if (found.fanfare != Prize::None) {
        // The card shows before the clips, which play to their end.
        if (layout()) layout()->activate();
        repaint();
        m_check->setEnabled(false);
        playFanfare(found.fanfare, m_sound);
        m_check->setEnabled(true);
    }
}

void installCardCheck(Form1 &form, const Game &game, SoundPort &sound, const CardsInPlay &inPlay,
                      PrizeDesk *desk)
{
    QObject::connect(&form, &Form1::cardCheckRequested, &form, [&form, &game, &sound, &inPlay, desk] {
        auto *dialogo = new CardCheckDialog(game.drawnNumbers(), sound, &inPlay, &form, desk);
        dialogo->setAttribute(Qt::WA_DeleteOnClose);
        // Modal by hand, so that closing the caller's window still ends the program.
        showKeepingClose(*dialogo);
    });
}
