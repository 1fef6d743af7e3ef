#include "ui/remote_ui.h"

#include "evening/evening_record.h"
#include "phones/qr_code.h"
#include "remote/page_export.h"
#include "ui/form1.h"
#include "ui/phones_ui.h"
#include "ui/qt_platform.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <utility>

QString remoteSettingsPath()
{
    const QString forTests = qEnvironmentVariable("TOMBOLA_REMOTE_SETTINGS");
    if (!forTests.isEmpty()) return forTests;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tombola/lontani.ini");
}

NatsSettings loadNatsSettings(const QSettings &q)
{
    NatsSettings s;
    s.servers =
        q.value(QStringLiteral("server/indirizzi")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &url : s.servers)
        url = url.trimmed();
    s.user = q.value(QStringLiteral("server/utente")).toString();
    s.password = q.value(QStringLiteral("server/password")).toString();
    s.credentialsFile = q.value(QStringLiteral("server/credenziali")).toString();
    s.caFile = q.value(QStringLiteral("server/ca")).toString();
    s.webSocket = q.value(QStringLiteral("telefoni/websocket")).toString();
    s.phoneUser = q.value(QStringLiteral("telefoni/utente")).toString();
    s.phonePassword = q.value(QStringLiteral("telefoni/password")).toString();
    s.pageAddress = q.value(QStringLiteral("telefoni/pagina")).toString();
    s.delaySeconds =
        std::clamp(q.value(QStringLiteral("telefoni/ritardo"), 0).toInt(), 0, FarDelay::kMostSeconds);
    return s;
}

void saveNatsSettings(QSettings &q, const NatsSettings &s)
{
    q.setValue(QStringLiteral("server/indirizzi"), s.servers.join(QLatin1Char(',')));
    q.setValue(QStringLiteral("server/utente"), s.user);
    q.setValue(QStringLiteral("server/password"), s.password);
    q.setValue(QStringLiteral("server/credenziali"), s.credentialsFile);
    q.setValue(QStringLiteral("server/ca"), s.caFile);
    q.setValue(QStringLiteral("telefoni/websocket"), s.webSocket);
    q.setValue(QStringLiteral("telefoni/utente"), s.phoneUser);
    q.setValue(QStringLiteral("telefoni/password"), s.phonePassword);
    q.setValue(QStringLiteral("telefoni/pagina"), s.pageAddress);
    q.setValue(QStringLiteral("telefoni/ritardo"), s.delaySeconds);
}

QString eveningIdFor(QSettings &q, qint64 recordId)
{
    const QString key = QStringLiteral("sere/%1").arg(recordId);
    QString id = q.value(key).toString();
    if (id.isEmpty()) {
        id = NatsRelay::newEveningId();
        q.setValue(key, id);
    }
    return id;
}

namespace
{
// An antenna with a red cross: the evening does not reach the phones far away.
QPixmap notReachingMark(QSize size)
{
    return crossedOut(size, 6.5, [](QPainter &p, double u) {
        p.setPen(QPen(QColor(40, 40, 40), 0.9 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5 * u, 4 * u), QPointF(5 * u, 11 * u));
        p.drawLine(QPointF(3 * u, 11 * u), QPointF(7 * u, 11 * u));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5 * u, 1.5 * u, 5 * u, 5 * u), 30 * 16, 120 * 16);
        p.drawArc(QRectF(0.5 * u, -0.5 * u, 9 * u, 9 * u), 40 * 16, 100 * 16);
    });
}

QLineEdit *field(QWidget *parent, const char *name, const QString &tip)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setToolTip(tip);
    return e;
}
} // namespace

