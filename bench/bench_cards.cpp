// Median times of the card work: dealing 30 cards, laying them out, rendering them to a PDF.
// Usage: bench_cards [runs-scale]; set QT_QPA_PLATFORM=offscreen where there is no display.

#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "cards/dealer.h"
#include "cards/painter_canvas.h"
#include "fakes/fake_random.h"
#include "game/game_state.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{

// Draws nothing: what is left is the dealer and the layout.
class NullCanvas : public CardCanvas
{
public:
    void setFontSize(double) override {}
    void setPenWidth(int) override {}
    void moveTo(double, double) override {}
    void printLine(const QString &text) override { m_chars += text.size(); }
    void line(double, double, double, double) override {}
    void rectangle(double, double, double, double) override {}
    bool newPage() override { return true; }
    bool endDoc() override { return true; }
    qsizetype chars() const { return m_chars; }

private:
    qsizetype m_chars = 0;
};

struct Figures {
    double median, min, p90; // microseconds
};

Figures measure(int runs, const std::function<void()> &work)
{
    work(); // warm-up
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        work();
        us.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us.front(), us[us.size() * 9 / 10]};
}

void report(const char *what, int runs, Figures f)
{
    std::printf("%-44s runs %5d  median %10.1f us  min %10.1f us  p90 %10.1f us\n", what, runs, f.median,
                f.min, f.p90);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int scale = argc > 1 ? std::max(1, atoi(argv[1])) : 1;

    FakeRandom random(1);
    const QString date = QStringLiteral("8/12/26");

    int dealt = 0;
    const Figures deal = measure(2000 * scale, [&] {
        Lista90 pool;
        Cartella card;
        for (std::int16_t k = 1; k <= 30; ++k) {
            if ((k - 1) % 6 == 0) genera_tombola(pool, random);
            genera_cartella(card, k, pool);
            ordina_colonna(card);
            shift_cartella(pool);
            dealt += card.cella(1, 1).isEmpty() ? 0 : 1;
        }
    });
    report("deal 30 cards (5 shuffles)", 2000 * scale, deal);

    quint32 serie = 0;
    const Figures full = measure(2000 * scale, [&] {
        for (int k = 0; k < 5; ++k) {
            const CardSet set = fullSeries(serie++);
            dealt += set[5].cella(1, 1).isEmpty() ? 0 : 1;
        }
    });
    report("deal 30 cards of full series (5 series)", 2000 * scale, full);

    NullCanvas null;
    const Figures layout = measure(2000 * scale, [&] {
        GameState stato;
        stampa_cartelle(
            30, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, null, date);
    });
    report("30-card run onto a canvas drawing nothing", 2000 * scale, layout);

    qint64 bytes = 0;
    const Figures pdf = measure(30 * scale, [&] {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setResolution(1200);
            writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
            PainterCanvas canvas(writer);
            GameState stato;
            if (!stampa_cartelle(
                    30, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); },
                    canvas, date))
                std::fprintf(stderr, "PDF run failed\n");
        }
        bytes = buffer.size();
    });
    report("30-card run rendered to a PDF (10 pages)", 30 * scale, pdf);
    // The counters keep the measured work from being optimised away.
    std::printf("PDF size %lld bytes (counters %d, %lld)\n", static_cast<long long>(bytes), dealt,
                static_cast<long long>(null.chars()));
    return 0;
}
