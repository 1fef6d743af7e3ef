#include "ui/phones_ui.h"

#include "game/game.h"
#include "phones/phone_relay.h"
#include "ui/audience_screen.h"
#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QAccessible>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

QString breakableAddress(const QString &address)
{
    // After "http://", the host's dots and colon and the port's slash; the token, which has no
    // places of its own, in groups of five as the card codes are read.
    QString out;
    const qsizetype tokenStart =
        address.indexOf(QLatin1Char('/'), address.indexOf(QLatin1String("//")) + 2) + 1;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        out += c;
        const bool inToken = tokenStart > 0 && i >= tokenStart && i + 1 < address.size() - 1;
        if (c == u'/' || c == u'.' || c == u':' || (inToken && (i + 1 - tokenStart) % 5 == 0))
            out += QChar(0x200B);
    }
    return out;
}

QFont fittingFont(QFont font, const QString &text, const QSize &box, int smallest)
{
    for (int px = std::max(font.pixelSize(), QFontInfo(font).pixelSize()); px > smallest; --px) {
        font.setPixelSize(px);
        const QRect needed =
            QFontMetrics(font).boundingRect(QRect(0, 0, box.width(), 100000), Qt::TextWordWrap, text);
        if (needed.width() <= box.width() && needed.height() <= box.height()) return font;
    }
    font.setPixelSize(smallest);
    return font;
}

QPixmap qrPixmap(const QrCode &code, int module)
{
    const int quiet = 2;
    const int side = (code.size + 2 * quiet) * module;
    QPixmap pm(std::max(side, 1), std::max(side, 1));
    pm.fill(Qt::white);
    QPainter p(&pm);
    for (int y = 0; y < code.size; ++y)
        for (int x = 0; x < code.size; ++x)
            if (code.at(x, y))
                p.fillRect((x + quiet) * module, (y + quiet) * module, module, module, Qt::black);
    return pm;
}

namespace
{
// The code large enough to scan from across a table: the most whole pixels a module that fit.
int moduleFor(const QrCode &code, int room)
{
    return std::max(1, room / std::max(1, code.size + 4));
}
} // namespace