RemoteDialog::RemoteDialog(NatsRelay &relay, const EveningRecord &record, QWidget *parent)
    : QDialog(parent), m_relay(relay), m_record(record)
{
    setObjectName(QStringLiteral("RemoteDialog"));
    setWindowTitle(QStringLiteral("Parenti lontani: la serata su un server NATS"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("Chi è lontano segue la tombola sul telefono attraverso il server NATS del circolo: "
                       "il programma si collega al server (a casa non si apre nessuna porta) e i telefoni "
                       "aprono la pagina pubblicata dal circolo con il collegamento qui sotto."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    m_servers = field(this, "txt_nats_server",
                      QStringLiteral("uno o più indirizzi separati da virgole: "
                                     "nats://host:4222 oppure tls://host:4222"));
    m_user = field(this, "txt_nats_utente", QStringLiteral("l'utente del banco, che pubblica la serata"));
    m_password = field(this, "txt_nats_password", QStringLiteral("resta su questo computer"));
    m_password->setEchoMode(QLineEdit::Password);
    m_credentials = field(this, "txt_nats_credenziali",
                          QStringLiteral("in alternativa a utente e password: un file di credenziali NATS "
                                         "(.creds)"));
    m_ca =
        field(this, "txt_nats_ca",
              QStringLiteral("per tls://: il certificato dell'autorità del server, se non è una pubblica"));
    m_webSocket = field(this, "txt_nats_websocket",
                        QStringLiteral("l'indirizzo WebSocket del server per i telefoni: wss://host:443"));
    m_phoneUser = field(this, "txt_nats_utente_telefoni",
                        QStringLiteral("l'utente dei telefoni: può solo leggere la serata e chiamare"));
    m_phonePassword = field(this, "txt_nats_password_telefoni",
                            QStringLiteral("va nel collegamento dei telefoni: deve essere di sola lettura"));
    m_page =
        field(this, "txt_nats_pagina",
              QStringLiteral("dove il circolo pubblica la pagina: https://circolo.example.org/tombola/"));
    m_delay = new QSpinBox(this);
    m_delay->setObjectName(QStringLiteral("txt_nats_ritardo"));
    m_delay->setRange(0, FarDelay::kMostSeconds);
    m_delay->setSuffix(QStringLiteral(" s"));
    m_delay->setToolTip(QStringLiteral("i telefoni lontani ricevono ogni numero tanti secondi dopo la sala, "
                                       "come chi guarda la diretta; la sala e i telefoni del locale no"));
    auto browse = [this](QLineEdit *target, const QString &title) {
        auto *row = new QHBoxLayout;
        row->addWidget(target);
        auto *button = new QPushButton(QStringLiteral("..."), this);
        button->setToolTip(title);
        connect(button, &QPushButton::clicked, this, [this, target, title] {
            const QString file = QFileDialog::getOpenFileName(this, title, target->text());
            if (!file.isEmpty()) target->setText(file);
        });
        row->addWidget(button);
        return row;
    };
    form->addRow(QStringLiteral("&Server NATS:"), m_servers);
    form->addRow(QStringLiteral("&Utente del banco:"), m_user);
    form->addRow(QStringLiteral("Pass&word del banco:"), m_password);
    form->addRow(QStringLiteral("File di &credenziali:"),
                 browse(m_credentials, QStringLiteral("File di credenziali NATS")));
    form->addRow(QStringLiteral("Certificato &CA (TLS):"),
                 browse(m_ca, QStringLiteral("Certificato della CA")));
    form->addRow(QStringLiteral("&WebSocket per i telefoni:"), m_webSocket);
    form->addRow(QStringLiteral("Utente dei &telefoni:"), m_phoneUser);
    form->addRow(QStringLiteral("Password dei telefoni:"), m_phonePassword);
    form->addRow(QStringLiteral("Indirizzo della &pagina:"), m_page);
    form->addRow(QStringLiteral("La diretta video è indietro &di:"), m_delay);
    layout->addLayout(form);

    auto *buttons = new QHBoxLayout;
    m_connect = new QPushButton(QStringLiteral("C&ollega"), this);
    m_connect->setObjectName(QStringLiteral("cmd_nats_collega"));
    m_disconnect = new QPushButton(QStringLiteral("Sc&ollega"), this);
    m_disconnect->setObjectName(QStringLiteral("cmd_nats_scollega"));
    auto *save = new QPushButton(QStringLiteral("Salva la pagina per il sito..."), this);
    save->setObjectName(QStringLiteral("cmd_nats_salva_pagina"));
    save->setToolTip(QStringLiteral("scrive in una cartella i file della pagina dei telefoni, da pubblicare "
                                    "sul sito del circolo"));
    buttons->addWidget(m_connect);
    buttons->addWidget(m_disconnect);
    buttons->addStretch();
    buttons->addWidget(save);
    layout->addLayout(buttons);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("lbl_nats_stato"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    m_code = new QLabel(this);
    m_code->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_code);
    m_link = new QLabel(this);
    m_link->setObjectName(QStringLiteral("lbl_nats_collegamento"));
    m_link->setWordWrap(true);
    m_link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_link);
    addCloseButton(*this, *layout);

    QSettings settings(remoteSettingsPath(), QSettings::IniFormat);
    const NatsSettings s = relay.isStarted() ? relay.settings() : loadNatsSettings(settings);
    m_servers->setText(s.servers.join(QStringLiteral(", ")));
    m_user->setText(s.user);
    m_password->setText(s.password);
    m_credentials->setText(s.credentialsFile);
    m_ca->setText(s.caFile);
    m_webSocket->setText(s.webSocket);
    m_phoneUser->setText(s.phoneUser);
    m_phonePassword->setText(s.phonePassword);
    m_page->setText(s.pageAddress);
    m_delay->setValue(s.delaySeconds);

    connect(m_connect, &QPushButton::clicked, this, &RemoteDialog::connectNow);
    connect(m_disconnect, &QPushButton::clicked, this, [this] {
        m_relay.stop();
        QSettings q(remoteSettingsPath(), QSettings::IniFormat);
        q.setValue(QStringLiteral("attivo"), false);
    });
    connect(save, &QPushButton::clicked, this, &RemoteDialog::savePageAsked);
    // Kept at once, and applied at once to an evening that goes out already.
    connect(m_delay, &QSpinBox::valueChanged, this, [this](int seconds) {
        QSettings q(remoteSettingsPath(), QSettings::IniFormat);
        q.setValue(QStringLiteral("telefoni/ritardo"), seconds);
        if (m_relay.isStarted()) m_relay.setDelaySeconds(seconds);
    });
    connect(&relay, &NatsRelay::linkChanged, this, &RemoteDialog::refresh);
    refresh();
}

NatsSettings RemoteDialog::fields() const
{
    NatsSettings s;
    for (const QString &url : m_servers->text().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!url.trimmed().isEmpty()) s.servers << url.trimmed();
    s.user = m_user->text().trimmed();
    s.password = m_password->text();
    s.credentialsFile = m_credentials->text().trimmed();
    s.caFile = m_ca->text().trimmed();
    s.webSocket = m_webSocket->text().trimmed();
    s.phoneUser = m_phoneUser->text().trimmed();
    s.phonePassword = m_phonePassword->text();
    s.pageAddress = m_page->text().trimmed();
    s.delaySeconds = m_delay->value();
    return s;
}

void RemoteDialog::connectNow()
{
    const NatsSettings s = fields();
    if (!s.isComplete()) {
        m_state->setText(QStringLiteral("Scrivi l'indirizzo del server NATS."));
        return;
    }
    QSettings q(remoteSettingsPath(), QSettings::IniFormat);
    saveNatsSettings(q, s);
    q.setValue(QStringLiteral("attivo"), true);
    m_relay.start(s, eveningIdFor(q, m_record.evening().id));
}

void RemoteDialog::refresh()
{
    using Link = NatsRelay::Link;
    const Link link = m_relay.link();
    m_disconnect->setEnabled(link != Link::Off);
    m_state->setText(link == Link::Off  ? QStringLiteral("Non collegato.")
                     : link == Link::Up ? QStringLiteral("Collegato: la serata arriva ai telefoni lontani.")
                                        : m_relay.problem());
    const QString phoneLink = m_relay.phoneLink();
    m_link->setText(
        link == Link::Off ? QString()
        : phoneLink.isEmpty()
            ? QStringLiteral("Per il collegamento dei telefoni servono il WebSocket e l'indirizzo "
                             "della pagina.")
            : phoneLink);
    m_code->setPixmap(link != Link::Off && !phoneLink.isEmpty() ? qrPixmap(m_relay.qrCode(), 3) : QPixmap());
}

void RemoteDialog::savePageAsked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Cartella per la pagina"));
    if (folder.isEmpty()) return;
    QString why;
    if (savePage(folder, &why))
        m_state->setText(QStringLiteral("Pagina salvata in %1: pubblica la cartella sul sito del circolo.")
                             .arg(QDir::toNativeSeparators(folder)));
    else
        QMessageBox::warning(this, windowTitle(), why);
}

RemotePanel::RemotePanel(Form1 &form, NatsRelay &relay, const EveningRecord &record)
    : QObject(&form), m_form(form), m_relay(relay), m_record(record)
{
    // Beside the marks of the sound and of the evening's record.
    m_mark = placeControl(new QLabel(&form), "lbl_remoto",
                          QStringLiteral("la serata non arriva ai telefoni lontani"), QRect(724, 8, 25, 25));
    m_mark->setPixmap(notReachingMark(m_mark->size()));
    connect(&form, &Form1::layoutScaled, this,
            [this] { m_mark->setPixmap(notReachingMark(m_mark->size())); });
    m_mark->setAlignment(Qt::AlignCenter);
    m_mark->setAccessibleName(QStringLiteral("serata non raggiunge i telefoni lontani"));
    m_mark->setCursor(Qt::PointingHandCursor);
    m_mark->installEventFilter(this);
    m_mark->hide();
    auto *key = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8), &form);
    key->setWhatsThis(
        QStringLiteral("la serata per i parenti lontani, attraverso il server NATS del circolo"));
    connect(key, &QShortcut::activated, this, &RemotePanel::openDialog);
    // Right of the big number, under the room's screen button.
    m_farWait = placeControl(new QLabel(&form), "lbl_ritardo_lontani", QString(), QRect(654, 88, 152, 100));
    m_farWait->setWordWrap(true);
    m_farWait->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_farWait->hide();
    m_farTick.setInterval(250);
    connect(&m_farTick, &QTimer::timeout, this, &RemotePanel::refreshFarWait);
    connect(&relay, &NatsRelay::farHoldingChanged, this, &RemotePanel::refreshFarWait);
    m_firstTry.setSingleShot(true);
    m_firstTry.setInterval(3000);
    connect(&m_firstTry, &QTimer::timeout, this, &RemotePanel::refresh);
    connect(&relay, &NatsRelay::linkChanged, this, [this](NatsRelay::Link link) {
        if (link == NatsRelay::Link::Connecting) m_firstTry.start();
        refresh();
    });
    // The evening begins or changes (closed, resumed): its own subjects. The server the caller left
    // connected is joined once the evening has begun: before, the record has no evening yet, and
    // phones given that link would wait on subjects nobody ever publishes again.
    QSettings q(remoteSettingsPath(), QSettings::IniFormat);
    m_joinAtStart = q.value(QStringLiteral("attivo")).toBool() && loadNatsSettings(q).isComplete();
    if (m_joinAtStart && record.evening().started.isValid()) {
        m_joinAtStart = false;
        joinEvening();
    }
    connect(&record, &EveningRecord::started, this, [this] {
        if (std::exchange(m_joinAtStart, false) || m_relay.isStarted()) joinEvening();
    });
    refresh();
}

