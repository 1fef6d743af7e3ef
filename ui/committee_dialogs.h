#pragma once
// The committee's tools in the list of the evening: "Cartelle invendute..." declares unsold cards
// void before a game's first number, "Premi consegnati..." marks each prize won as handed over (to
// whom, when) and makes the "Consegna dei premi" form to sign. Both write through the evening's
// record; neither knows a rule of its own.

#include <QDialog>
#include <functional>

class EveningRecord;
class Game;
class PrinterPort;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class VoidCardsDialog : public QDialog
{
    Q_OBJECT

public:
    VoidCardsDialog(EveningRecord &record, const Game &game, QWidget *parent = nullptr);
    QLineEdit *cardsEdit() const { return m_cards; }
    QPushButton *voidButton() const { return m_void; }
    QLabel *resultLabel() const { return m_result; }
    void voidCards();

private:
    EveningRecord &m_record;
    const Game &m_game;
    QLineEdit *m_cards = nullptr;
    QPushButton *m_void = nullptr;
    QLabel *m_result = nullptr;
};

class DeliveriesDialog : public QDialog
{
    Q_OBJECT

public:
    // `chooseFile` asks where to save the form, offering a name; empty when the user gave up.
    DeliveriesDialog(EveningRecord &record, PrinterPort &printer,
                     std::function<QString(const QString &suggested)> chooseFile, QWidget *parent = nullptr);
    QTableWidget *table() const { return m_table; }
    QLineEdit *recipientEdit() const { return m_to; }
    QLabel *resultLabel() const { return m_result; }
    // The prize of the row chosen handed over, now, to the name written.
    void deliverChosen();
    void saveForm();

private:
    void refresh();

    EveningRecord &m_record;
    PrinterPort &m_printer;
    std::function<QString(const QString &)> m_chooseFile;
    QTableWidget *m_table = nullptr;
    QLineEdit *m_to = nullptr;
    QLabel *m_result = nullptr;
};
