// Writes seed inputs for a fuzz target into a folder:
//   fuzz_seeds <target> <folder>
// Pictures are one byte choosing the file's extension, then the file's bytes,
// of every kind the image library reads; scanner frames follow the fuzzer's layout.
#include "codec/freeimage_library.h"
#include "fakes/format_samples.h"
#include "fuzz_entries.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

// The JPEG-XR library's writer copies between overlapping ranges while it sets
// up, in the child process that writes its sample: not ours to report, and its
// report in the fuzzing log would read as a crash of the generator.
extern "C" const char *__asan_default_suppressions()
{
    return "interceptor_via_lib:libjxrglue.so\n";
}

namespace {
bool Write(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// One frame: format, last frame, depth code, pixels per line, lines, bytes per line, data.
QByteArray Frame(int format, int depthCode, int32_t width, int32_t lines, int32_t bpl, int dataBytes)
{
    QByteArray b;
    b.append(char(format)).append(char(1)).append(char(depthCode));
    for (int32_t v : {width, lines, bpl})
        for (int i = 0; i < 4; ++i)
            b.append(char(uint32_t(v) >> (8 * i)));
    b.append(char(dataBytes & 0xFF)).append(char(dataBytes >> 8));
    for (int i = 0; i < dataBytes; ++i)
        b.append(char(i * 29));
    return b;
}

int FrameSeeds(const QString &dir)
{
    // Frame count byte (count - 1), then frames: grey 8, colour 8, line art,
    // grey 16 with unknown line count, three separate colour frames.
    const QByteArray seeds[] = {
        QByteArray(1, 0) + Frame(0, 1, 5, 3, 5, 15),
        QByteArray(1, 0) + Frame(1, 1, 4, 2, 12, 24),
        QByteArray(1, 0) + Frame(0, 0, 10, 2, 2, 4),
        QByteArray(1, 0) + Frame(0, 2, 3, -1, 6, 20),
        QByteArray(1, 2) + Frame(2, 1, 4, 2, 4, 8) + Frame(3, 1, 4, 2, 4, 8) + Frame(4, 1, 4, 2, 4, 8),
    };
    int failures = 0;
    int n = 0;
    for (const QByteArray &s : seeds)
        failures += !Write(dir + QStringLiteral("/seed-%1").arg(n++), s);
    return failures;
}

// A literal with any NUL bytes in it, without its final one.
template <size_t N>
QByteArray B(const char (&s)[N]) { return QByteArray(s, int(N) - 1); }

int TextSeeds(const QString &dir, const std::vector<QByteArray> &seeds)
{
    int failures = 0;
    int n = 0;
    for (const QByteArray &s : seeds)
        failures += !Write(dir + QStringLiteral("/seed-%1").arg(n++), s);
    return failures;
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QByteArray target = argv[1];
    const QString dir = QString::fromLocal8Bit(argv[2]);
    if (target == "frames")
        return FrameSeeds(dir) ? 1 : 0;
    if (target == "settings")
        return TextSeeds(dir, {B("scandpi=300\r\nScanDocFormMetUI=false\r\n[x]\r\nnaam=\xc3\xa9\n"),
                               B("a=b\nA=c\r\n=\r\n\xe9=\xff\r")}) ? 1 : 0;
    if (target == "nextfilename")
        return TextSeeds(dir, {B("\x03" "scan009.jpg"), B("\x01" "scan99999999999999999999"),
                               B("\x05" "doc.tar.gz"), B("\x02\xd9\xa3\xd9\xa4" ".bmp")}) ? 1 : 0;
    if (target == "texts")
        return TextSeeds(dir, {B("\x01" "Zoek $Plaats$#$$#en $prog$"),
                               B("\x00" "aAaAa\0a\0aa"),
                               B("\x02" "jan van der berg-de vries (o'neil)\0van\0Van")}) ? 1 : 0;
    if (target != "loadpicture")
        return 0;
    // A small file of every kind the image library reads, and one that overruns it.
    QTemporaryDir work;
    BindImageLibrary();
    std::vector<FormatSample> samples = FormatSamples(work.path());
    samples.push_back({"pct", format_samples::Pict(), {}});
    int failures = 0;
    for (const FormatSample &sample : samples) {
        const int kind = PictureExtensionIndex(sample.extension);
        if (kind < 0 || !Write(dir + "/seed-" + sample.extension, QByteArray(1, char(kind)) + sample.bytes))
            ++failures;
    }
    return failures ? 1 : 0;
}