PhonesDialog::PhonesDialog(PhoneRelay &relay, QWidget *parent) : QDialog(parent), m_relay(relay)
{
    setObjectName(QStringLiteral("PhonesDialog"));
    setWindowTitle(QStringLiteral("Telefoni dei giocatori"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("I giocatori seguono la tombola sul telefono, collegati alla stessa rete di questo "
                       "computer: inquadrano il codice o scrivono l'indirizzo nel browser."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_code = new QLabel(this);
    m_code->setObjectName(QStringLiteral("lbl_qr_grande"));
    m_code->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_code);
    m_address = new QLabel(this);
    m_address->setObjectName(QStringLiteral("lbl_indirizzo"));
    m_address->setAlignment(Qt::AlignCenter);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = m_address->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    m_address->setFont(big);
    layout->addWidget(m_address);
    m_count = new QLabel(this);
    layout->addWidget(m_count);
    auto *row = new QHBoxLayout;
    m_cards = new QCheckBox(QStringLiteral("&Dare cartelle ai telefoni che le chiedono, fino a"), this);
    m_cards->setObjectName(QStringLiteral("chk_cartelle_telefoni"));
    m_cards->setToolTip(QStringLiteral("il programma dà al telefono una cartella della serata, in gioco e "
                                       "numerata come le stampate, e la mette nel verbale"));
    m_perPhone = new QSpinBox(this);
    m_perPhone->setObjectName(QStringLiteral("spin_cartelle_telefono"));
    m_perPhone->setRange(1, PhoneRelay::kMostCardsPerPhone);
    m_perPhone->setValue(relay.cardsPerPhone() > 0 ? relay.cardsPerPhone() : 2);
    m_perPhone->setSuffix(QStringLiteral(" per telefono"));
    m_cards->setChecked(relay.cardsPerPhone() > 0);
    row->addWidget(m_cards);
    row->addWidget(m_perPhone);
    row->addStretch();
    layout->addLayout(row);
    auto *far = new QPushButton(QStringLiteral("&Parenti lontani (server NATS)... (Maiusc+F8)"), this);
    far->setObjectName(QStringLiteral("cmd_parenti_lontani"));
    far->setToolTip(
        QStringLiteral("la serata anche per chi è lontano, attraverso il server NATS del circolo"));
    connect(far, &QPushButton::clicked, this, &PhonesDialog::remoteRequested);
    layout->addWidget(far, 0, Qt::AlignLeft);
    addCloseButton(*this, *layout);
    auto apply = [this] { m_relay.setCardsPerPhone(m_cards->isChecked() ? m_perPhone->value() : 0); };
    connect(m_cards, &QCheckBox::toggled, this, apply);
    connect(m_perPhone, &QSpinBox::valueChanged, this, apply);
    connect(&relay, &PhoneRelay::switched, this, &PhonesDialog::refresh);
    connect(&relay, &PhoneRelay::phoneCountChanged, this, &PhonesDialog::refresh);
    refresh();
}

void PhonesDialog::refresh()
{
    const bool on = m_relay.isOn();
    const QrCode code = m_relay.qrCode();
    m_code->setPixmap(on ? qrPixmap(code, moduleFor(code, 300)) : QPixmap());
    m_address->setText(on ? m_relay.address() : QStringLiteral("Telefoni spenti: premi F8 per accenderli."));
    const int n = m_relay.phoneCount();
    m_count->setText(!on      ? QString()
                     : n == 1 ? QStringLiteral("1 telefono collegato")
                              : QStringLiteral("%1 telefoni collegati").arg(n));
}

PhonesPanel::PhonesPanel(Form1 &form, Game &game, PhoneRelay &relay, AudienceController &audience)
    : QObject(&form), m_form(form), m_game(game), m_relay(relay)
{
    // In the right column under "Cartelle... (F7)", in pixels of the window as its other controls.
    m_switch = placeControl(new QPushButton(QStringLiteral("Telefoni (F8)"), &form), "cmd_telefoni",
                            QStringLiteral("i giocatori seguono la tombola sul loro telefono, nella rete "
                                           "locale (tasto F8 per accendere e spegnere)"),
                            QRect(672, 240, 129, 33));
    m_switch->setCheckable(true);
    m_switch->setFocusPolicy(Qt::NoFocus);
    m_code = placeControl(new QLabel(&form), "lbl_telefoni_qr",
                          QStringLiteral("inquadra il codice con il telefono; un clic lo ingrandisce"),
                          QRect(342, 96, 88, 88));
    m_code->setAccessibleName(QStringLiteral("codice QR dell'indirizzo per i telefoni"));
    m_code->setCursor(Qt::PointingHandCursor);
    m_code->installEventFilter(this);
    // The code and the address stand in the free space between the board and the big number: the
    // line of the words under the big number takes the whole right half in its longest
    // ("CINQUANTAQUATTRO"). The font is fitted to the address when it is shown.
    m_address = placeControl(new QLabel(&form), "lbl_telefoni", QString(), QRect(340, 186, 96, 68));
    m_address->setWordWrap(true);
    m_address->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Under the claim panel, to the foot of the window; the font is fitted to the line.
    m_call = placeControl(new QLabel(&form), "lbl_chiamata", QString(), QRect(392, 547, 306, 36));
    m_call->setWordWrap(true);
    m_call->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLabel *l : {m_code, m_address, m_call})
        l->hide();
    LayoutScale::fitsOwnFont(*m_address);
    LayoutScale::fitsOwnFont(*m_call);
    // At a new size of the window the code is drawn again and the texts fitted again.
    connect(&form, &Form1::layoutScaled, this, [this] {
        if (m_relay.isOn()) {
            drawCode();
            showAddress(m_relay.address());
        }
        if (!m_call->text().isEmpty()) fitCall(m_call->text());
    });

    auto *key = new QShortcut(QKeySequence(Qt::Key_F8), &form);
    key->setWhatsThis(QStringLiteral("accende e spegne la pagina per i telefoni dei giocatori"));
    connect(key, &QShortcut::activated, this, &PhonesPanel::toggle);
    connect(m_switch, &QPushButton::clicked, this, &PhonesPanel::toggle);
    connect(&relay, &PhoneRelay::switched, this, &PhonesPanel::refresh);
    connect(&relay, &PhoneRelay::phoneCountChanged, this, &PhonesPanel::refresh);
    auto *callShown = new QTimer(this);
    callShown->setSingleShot(true);
    callShown->setInterval(12000);
    connect(callShown, &QTimer::timeout, m_call, &QLabel::hide);
    connect(&relay, &PhoneRelay::called, this, [this, callShown](const QString &line) {
        fitCall(line);
        m_call->setText(line);
        m_call->setToolTip(line);
        if (auto *printed = m_form.findChild<QLabel *>(QStringLiteral("lbl_stampa"))) printed->hide();
        m_call->show();
        callShown->start();
        QAccessibleEvent alert(m_call, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    });

    connect(&audience, &AudienceController::screenCreated, this, [this](AudienceScreen *screen) {
        m_audience = screen;
        m_audienceCode = new QLabel(screen);
        m_audienceCode->setObjectName(QStringLiteral("lbl_telefoni_pubblico"));
        m_audienceCode->setAlignment(Qt::AlignCenter);
        screen->installEventFilter(this);
        placeOnAudience();
    });
    for (auto signal : {&Game::updated, &Game::newGameStarted, &Game::resumed})
        connect(&game, signal, this, &PhonesPanel::placeOnAudience);
    connect(&game, &Game::numberDrawn, this, &PhonesPanel::placeOnAudience);
    refresh();
}

void PhonesPanel::toggle()
{
    if (m_relay.isOn()) {
        m_relay.switchOff();
        return;
    }
    QString why;
    if (!m_relay.switchOn(&why)) {
        m_switch->setChecked(false);
        m_game.ports().dialogs.message(why, QStringLiteral("Telefoni"), Icon::Critical);
    }
}

void PhonesPanel::openDialog()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    m_dialog = new PhonesDialog(m_relay, &m_form);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &PhonesDialog::remoteRequested, this, &PhonesPanel::remoteRequested);
    showKeepingClose(*m_dialog);
}

