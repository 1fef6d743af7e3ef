#pragma once
// The caller's one window: its controls, the game state and every handler of the game.
//
// Everything runs on the window's thread. The draw cycle is one long handler that lets other
// events in only at its pump points; the other handlers steer it through `sospeso` and
// `nuova_partita`.

#include "game/game_state.h"
#include "game/ports.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Ports ports, QWidget *parent = nullptr);
    ~Form1() override;

    GameState stato;

    // Controls, named as the caller's manual names them.
    QPushButton *cmd_estrai = nullptr;
    QPushButton *cmd_nuovo = nullptr;
    QPushButton *cmd_sospendi = nullptr;
    QPushButton *cmd_verifica = nullptr;
    QPushButton *cmd_ripeti = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txt_ultimi = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QLabel *Label6 = nullptr;
    QGroupBox *Fra_scrittura = nullptr;
    QRadioButton *Opt_escludi = nullptr;
    QRadioButton *Opt_maiuscolo = nullptr;
    QRadioButton *Opt_minuscolo = nullptr;
    QRadioButton *Opt_script = nullptr;
    QGroupBox *TABELLONE = nullptr;
    QGroupBox *cat1 = nullptr;
    QGroupBox *cart2 = nullptr;
    QGroupBox *caer3 = nullptr;
    QGroupBox *cart4 = nullptr;
    QGroupBox *cart5 = nullptr;
    QGroupBox *cart6 = nullptr;
    std::array<QLabel *, 90> LBL_TAB{};
    QGroupBox *fra_controlli = nullptr;
    std::array<QPushButton *, 4> cmd_ambo{};
    std::array<QLineEdit *, 14> Text1{};
    QGroupBox *fra_cartelle = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Txt_num_cartelle = nullptr;
    QPushButton *cmd_stampa = nullptr;
    QLabel *Label7 = nullptr;
    // Beside "OK": the same cards into a PDF file, for a caller without a printer.
    QPushButton *cmd_pdf = nullptr;
    std::function<QString()> sceltaFilePdf;
    QString nomeDocumento = QStringLiteral("Cartelle della tombola");

    // Extras around the board, each reached by a small button or a key: the audience screen
    // (F5), the check of a card by its code (in the claim panel) and the About box (F1). Unset
    // hooks do nothing.
    QPushButton *cmd_pubblico = nullptr;
    QPushButton *cmd_cartella = nullptr;
    std::function<void()> alternaSchermoPubblico;
    std::function<void()> controllaCartella;
    std::function<void()> mostraInformazioni;

    // Start-up and closing.
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    // The game.
    void cmd_estrai_Click();
    void cmd_nuovo_Click();
    void cmd_sospendi_Click();
    void HScroll1_Change();
    void Label1_MouseMove(int button, int shift, float x, float y);
    void Opt_escludi_Click();
    void pronuncia_numero(std::int16_t numero);

    // Claims and the repeat of the last numbers.
    void cmd_verifica_Click();
    void cmd_ambo_Click(int index);
    void Text1_KeyPress(int index, std::int16_t &key);
    void Text1_LostFocus(int index);
    void Avviso(std::int16_t indice);
    void cmd_ripeti_Click();
    void txt_ultimi_KeyPress(std::int16_t &key);

    // Cards.
    void cmd_stampa_Click();
    void Txt_num_cartelle_KeyPress(std::int16_t &key);

    // The free-text tag of Label2: the position at which the last stopped draw resumes.
    QString label2Tag() const;
    void setLabel2Tag(const QString &tag);

    bool isDrawing() const { return m_drawDepth > 0; }
    bool isClosed() const { return m_chiusa; }
    // The draw is stopped in the middle of a game (by the pause or the hidden gesture).
    bool inPausa() const;

    // The colour a control shows behind its text.
    static QColor backColor(const QWidget *w);
    static void setBackColor(QWidget *w, const QColor &c);

    static const QString &titoloApplicazione();

signals:
    // The window has new content to show: emitted at every point where the game lets events in.
    void aggiornato();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void runDraw();
    void scriviInLettere(int n, QString &direttiva);
    void avvisoCorsivo();
    template <typename Step> void passo(Step &&step);
    void pompa();
    void attendiFino(double deadline);
    template <typename Duration> void attesa(Duration &&secondi);
    void suonaQuieto(const QString &nome);
    void ripetiUltimi();
    void stampaCartelle(bool suPdf);
    bool countValid(double valore) const;
    void rimettiFuoco(QWidget *w);
    bool keyFilter(QObject *watched, QEvent *event);

    Ports m_ports;
    int m_drawDepth = 0;
    bool m_restartAfterStop = false;
    bool m_activated = false;
    bool m_chiusa = false;
    bool m_printing = false;
    int m_focusBack = 0;
};