void RemotePanel::joinEvening()
{
    QSettings q(remoteSettingsPath(), QSettings::IniFormat);
    m_relay.start(m_relay.isStarted() ? m_relay.settings() : loadNatsSettings(q),
                  eveningIdFor(q, m_record.evening().id));
}

void RemotePanel::openDialog()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    m_dialog = new RemoteDialog(m_relay, m_record, &m_form);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    showKeepingClose(*m_dialog);
}

void RemotePanel::refresh()
{
    const bool trying = m_relay.link() == NatsRelay::Link::Connecting && m_firstTry.isActive();
    const bool missing = m_relay.isStarted() && !m_relay.isReaching() && !trying;
    const QString why = m_relay.problem();
    m_mark->setToolTip(why.isEmpty() ? QStringLiteral("la serata non arriva ai telefoni lontani") : why);
    m_mark->setAccessibleDescription(why);
    m_mark->setVisible(missing);
}

void RemotePanel::refreshFarWait()
{
    const FarDelay &delay = m_relay.farDelay();
    const bool waiting = m_relay.isStarted() && delay.seconds() > 0 && delay.isHolding();
    if (!waiting) {
        m_farTick.stop();
        m_farWait->hide();
        return;
    }
    if (!m_farTick.isActive()) m_farTick.start();
    const qint64 seconds = (delay.msUntilEmpty() + 999) / 1000;
    const int number = delay.lastHeldNumber();
    const QString text =
        number > 0 ? QStringLiteral("Telefoni lontani: il %1 arriva tra %2 s. Aspetta le loro chiamate.")
                         .arg(number)
                         .arg(seconds)
                   : QStringLiteral("Telefoni lontani: in ritardo ancora di %1 s. Aspetta le loro chiamate.")
                         .arg(seconds);
    if (m_farWait->text() != text) m_farWait->setText(text);
    m_farWait->show();
}

bool RemotePanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_mark && event->type() == QEvent::MouseButtonRelease) openDialog();
    return QObject::eventFilter(watched, event);
}
