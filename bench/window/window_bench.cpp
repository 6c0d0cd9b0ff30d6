// The scan window's own actions, driven through its buttons on the offscreen
// platform, against the cost of their core alone measured in the same run.
// An A4 page with eight cards comes from an in-process scanner that writes it
// with the scanner library's own BMP writer. Each action ends when the preview
// has painted its result. Prints one line per action:
//   "name: window X ms, CORE Y ms, ratio Z" (medians of 5).
// Usage: bench_window [runs [part of a line's name]]
#include "bench_page.h"
#include "bench_scene.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "dialogs/qt_prompts.h"
#include "fakes/fake_outside.h"
#include "fakes/fake_scanner.h"
#include "fakes/temp_program.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "imaging/save_queue.h"
#include "ocr/card_text_reader.h"
#include "scanner/bridge/bmp_writer.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/scanform.h"
#include "scanform_probe.h"
#include "ui_scanform.h"
#include "common/settings_list.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QLayout>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

int g_runs = 5;
QString g_only;   // runs only the lines whose name holds this

bool Wanted(const QString &name) { return name.contains(g_only); }

// The scanner writes its page as the scanner library does.
class PageScanner : public FakeScanner {
public:
    QImage page;
    int dpi = 300;
    int AcquireToFilename(void *, const QString &path) override { return WriteBmp(page, dpi, path).isEmpty(); }
};

// Every question answered Yes (or by the answer set for it), the open dialog
// chooses openFile; busy and progress windows are the real ones.
class BenchPrompts : public QtPrompts {
public:
    ModalResult yesNoAnswer = ModalResult::Yes;
    QString openFile;
    ModalResult notice(const QString &text, const QString &) override
    {
        std::fprintf(stderr, "  notice: %s\n", qPrintable(text));
        return ModalResult::Ok;
    }
    ModalResult yesNo(const QString &, const QString &, ModalResult) override { return yesNoAnswer; }
    QString openFileName(const QString &, const QString &, const QString &) override { return openFile; }
};

// Counts the preview's paints, so an action is timed until its result is on screen.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

struct Line {
    double window = 0, core = 0;
    double paint = 0;   // of the window's time, the preview's painting at its end (mean)
};

// The painting that ends each action, summed over a comparison.
double g_paintMs = 0;
int g_paints = 0;

// The window's action and its core take turns, so that a change in the
// machine's load (or the disk's writing back) hits both alike.
Line Compare(const Timed &window, const Timed &core)
{
    g_paintMs = 0;
    g_paints = 0;
    const std::vector<double> m = MediansMs(g_runs, {window, core});
    return {m[0], m[1], g_paints ? g_paintMs / g_paints : 0};
}

void Print(const QString &name, const Line &l, const char *core)
{
    std::printf("%s: window %.1f ms, %s %.1f ms, ratio %.2f", qPrintable(name), l.window, core, l.core,
                l.window / l.core);
    if (l.paint > 0)
        std::printf(" (of the window's time painting %.1f ms)", l.paint);
    std::printf("\n");
    std::fflush(stdout);
}

// The backs carry printed lines, so that reading them reads text.
std::vector<SyntheticCard> Backs(double scale)
{
    std::vector<SyntheticCard> cards = bench::Cards(scale, int(60 * scale), int(40 * scale));
    int n = 0;
    for (SyntheticCard &c : cards) {
        c.look = CardLook::Prayer;
        c.lines = {QStringLiteral("Ter nagedachtenis aan"), QStringLiteral("Johanna Maria de Vries %1").arg(++n),
                   QStringLiteral("geboren te Utrecht 3 mei 1901"), QStringLiteral("overleden te Zeist 9 juni 1977")};
        c.emphasis = 1;
    }
    return cards;
}

class WindowBench {
public:
    WindowBench()
    {
        PreviewFilePath = program.temp() + "preview.bmp";
        ProductTitle = QStringLiteral("Vexlo Scan Tool");
        setPrompts(&answers);
    }
    ~WindowBench() { setPrompts(nullptr); }

    void startUp();
    void programStart();
    void atResolution(int dpi);
    void openLarge();
    void close();

private:
    Ui::TScanform &ui() { return form->controls(); }
    void makeForm();
    // Lets the window paint what the action left, until the preview has painted.
    void shown();
    void scan(int dpi, bool back, ModalResult answer);
    void series(int dpi, const DetectionSettings &ds, const QImage &front);
    void seriesSave(const QString &name, const QImage &front, const ScanBoxList &fronts, bool straighten);

