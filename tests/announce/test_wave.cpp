#include "announce/wave.h"

#include <QFile>
#include <QTest>

Q_DECLARE_METATYPE(SampleFormat)

namespace
{

QByteArray le16(unsigned v)
{
    const char bytes[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
    return QByteArray(bytes, 2);
}
QByteArray le32(quint32 v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

QByteArray chunk(const char *id, const QByteArray &body, qint64 declared = -1)
{
    QByteArray c = QByteArray(id, 4) + le32(declared < 0 ? quint32(body.size()) : quint32(declared)) + body;
    if (body.size() % 2 && declared < 0) c += '\0';
    return c;
}

QByteArray wave(const QByteArray &chunks, quint32 riffSize = 0)
{
    return "RIFF" + le32(riffSize ? riffSize : quint32(4 + chunks.size())) + "WAVE" + chunks;
}

// A "fmt " body; blockAlign -1 is the consistent value.
QByteArray fmt(unsigned tag, unsigned channels, quint32 rate, unsigned bits, int blockAlign = -1)
{
    const unsigned align = blockAlign < 0 ? channels * bits / 8 : unsigned(blockAlign);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

const QByteArray kGuidTail = QByteArray::fromHex("000000001000800000aa00389b71");

QByteArray extensible(unsigned realTag, unsigned channels, quint32 rate, unsigned bits, unsigned validBits,
                      unsigned cbSize = 22, const QByteArray &tail = kGuidTail)
{
    return fmt(0xFFFE, channels, rate, bits) + le16(cbSize) + le16(validBits) + le32(0x3) + le16(realTag) +
           tail;
}

QByteArray samples(int n)
{
    return QByteArray(n, '\x40');
}

std::optional<WaveInfo> parse(const QByteArray &image)
{
    return parseWave(reinterpret_cast<const unsigned char *>(image.constData()), size_t(image.size()));
}

} // namespace

class TestWave : public QObject
{
    Q_OBJECT

private slots:
    void acceptsPlayableImages_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");

        QTest::newRow("8-bit mono") << wave(chunk("fmt ", fmt(1, 1, 22050, 8)) + chunk("data", samples(100)))
                                    << 1 << 22050 << 8 << SampleFormat::UInt8 << 44 << 100;
        QTest::newRow("16-bit stereo")
            << wave(chunk("fmt ", fmt(1, 2, 44100, 16)) + chunk("data", samples(400))) << 2 << 44100 << 16
            << SampleFormat::Int16 << 44 << 400;
        QTest::newRow("32-bit integer")
            << wave(chunk("fmt ", fmt(1, 1, 48000, 32)) + chunk("data", samples(40))) << 1 << 48000 << 32
            << SampleFormat::Int32 << 44 << 40;
        QTest::newRow("32-bit float, fmt of 18 bytes and a fact chunk")
            << wave(chunk("fmt ", fmt(3, 2, 32000, 32) + le16(0)) + chunk("fact", le32(5)) +
                    chunk("data", samples(40)))
            << 2 << 32000 << 32 << SampleFormat::Float32 << 58 << 40;
        QTest::newRow("extensible 16-bit PCM")
            << wave(chunk("fmt ", extensible(1, 2, 22050, 16, 16)) + chunk("data", samples(8))) << 2 << 22050
            << 16 << SampleFormat::Int16 << 68 << 8;
        QTest::newRow("extensible float, 24 valid bits of 32")
            << wave(chunk("fmt ", extensible(3, 1, 8000, 32, 24)) + chunk("data", samples(8))) << 1 << 8000
            << 32 << SampleFormat::Float32 << 68 << 8;
        QTest::newRow("odd-length chunks before fmt and data, padded")
            << wave(chunk("LIST", "abc") + chunk("fmt ", fmt(1, 1, 11025, 8)) + chunk("junk", "x") +
                    chunk("data", samples(10)))
            << 1 << 11025 << 8 << SampleFormat::UInt8 << 66 << 10;
        QTest::newRow("odd data chunk last, pad byte missing")
            << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("data", samples(9)).chopped(1)) << 1 << 8000
            << 8 << SampleFormat::UInt8 << 44 << 9;
        QTest::newRow("data before fmt")
            << wave(chunk("data", samples(6)) + chunk("fmt ", fmt(1, 1, 8000, 8))) << 1 << 8000 << 8
            << SampleFormat::UInt8 << 20 << 6;
        QTest::newRow("streamed: data 0x7FFFFFFF, RIFF 0x7FFFFFFF")
            << wave(chunk("fmt ", fmt(1, 1, 22050, 16)) + chunk("data", samples(300), 0x7FFFFFFF), 0x7FFFFFFF)
            << 1 << 22050 << 16 << SampleFormat::Int16 << 44 << 300;
        QTest::newRow("streamed: data 0xFFFFFFFF, a partial frame at the end")
            << wave(chunk("fmt ", fmt(1, 2, 22050, 16)) + chunk("data", samples(403), 0xFFFFFFFF)) << 2
            << 22050 << 16 << SampleFormat::Int16 << 44 << 400;
        QTest::newRow("streamed: espeak-ng's 0x7FFFF000")
            << wave(chunk("fmt ", fmt(1, 1, 22050, 16)) + chunk("data", samples(64), 0x7FFFF000)) << 1
            << 22050 << 16 << SampleFormat::Int16 << 44 << 64;
        QTest::newRow("data length not a whole number of frames")
            << wave(chunk("fmt ", fmt(1, 2, 8000, 16)) + chunk("data", samples(10))) << 2 << 8000 << 16
            << SampleFormat::Int16 << 44 << 8;
        QTest::newRow("empty data") << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("data", {})) << 1
                                    << 8000 << 8 << SampleFormat::UInt8 << 44 << 0;
        QTest::newRow("a truncated chunk after the data")
            << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("data", samples(4)) + chunk("LIST", "ab", 1000))
            << 1 << 8000 << 8 << SampleFormat::UInt8 << 44 << 4;
        QTest::newRow("8 channels at 384000 Hz")
            << wave(chunk("fmt ", fmt(1, 8, 384000, 16)) + chunk("data", samples(32))) << 8 << 384000 << 16
            << SampleFormat::Int16 << 44 << 32;
        QTest::newRow("1 Hz") << wave(chunk("fmt ", fmt(1, 1, 1, 8)) + chunk("data", samples(2))) << 1 << 1
                              << 8 << SampleFormat::UInt8 << 44 << 2;
    }
    void acceptsPlayableImages()
    {
        QFETCH(QByteArray, image);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(SampleFormat, format);
        QFETCH(int, offset);
        QFETCH(int, length);
        const auto info = parse(image);
        QVERIFY(info.has_value());
        QCOMPARE(info->channels, channels);
        QCOMPARE(info->sampleRate, quint32(rate));
        QCOMPARE(info->bitsPerSample, bits);
        QCOMPARE(info->format, format);
        QCOMPARE(info->blockAlign, channels * bits / 8);
        QCOMPARE(info->dataOffset, size_t(offset));
        QCOMPARE(info->dataLength, size_t(length));
    }

    void refusesUnplayableImages_data()
    {
        QTest::addColumn<QByteArray>("image");
        const QByteArray data = chunk("data", samples(16));
        const auto withFmt = [&](const QByteArray &body) { return wave(chunk("fmt ", body) + data); };

        QTest::newRow("empty") << QByteArray();
        QTest::newRow("11 bytes") << QByteArray("RIFF\0\0\0\0WAV", 11);
        QTest::newRow("RIFX") << "RIFX" + wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + data).mid(4);
        QTest::newRow("not WAVE") << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + data).replace(8, 4, "AVI ");
        QTest::newRow("header only") << wave({});
        QTest::newRow("no fmt") << wave(data);
        QTest::newRow("no data") << wave(chunk("fmt ", fmt(1, 1, 8000, 8)));
        QTest::newRow("data chunk header cut") << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + "data\x10\0");
        QTest::newRow("data truncated")
            << wave(chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("data", samples(16), 1000));
        QTest::newRow("fmt truncated") << wave(chunk("fmt ", fmt(1, 1, 8000, 8).left(10), 16));
        QTest::newRow("fmt shorter than 16") << withFmt(fmt(1, 1, 8000, 8).left(14));
        QTest::newRow("a chunk before fmt runs past the end")
            << wave(chunk("LIST", "abcd", 0x7FFFFFF0) + chunk("fmt ", fmt(1, 1, 8000, 8)) + data);
        QTest::newRow("0 channels") << withFmt(fmt(1, 0, 8000, 8, 1));
        QTest::newRow("9 channels") << withFmt(fmt(1, 9, 8000, 8));
        QTest::newRow("rate 0") << withFmt(fmt(1, 1, 0, 8));
        QTest::newRow("rate 384001") << withFmt(fmt(1, 1, 384001, 8));
        QTest::newRow("24-bit PCM") << withFmt(fmt(1, 1, 8000, 24));
        QTest::newRow("12-bit PCM") << withFmt(fmt(1, 1, 8000, 12, 2));
        QTest::newRow("0-bit PCM") << withFmt(fmt(1, 1, 8000, 0, 1));
        QTest::newRow("ADPCM") << withFmt(fmt(2, 1, 8000, 4, 256));
        QTest::newRow("mu-law") << withFmt(fmt(7, 1, 8000, 8));
        QTest::newRow("16-bit float") << withFmt(fmt(3, 1, 8000, 16));
        QTest::newRow("64-bit float") << withFmt(fmt(3, 1, 8000, 64));
        QTest::newRow("block align too small") << withFmt(fmt(1, 2, 8000, 16, 2));
        QTest::newRow("block align 0") << withFmt(fmt(1, 1, 8000, 8, 0));
        QTest::newRow("extensible cut at 18 bytes") << withFmt(fmt(0xFFFE, 1, 8000, 16) + le16(0));
        QTest::newRow("extensible with cbSize 0") << withFmt(extensible(1, 1, 8000, 16, 16, 0));
        QTest::newRow("extensible, unknown subformat GUID") << withFmt(
            extensible(1, 1, 8000, 16, 16, 22, QByteArray::fromHex("000000001000800000aa00389b72")));
        QTest::newRow("extensible ADPCM") << withFmt(extensible(2, 1, 8000, 16, 16));
        QTest::newRow("extensible with more valid bits than bits") << withFmt(extensible(1, 1, 8000, 16, 20));
        QTest::newRow("extensible inside extensible") << withFmt(extensible(0xFFFE, 1, 8000, 16, 16));
    }
    void refusesUnplayableImages()
    {
        QFETCH(QByteArray, image);
        QVERIFY(!parse(image).has_value());
    }

    // Every prefix of a good image is either refused or read within its bytes; run under ASan this
    // also shows that nothing past the end is read. A cut data chunk is refused unless its length
    // is a streaming placeholder, in which case the whole frames present are taken.
    void truncatedImagesStayInsideTheirBytes_data()
    {
        QTest::addColumn<bool>("streamed");
        QTest::newRow("declared length") << false;
        QTest::newRow("streamed length") << true;
    }
    void truncatedImagesStayInsideTheirBytes()
    {
        QFETCH(bool, streamed);
        const QByteArray head = chunk("LIST", "abc") + chunk("fmt ", extensible(1, 2, 8000, 16, 16));
        const QByteArray image = wave(head + chunk("data", samples(40), streamed ? 0x7FFFFFFF : -1));
        const qsizetype dataOffset = 12 + head.size() + 8;
        QVERIFY(parse(image).has_value());
        for (qsizetype n = 0; n < image.size(); ++n) {
            // A copy on the heap with nothing after it, so ASan sees an overread.
            std::vector<unsigned char> exact(image.begin(), image.begin() + n);
            const auto info = parseWave(exact.data(), exact.size());
            const bool expected = streamed && n >= dataOffset;
            QCOMPARE(info.has_value(), expected);
            if (info) {
                QCOMPARE(info->dataOffset, size_t(dataOffset));
                QCOMPARE(info->dataLength, size_t((n - dataOffset) / 4 * 4));
            }
        }
        QVERIFY(!parseWave(nullptr, 0).has_value());
    }

    void durationFollowsFramesAndRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<qulonglong>("micros");
        QTest::newRow("1 s of 8-bit mono") << 22050 << 1 << 8 << 22050 << 1000000ull;
        QTest::newRow("0.5 s of 16-bit stereo") << 44100 << 2 << 16 << 88200 << 500000ull;
        QTest::newRow("3 frames round down") << 44100 << 1 << 8 << 3 << 68ull;
        QTest::newRow("0.7 s of 8-bit at 32000") << 32000 << 1 << 8 << 22400 << 700000ull;
        QTest::newRow("empty") << 8000 << 1 << 8 << 0 << 0ull;
    }
    void durationFollowsFramesAndRate()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, bytes);
        QFETCH(qulonglong, micros);
        const auto info =
            parse(wave(chunk("fmt ", fmt(1, channels, rate, bits)) + chunk("data", samples(bytes))));
        QVERIFY(info.has_value());
        QCOMPARE(info->durationUs(), micros);
        QVERIFY(qAbs(info->durationSeconds() - double(micros) / 1e6) < 1e-6);
    }

    // A streamed length near 4 GiB at 1 Hz must not overflow the duration.
    void hugeStreamedLengthDoesNotOverflow()
    {
        WaveInfo info;
        info.channels = 1;
        info.sampleRate = 1;
        info.bitsPerSample = 8;
        info.blockAlign = 1;
        info.dataLength = 0xFFFFFFFFu;
        QCOMPARE(info.durationUs(), 0xFFFFFFFFull * 1000000ull);
    }

    // Files written by sox, a real writer, in the formats the clips use.
    void readsFilesWrittenBySox_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<qulonglong>("micros");
        QTest::newRow("TONO_U8") << "TONO_U8.wav" << 1 << 22050 << SampleFormat::UInt8 << 1000000ull;
        QTest::newRow("TONO_S16") << "TONO_S16.wav" << 2 << 16000 << SampleFormat::Int16 << 600000ull;
        QTest::newRow("TONO_F32") << "TONO_F32.wav" << 1 << 11025 << SampleFormat::Float32 << 499954ull;
    }
    void readsFilesWrittenBySox()
    {
        QFETCH(QString, file);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(SampleFormat, format);
        QFETCH(qulonglong, micros);
        QFile f(QStringLiteral(TOMBOLA_TEST_DATA "/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray image = f.readAll();
        const auto info = parse(image);
        QVERIFY(info.has_value());
        QCOMPARE(info->channels, channels);
        QCOMPARE(info->sampleRate, quint32(rate));
        QCOMPARE(info->format, format);
        QCOMPARE(info->durationUs(), micros);
        QCOMPARE(info->dataOffset + info->dataLength, size_t(image.size()));
    }
};

QTEST_GUILESS_MAIN(TestWave)
#include "test_wave.moc"
