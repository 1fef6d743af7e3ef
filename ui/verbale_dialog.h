#pragma once
// The verbale of this evening or of an earlier one: picked from the evenings on record, laid out as
// a PDF document and saved into a file or sent to the default printer.

#include "evening/verbale.h"

#include <QByteArray>
#include <QDialog>
#include <functional>

class EveningRecord;
class PrinterPort;
class QLabel;
class QLineEdit;
class QListWidget;

// `blocks` as a PDF document titled `title`, A4, laid out as a printed form: no piece of it split
// by a page, a table's header at the top of each page it goes on, each page numbered.
QByteArray blocksPdf(const QList<VerbaleBlock> &blocks, const QString &title);
// The verbale of `evening` so laid out.
QByteArray verbalePdf(const StoredEvening &evening, const ClubInfo &club, const VerbaleSigners &signers = {});

class VerbaleDialog : public QDialog
{
    Q_OBJECT

public:
    // `chooseFile` asks where to save, offering a name; empty when the user gave up.
    VerbaleDialog(EveningRecord &record, PrinterPort &printer,
                  std::function<QString(const QString &suggested)> chooseFile, QWidget *parent = nullptr);

    QListWidget *evenings() const { return m_list; }
    // Where the evening was held, the organiser and the official present, for the first page.
    VerbaleSigners signers() const;
    QLabel *resultLabel() const { return m_result; }
    void save();
    void print();

private:
    // The evening picked, whole; false (and a word in the dialog) when it cannot be read.
    bool picked(StoredEvening &evening);

    EveningRecord &m_record;
    PrinterPort &m_printer;
    std::function<QString(const QString &)> m_chooseFile;
    QList<qint64> m_ids;
    QListWidget *m_list = nullptr;
    QLineEdit *m_place = nullptr;
    QLineEdit *m_organiser = nullptr;
    QLineEdit *m_delegate = nullptr;
    QLabel *m_result = nullptr;
};