    TempProgram program;
    FakeOutside outsideWorld;
    PageScanner scanner;
    BenchPrompts answers;
    PaintCounter painted;
    std::unique_ptr<TScanform> form;
    QImage frontPage, backPage;
    int folders = 0;
};

void WindowBench::makeForm()
{
    form.reset();
    form = std::make_unique<TScanform>();
    form->resize(1024, 740);
    form->layout()->activate();
    ui().Image1->installEventFilter(&painted);
    form->show();
}

void WindowBench::shown()
{
    const auto start = std::chrono::steady_clock::now();
    const int before = painted.paints;
    for (int i = 0; i < 100 && painted.paints == before; ++i)
        QApplication::processEvents();
    g_paintMs += bench::Millis(std::chrono::steady_clock::now() - start);
    ++g_paints;
}

void WindowBench::startUp()
{
    if (!Wanted(QStringLiteral("start-up")))
        return;
    // The first window of the process pays for loading the scanner library and
    // the fonts; the median is of windows made afresh after it.
    const auto start = std::chrono::steady_clock::now();
    makeForm();
    shown();
    const double first = bench::Millis(std::chrono::steady_clock::now() - start);
    const Line l = Compare({[this] {
                                makeForm();
                                shown();
                            },
                            [this] { form.reset(); }},
                           {[] {}, {}});
    Print(QStringLiteral("start-up-first"), {first, 1000}, "limit");
    Print(QStringLiteral("start-up"), {l.window, 1000}, "limit");
}

// The program itself started afresh until its scan window is shown. The
// window tells through the geometry file that end-to-end scripts read, written
// within a quarter second of its showing: the figure is an upper bound.
void WindowBench::programStart()
{
    if (!Wanted(QStringLiteral("start-up-program")))
        return;
    QTemporaryDir home;
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) {
        const QString dump = home.filePath(QStringLiteral("geometrie%1.txt").arg(i));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("KVNSCAN_DUMP_GEOMETRY"), dump);
        QProcess started;
        started.setProcessEnvironment(env);
        QFileSystemWatcher watcher({home.path()});
        QEventLoop loop;
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
            if (QFileInfo::exists(dump))
                loop.quit();
        });
        QObject::connect(&started, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        const auto start = std::chrono::steady_clock::now();
        started.start(QStringLiteral(KVN_PROGRAM), {});
        loop.exec();
        times.push_back(bench::Millis(std::chrono::steady_clock::now() - start));
        if (!QFileInfo::exists(dump))
            std::printf("  the program showed no window (%s)\n", qPrintable(started.errorString()));
        started.kill();
        started.waitForFinished();
    }
    std::sort(times.begin(), times.end());
    Print(QStringLiteral("start-up-program"), {times[times.size() / 2], 1000}, "limit");
}

void WindowBench::close()
{
    if (!Wanted(QStringLiteral("sluiten")))
        return;
    SettingsList settings;
    const QString file = program.path(QStringLiteral("bench.ini"));
    const Line l = Compare({[&] {
                                // Sluiten is pressed once the modal run has begun; its time is the run's end.
                                QTimer::singleShot(0, form.get(), [this] { ui().Cancelbut->click(); });
                                form->Execute({}, {}, {}, program.folder(), program.folder(), 90, &settings, true);
                                SaveSettingsAtEnd(settings);
                            },
                            [this] { makeForm(); }},
                           {[&] { settings.saveToFile(file); }, {}});
    Print(QStringLiteral("sluiten"), l, "writing the settings");
}

void WindowBench::scan(int dpi, bool back, ModalResult answer)
{
    scanner.page = back ? backPage : frontPage;
    scanner.dpi = dpi;
    answers.yesNoAnswer = answer;
    (back ? ui().scanachterkant : ui().Scanbut)->click();
    shown();
}

