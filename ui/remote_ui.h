#pragma once
// Relatives far away in the caller's window: the dialog where the caller gives the club's NATS
// server once (kept in a settings file of this machine: the caller's credentials never leave it),
// connects or disconnects, sees the phones' link and its QR code, and saves the page for a web
// host; and the mark in the top right corner while the evening does not reach the server. Opened
// with Shift+F8, from the phones' dialog, or by a click on the mark. The relay's rules are in
// remote/.

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTimer>

#include "remote/nats_relay.h"

class EveningRecord;
class Form1;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The settings file: the user's configuration folder, or TOMBOLA_REMOTE_SETTINGS for tests.
QString remoteSettingsPath();
NatsSettings loadNatsSettings(const QSettings &settings);
void saveNatsSettings(QSettings &settings, const NatsSettings &s);
// The id of the evening `recordId`: made once and kept, so a program started again goes on
// publishing the same evening and the phones' link stays good.
QString eveningIdFor(QSettings &settings, qint64 recordId);

class RemoteDialog : public QDialog
{
    Q_OBJECT

public:
    RemoteDialog(NatsRelay &relay, const EveningRecord &record, QWidget *parent = nullptr);

private:
    void connectNow();
    void refresh();
    void savePageAsked();
    NatsSettings fields() const;

    NatsRelay &m_relay;
    const EveningRecord &m_record;
    QLineEdit *m_servers = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_credentials = nullptr;
    QLineEdit *m_ca = nullptr;
    QLineEdit *m_webSocket = nullptr;
    QLineEdit *m_phoneUser = nullptr;
    QLineEdit *m_phonePassword = nullptr;
    QLineEdit *m_page = nullptr;
    QSpinBox *m_delay = nullptr;
    QLabel *m_state = nullptr;
    QLabel *m_link = nullptr;
    QLabel *m_code = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_disconnect = nullptr;
};

class RemotePanel : public QObject
{
    Q_OBJECT

public:
    // Connects when the caller left it connected last time, once the evening has begun.
    RemotePanel(Form1 &form, NatsRelay &relay, const EveningRecord &record);
    QLabel *mark() const { return m_mark; }
    // While the room has something far phones do not have yet: how long until they do.
    QLabel *farWait() const { return m_farWait; }
    RemoteDialog *dialog() const { return m_dialog; }
    void openDialog();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void refreshFarWait();
    // The server joined for the evening the record holds now, with the settings in use (or saved).
    void joinEvening();

    Form1 &m_form;
    NatsRelay &m_relay;
    const EveningRecord &m_record;
    QLabel *m_mark = nullptr;
    QLabel *m_farWait = nullptr;
    QTimer m_farTick;
    QPointer<RemoteDialog> m_dialog;
    // While the first connection is tried the mark waits this long: a connection that comes at
    // once shows nothing.
    QTimer m_firstTry;
    // Left connected last time, and waiting for the evening to begin.
    bool m_joinAtStart = false;
};
