#include "ui/club.h"

#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace
{
QString clubSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tombola/circolo.ini");
}

constexpr int kMostLength = 80;

class ClubDialog : public QDialog
{
public:
    ClubDialog(const ClubInfo &club, QWidget *parent) : QDialog(parent)
    {
        setObjectName(QStringLiteral("ClubDialog"));
        setWindowTitle(QStringLiteral("Il circolo"));
        auto *form = new QFormLayout(this);
        auto *explain = new QLabel(
            QStringLiteral("Il nome e il contatto del circolo compaiono nella finestra e nel verbale."),
            this);
        explain->setWordWrap(true);
        form->addRow(explain);
        m_name = new QLineEdit(club.name, this);
        m_name->setObjectName(QStringLiteral("txt_circolo"));
        m_name->setMaxLength(kMostLength);
        m_contact = new QLineEdit(club.contact, this);
        m_contact->setObjectName(QStringLiteral("txt_contatto"));
        m_contact->setMaxLength(kMostLength);
        m_contact->setPlaceholderText(QStringLiteral("e-mail o telefono"));
        auto *nameLabel = new QLabel(QStringLiteral("&Nome del circolo:"), this);
        nameLabel->setBuddy(m_name);
        auto *contactLabel = new QLabel(QStringLiteral("&Contatto:"), this);
        contactLabel->setBuddy(m_contact);
        form->addRow(nameLabel, m_name);
        form->addRow(contactLabel, m_contact);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        form->addRow(buttons);
        m_name->setFocus();
    }
    ClubInfo club() const { return ClubInfo{m_name->text().simplified(), m_contact->text().simplified()}; }

private:
    QLineEdit *m_name = nullptr;
    QLineEdit *m_contact = nullptr;
};

class ContactLine : public QObject
{
public:
    explicit ContactLine(Form1 &form) : QObject(&form), m_form(form)
    {
        m_form.Label7->installEventFilter(this);
        show(loadClub());
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_form.Label7 && event->type() == QEvent::MouseButtonRelease) edit();
        return false;
    }

private:
    void show(const ClubInfo &club)
    {
        m_form.Label7->setText(contactLine(club));
        m_form.Label7->setToolTip(club.name.isEmpty()
                                      ? QStringLiteral("clic per scrivere il nome e il contatto del circolo")
                                      : club.name + QStringLiteral(" (clic per cambiare)"));
    }
    void edit()
    {
        ClubDialog dialog(loadClub(), &m_form);
        if (execKeepingClose(dialog) != QDialog::Accepted) return;
        QString why;
        if (!saveClub(dialog.club(), &why))
            QtDialogs().message(why, QStringLiteral("Il circolo"), Icon::Critical);
        show(loadClub());
    }
    Form1 &m_form;
};
} // namespace

ClubInfo loadClub()
{
    const QSettings q(clubSettingsPath(), QSettings::IniFormat);
    return ClubInfo{q.value(QStringLiteral("circolo/nome")).toString().left(kMostLength),
                    q.value(QStringLiteral("circolo/contatto")).toString().left(kMostLength)};
}

bool saveClub(const ClubInfo &club, QString *why)
{
    const QString path = clubSettingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings q(path, QSettings::IniFormat);
    q.setValue(QStringLiteral("circolo/nome"), club.name);
    q.setValue(QStringLiteral("circolo/contatto"), club.contact);
    q.sync();
    if (q.status() == QSettings::NoError) return true;
    if (why) *why = QStringLiteral("Il nome del circolo non è stato salvato in %1.").arg(path);
    return false;
}

QString contactLine(const ClubInfo &club)
{
    return QStringLiteral("E-Mail > ") +
           (club.contact.isEmpty() ? QStringLiteral("clic qui per il contatto del circolo") : club.contact);
}

void installClub(Form1 &form)
{
    new ContactLine(form);
}