void WindowBench::atResolution(int dpi)
{
    const double s = dpi / 600.0;
    const int w = int(bench::PageWidth * s), h = int(bench::PageHeight * s);
    frontPage = bench::Scan(w, h, bench::Cards(s), 7);
    backPage = bench::Scan(w, h, Backs(s), 9);
    const QString tag = QStringLiteral("-%1dpi").arg(dpi);
    makeForm();
    ui().bidprentmode->setChecked(false);
    ui().dpi->setText(QString::number(dpi));
    ui().dpiachter->setText(QString::number(dpi));

    const QString transfer = program.temp() + "bench.bmp";
    if (Wanted("scan-shown" + tag)) {
        const Line l = Compare({[&] { scan(dpi, false, ModalResult::Yes); }, {}}, {[&] {
                                                                                    QImage read;
                                                                                    WriteBmp(frontPage, dpi, transfer);
                                                                                    LoadScanPicture(read, transfer);
                                                                                },
                                                                                {}});
        Print("scan-shown" + tag, l, "writing and reading the transfer file");
    } else {
        scan(dpi, false, ModalResult::Yes);
    }

    const struct {
        const char *name;
        QPushButton *button;
        void (*turn)(QImage &);
    } turns[] = {
        {"quarter-turn", ui().BitBtn3, [](QImage &p) { RotateQuarterRight(p); }},
        {"half-turn", ui().BitBtn1, [](QImage &p) { RotateHalf(p); }},
    };
    for (const auto &t : turns) {
        if (!Wanted(t.name + tag))
            continue;
        QImage turned;
        const Line l = Compare({[&] {
                                    t.button->click();
                                    shown();
                                },
                                {}},
                               {[&] { t.turn(turned); }, [&] { turned = frontPage.copy(); }});
        turned = QImage();
        Print(t.name + tag, l, "the turn");
    }

    // Series mode: Herverdeel with the boxes confirmed no further.
    ui().bidprentmode->setChecked(true);
    ui().akol->setText(QStringLiteral("2"));
    // Cards numbered kaart001.JPG on, no restart, no name question, backs scanned apart.
    ui().fnedit->setText(QStringLiteral("kaart"));
    ui().numdig->setText(QStringLiteral("3"));
    ui().bestandstype->setCurrentIndex(0);
    ui().zetdoor->setChecked(true);
    ui().herstart->setChecked(false);
    ui().altijdfnvraag->setChecked(false);
    ui().gelijkachterkant->setChecked(false);
    scan(dpi, false, ModalResult::No);
    DetectionSettings ds;
    ds.background = unsigned(ui().achtergrondkleur->colour());
    ds.tolerance = ui().kleurgrensspin->limitedValue();
    ds.minSize = ui().maxmagspin->limitedValue();
    ds.marginPercent = ui().witrandspin->limitedValue();
    ds.columns = ui().akol->limitedValue();
    answers.yesNoAnswer = ModalResult::No;
    if (Wanted("herverdeel" + tag)) {
        ScanBoxList found;
        const Line l = Compare({[&] {
                                    ui().Testverdeling->click();
                                    shown();
                                },
                                {}},
                               {[&] {
                                    found = DetectItems(frontPage, {0, 0, w, h}, ds);
                                    OrderBoxes(found, ds.columns);
                                },
                                {}});
        Print(QStringLiteral("herverdeel-%1-cards").arg(found.size()) + tag, l, "detection");
    }
    series(dpi, ds, frontPage);
}

void WindowBench::series(int dpi, const DetectionSettings &ds, const QImage &front)
{
    const QString tag = QStringLiteral("-%1dpi").arg(dpi);
    ScanBoxList fronts = DetectItems(front, {0, 0, front.width(), front.height()}, ds);
    OrderBoxes(fronts, ds.columns);
    ui().Memo1->setPlainText(QStringLiteral("Bidprentjes van de familie de Vries"));
    for (bool straighten : {false, true})
        if (Wanted("series-save" + tag))
            seriesSave("series-save-8" + QString(straighten ? "-straight-sides" : "") + tag, front, fronts, straighten);

    if (!Wanted("read-backs" + tag))
        return;
    // Reading the backs: the window's reader and its wait, against the reader alone.
    ScanformProbe probe{*form};
    std::vector<QRect> rects;
    for (const ScanBox &b : probe.boxes())
        rects.push_back(QRect(b.left, b.top, b.width(), b.height()));
    ui().tekstachterkantlezen->setChecked(true);
    const Line l = Compare({[&] { probe.readBacks(); }, {}}, {[&] {
                                                                 CardTextReader reader;
                                                                 reader.start(CardTextReader::CutBacks(backPage, rects),
                                                                              dpi, QStringLiteral("nld"));
                                                                 for (int i = 0; i < reader.cardCount(); ++i)
                                                                     reader.waitFor(i);
                                                             },
                                                             {}});
    ui().tekstachterkantlezen->setChecked(false);
    Print(QStringLiteral("read-backs-%1").arg(rects.size()) + tag, l, "the reader alone");
}