void PhonesPanel::refresh()
{
    const bool on = m_relay.isOn();
    m_switch->setChecked(on);
    const int n = m_relay.phoneCount();
    m_switch->setText(!on ? QStringLiteral("Telefoni (F8)") : QStringLiteral("Telefoni: %1 (F8)").arg(n));
    if (on) {
        drawCode();
        showAddress(m_relay.address());
    }
    m_code->setVisible(on);
    m_address->setVisible(on);
    placeOnAudience();
}

void PhonesPanel::drawCode()
{
    // Two pixels a module at the window's default size; larger, the most whole pixels that fit, so
    // the code stays sharp.
    const QrCode code = m_relay.qrCode();
    const int module = m_form.layoutScale().factor() > 1 ? std::max(2, moduleFor(code, m_code->width())) : 2;
    m_code->setPixmap(qrPixmap(code, module).scaled(m_code->size(), Qt::KeepAspectRatio));
}

void PhonesPanel::fitCall(const QString &line)
{
    QFont bold = m_form.layoutScale().font(m_form.font());
    bold.setBold(true);
    m_call->setFont(fittingFont(bold, line, m_call->contentsRect().size(), m_form.layoutScale().length(7)));
}

void PhonesPanel::showAddress(const QString &address)
{
    const LayoutScale &scale = m_form.layoutScale();
    QFont font = m_address->font();
    font.setPixelSize(scale.length(12));
    const QString text = breakableAddress(address);
    m_address->setFont(fittingFont(font, text, m_address->contentsRect().size(), scale.length(7)));
    m_address->setText(text);
    m_address->setToolTip(address);
}

void PhonesPanel::placeOnAudience()
{
    if (!m_audienceCode || !m_audience) return;
    // Before a game's first number the board is empty: the room can scan the code from it.
    const bool shown = m_relay.isOn() && m_game.state().drawnCount() == 0;
    if (!shown) {
        if (m_audienceCode->isVisible()) m_audienceCode->hide();
        return;
    }
    const QRectF board = AudienceScreen::layoutFor(m_audience->size()).board;
    // The code, the invitation under it and the address under that, all within the board.
    const int room = int(std::min(board.width(), board.height() / 1.45) * 0.8);
    const int caption = room / 6;
    const int addressBand = room / 4;
    const QSize wanted(room, room + caption + addressBand);
    if (m_audienceCode->size() != wanted || m_audienceCode->toolTip() != m_relay.address()) {
        QPixmap card(wanted);
        card.fill(Qt::white);
        QPainter p(&card);
        const QrCode code = m_relay.qrCode();
        const QPixmap qr = qrPixmap(code, moduleFor(code, room));
        p.drawPixmap((room - qr.width()) / 2, (room - qr.height()) / 2, qr);
        QFont f = p.font();
        f.setPixelSize(std::max(10, room / 16));
        f.setBold(true);
        p.setPen(Qt::black);
        // Whole on its white card, with a margin at both ends.
        const QString invitation = QStringLiteral("Segui la tombola sul telefono");
        const QRect captionBox(room / 20, room - room / 40, room - room / 10, caption + room / 40);
        p.setFont(fittingFont(f, invitation, captionBox.size(), 6));
        p.drawText(captionBox, Qt::AlignCenter, invitation);
        // For those who type it: the page's address on the room's side, then the token.
        const QRect addressBox(room / 20, room + caption, room - room / 10, addressBand - room / 40);
        const QString address = m_relay.address();
        const qsizetype port = address.indexOf(QLatin1Char('/'), address.indexOf(QLatin1String("//")) + 2);
        const QString text = breakableAddress(address).insert(breakableAddress(address.left(port + 1)).size(),
                                                              QLatin1Char('\n'));
        f.setBold(false);
        f.setPixelSize(std::max(10, room / 14));
        p.setFont(fittingFont(f, text, addressBox.size(), 6));
        p.drawText(addressBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
        p.end();
        m_audienceCode->setPixmap(card);
        m_audienceCode->resize(wanted);
        m_audienceCode->setToolTip(m_relay.address());
    }
    m_audienceCode->move(int(board.center().x()) - wanted.width() / 2,
                         int(board.center().y()) - wanted.height() / 2);
    if (!m_audienceCode->isVisible()) m_audienceCode->show();
}

bool PhonesPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_code && event->type() == QEvent::MouseButtonRelease) openDialog();
    if (event->type() == QEvent::Resize && watched == m_audience) placeOnAudience();
    return QObject::eventFilter(watched, event);
}
