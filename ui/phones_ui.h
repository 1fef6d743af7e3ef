#pragma once
// The players' phones in the caller's window and on the room's screen: the switch "Telefoni (F8)"
// in the right column, and while it is on the page's address and its QR code under it (a click on
// the code opens them large, with the option of dealing cards to phones); on the audience screen,
// the QR code over the empty board before each game's first number. Reads the relay; the
// phones' rules are in phones/.

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QPointer>

class AudienceController;
class AudienceScreen;
class Form1;
class Game;
class PhoneRelay;
class QCheckBox;
class QPushButton;
class QSpinBox;
struct QrCode;

// The code with a quiet zone of two light modules, `module` pixels each.
QPixmap qrPixmap(const QrCode &code, int module);
// The page's address with a zero-width space wherever a line may break: after "http://", the
// host's dots and colon, the port's slash, and every five symbols of the token.
QString breakableAddress(const QString &address);
// `font` at the largest pixel size, from its own down to `smallest`, at which `text`, wrapped,
// fits `box`; `smallest` when none does.
QFont fittingFont(QFont font, const QString &text, const QSize &box, int smallest);

// The address and the code large, the phones connected, and the cards for phones.
class PhonesDialog : public QDialog
{
    Q_OBJECT

public:
    PhonesDialog(PhoneRelay &relay, QWidget *parent = nullptr);
    QCheckBox *cardsBox() const { return m_cards; }
    QSpinBox *perPhoneBox() const { return m_perPhone; }

signals:
    // The caller asks for the phones far away (the NATS server's dialog).
    void remoteRequested();

private:
    void refresh();

    PhoneRelay &m_relay;
    QLabel *m_code = nullptr;
    QLabel *m_address = nullptr;
    QLabel *m_count = nullptr;
    QCheckBox *m_cards = nullptr;
    QSpinBox *m_perPhone = nullptr;
};

class PhonesPanel : public QObject
{
    Q_OBJECT

public:
    PhonesPanel(Form1 &form, Game &game, PhoneRelay &relay, AudienceController &audience);

    QPushButton *switchButton() const { return m_switch; }
    QLabel *codeLabel() const { return m_code; }
    QLabel *addressLabel() const { return m_address; }
    QLabel *callLabel() const { return m_call; }
    PhonesDialog *dialog() const { return m_dialog; }
    // The code on the room's screen, once it has opened.
    QLabel *audienceCode() const { return m_audienceCode; }

    // The address beside the code, in the largest font that shows it whole there.
    void showAddress(const QString &address);

    // F8 and the button: on, or off after closing every phone's connection.
    void toggle();
    void openDialog();

signals:
    void remoteRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void placeOnAudience();
    // The code in the window, at its label's size; the last call from a phone fitted to its line.
    void drawCode();
    void fitCall(const QString &line);

    Form1 &m_form;
    Game &m_game;
    PhoneRelay &m_relay;
    QPushButton *m_switch = nullptr;
    QLabel *m_code = nullptr;
    QLabel *m_address = nullptr;
    // The last call from a phone, under the claim panel's place.
    QLabel *m_call = nullptr;
    QPointer<PhonesDialog> m_dialog;
    // A QWidget: the screen is still watched while its own destructor hides it.
    QPointer<QWidget> m_audience;
    QPointer<QLabel> m_audienceCode;
};