void WindowBench::seriesSave(const QString &name, const QImage &front, const ScanBoxList &fronts, bool straighten)
{
    ui().kaartenrechtzetten->setChecked(straighten);
    ui().lossekanten->setChecked(straighten);
    ui().maakachtergrondwitcheck->setChecked(true);
    // The fronts confirmed, the backs scanned and found: what is timed is Opslaan.
    scan(ui().dpi->text().toInt(), false, ModalResult::Yes);
    QString windowFolder;
    const auto prepare = [&] {
        windowFolder = program.folder() + QStringLiteral("serie%1/").arg(++folders);
        QDir().mkpath(windowFolder);
        ui().doelmap->setText(windowFolder);
        scan(ui().dpi->text().toInt(), true, ModalResult::No);
    };
    prepare();
    CutOutSettings cs;
    cs.whiten = true;
    cs.key = BackgroundKey::fromColour(unsigned(ui().achtergrondkleur->colour()), ui().kleurgrensspin->limitedValue());
    cs.background = unsigned(ui().achtergrondkleur->colour());
    cs.columns = ui().akol->limitedValue();
    cs.straighten = cs.sides = straighten;
    ScanformProbe probe{*form};
    const ScanBoxList backs0 = probe.boxes();
    const QString folder = program.folder() + QStringLiteral("kern%1/").arg(++folders);
    QDir().mkpath(folder);
    QImage frontCopy;   // whitened in place, as the window's own front scan
    ScanBoxList backs;
    const auto core = [&] {
        const FrontSide side{&frontCopy, &fronts, int(fronts.size())};
        PictureSaveQueue saves;
        int n = 0;
        CutOutBoxes(backPage, backs, int(backs.size()), &side, cs, [&](const CardPictures &c) {
            const QString base = folder + QStringLiteral("kaart%1").arg(++n, 3, 10, QChar('0'));
            saves.save(c.joined, base + ".JPG", 90, 300, {});
            if (straighten) {
                saves.save(c.front, base + "-voorkant.JPG", 90, 300, {});
                saves.save(c.back, base + "-achterkant.JPG", 90, 300, {});
            }
        });
        saves.finish();
    };
    const Line l = Compare({[&] {
                                ui().save->click();
                                shown();
                            },
                            prepare},
                           {core, [&] {
                                frontCopy = front.copy();
                                backs = backs0;
                            }});
    const qsizetype written = QDir(windowFolder).entryList({QStringLiteral("*.JPG")}).size();
    if (written != QDir(folder).entryList({QStringLiteral("*.JPG")}).size())
        std::printf("  the window wrote %d files, the core %d\n", int(written),
                    int(QDir(folder).entryList({QStringLiteral("*.JPG")}).size()));
    Print(name, l, "cut-out and encoding");
}

void WindowBench::openLarge()
{
    if (!Wanted(QStringLiteral("open")))
        return;
    // A 100-megapixel JPEG, made once.
    const QString file = program.path(QStringLiteral("groot.jpg"));
    SavePictureFile(bench::Scan(10000, 10000, bench::Cards(2.0), 3), file, 90, 600);
    makeForm();
    answers.openFile = file;
    answers.yesNoAnswer = ModalResult::Yes;
    const Line l = Compare({[&] {
                                ui().openfileknop->click();
                                shown();
                            },
                            {}},
                           {[&] {
                                QImage read;
                                LoadPictureFile(read, file);
                            },
                            // The window's preview file, written after the picture
                            // shows, ends before the decoder runs.
                            [&] { form->awaitPreviewFile(); }});
    Print(QStringLiteral("open-100mp-jpeg"), l, "decoding in the decoder");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    if (argc > 2)
        g_only = QString::fromLocal8Bit(argv[2]);
    WindowBench bench;
    bench.programStart();
    bench.startUp();
    for (int dpi : {300, 600})
        bench.atResolution(dpi);
    bench.openLarge();
    bench.close();
    return 0;
}
