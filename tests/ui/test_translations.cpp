// Qt's own texts in Italian whatever the system language (the test runs under LC_ALL=C), and the
// reason given for starting with no screen.

#include "ui/qt_platform.h"
#include "ui/translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <optional>

namespace
{

// Sets or clears an environment variable for one scope, and puts back what was there.
class Variabile
{
public:
    Variabile(const char *nome, const QByteArray *valore) : m_nome(nome)
    {
        m_prima = qgetenv(nome);
        m_cera = qEnvironmentVariableIsSet(nome);
        if (valore)
            qputenv(nome, *valore);
        else
            qunsetenv(nome);
    }
    ~Variabile()
    {
        if (m_cera)
            qputenv(m_nome, m_prima);
        else
            qunsetenv(m_nome);
    }
    Variabile(const Variabile &) = delete;
    Variabile &operator=(const Variabile &) = delete;

private:
    const char *m_nome;
    QByteArray m_prima;
    bool m_cera = false;
};

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void qtTextsTurnItalian();
    void theSaveDialogIsItalian();
    void noScreenIsExplained_data();
    void noScreenIsExplained();
};

void TestTranslations::initTestCase()
{
    // The premise: a system language that would not give Italian by itself.
    QVERIFY(QLocale::system().language() != QLocale::Italian);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    QVERIFY(installQtTranslations(*qApp));
}

void TestTranslations::qtTextsTurnItalian()
{
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annulla"));
    QDialogButtonBox tasti(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    QCOMPARE(tasti.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annulla"));
    QCOMPARE(tasti.button(QDialogButtonBox::Save)->text(), QStringLiteral("Salva"));
}

void TestTranslations::theSaveDialogIsItalian()
{
    // Qt's own dialog, the one the "..." button of the card panel opens where no desktop dialog is.
    // As in the program, it writes no history into the user's settings when it goes.
    keepNoSettings();
    QFileDialog dialogo(nullptr, QStringLiteral("Salva le cartelle in PDF"));
    dialogo.setOption(QFileDialog::DontUseNativeDialog);
    dialogo.setAcceptMode(QFileDialog::AcceptSave);
    const auto *guarda = dialogo.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    const auto *nome = dialogo.findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    QVERIFY(guarda && nome);
    QCOMPARE(guarda->text(), QStringLiteral("Cerca in:"));
    QCOMPARE(nome->text(), QStringLiteral("&Nome del file:"));
    const auto *tasti = dialogo.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(tasti);
    QCOMPARE(tasti->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annulla"));
}

void TestTranslations::noScreenIsExplained_data()
{
    QTest::addColumn<QByteArrayList>("ambiente"); // NAME=VALUE, set for the row; the rest unset
    QTest::addColumn<QByteArrayList>("argomenti");
    QTest::addColumn<bool>("schermo");

    QTest::newRow("nothing") << QByteArrayList{} << QByteArrayList{} << false;
    QTest::newRow("empty DISPLAY") << QByteArrayList{"DISPLAY="} << QByteArrayList{} << false;
    QTest::newRow("X") << QByteArrayList{"DISPLAY=:0"} << QByteArrayList{} << true;
    QTest::newRow("Wayland") << QByteArrayList{"WAYLAND_DISPLAY=wayland-0"} << QByteArrayList{} << true;
    QTest::newRow("QT_QPA_PLATFORM") << QByteArrayList{"QT_QPA_PLATFORM=offscreen"} << QByteArrayList{}
                                     << true;
    QTest::newRow("-platform") << QByteArrayList{} << QByteArrayList{"-platform", "offscreen"} << true;
    QTest::newRow("--platform") << QByteArrayList{} << QByteArrayList{"--platform", "vnc"} << true;
    QTest::newRow("-platform with no name") << QByteArrayList{} << QByteArrayList{"-platform"} << false;
    QTest::newRow("a platform name alone") << QByteArrayList{} << QByteArrayList{"offscreen"} << false;
}

void TestTranslations::noScreenIsExplained()
{
    QFETCH(QByteArrayList, ambiente);
    QFETCH(QByteArrayList, argomenti);
    QFETCH(bool, schermo);

    auto valore = [&](const char *nome) -> std::optional<QByteArray> {
        const QByteArray prefisso = QByteArray(nome) + '=';
        for (const QByteArray &riga : ambiente)
            if (riga.startsWith(prefisso)) return riga.mid(prefisso.size());
        return std::nullopt;
    };
    const auto display = valore("DISPLAY");
    const auto wayland = valore("WAYLAND_DISPLAY");
    const auto piattaforma = valore("QT_QPA_PLATFORM");
    const Variabile v1("DISPLAY", display ? &*display : nullptr);
    const Variabile v2("WAYLAND_DISPLAY", wayland ? &*wayland : nullptr);
    const Variabile v3("QT_QPA_PLATFORM", piattaforma ? &*piattaforma : nullptr);

    QList<const char *> argv{"tombola"};
    for (const QByteArray &a : argomenti)
        argv << a.constData();

    const QString motivo = noDisplayReason(int(argv.size()), argv.constData());
    if (schermo) {
        QCOMPARE(motivo, QString());
    } else {
        QCOMPARE(motivo, QStringLiteral("nessuno schermo disponibile (DISPLAY non impostato): avviare il "
                                        "programma da una sessione grafica"));
    }
}

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
