// The developer aid that tells end-to-end scripts where the controls are.
#include "scanwindow/geometry_dump.h"
#include "scanwindow/preview_image.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

namespace {

QStringList linesOf(const QString &text) { return text.split('\n', Qt::SkipEmptyParts); }

QString lineNamed(const QString &text, const QString &name)
{
    for (const QString &line : linesOf(text))
        if (line.section(' ', 0, 0) == name)
            return line;
    return {};
}

struct Window {
    QWidget top;
    QPushButton *button = new QPushButton(QStringLiteral("Scan\r\nachterkant"), &top);
    QCheckBox *check = new QCheckBox(QStringLiteral("Serie scans"), &top);
    QLineEdit *edit = new QLineEdit(QStringLiteral("kaart 7"), &top);
    QWidget *hidden = new QWidget(&top);
    QWidget *unnamed = new QWidget(&top);
    PreviewImage *preview = new PreviewImage(&top);
    QPlainTextEdit *memo = new QPlainTextEdit(QStringLiteral("Bidprentje\nvan opa"), &top);
    Window()
    {
        memo->setObjectName("Memo1");
        preview->setObjectName("Image1");
        preview->setGeometry(200, 20, 100, 100);
        preview->setPicture(QImage(30, 20, QImage::Format_RGB32));
        top.setObjectName("Scanform");
        top.setWindowTitle("Vexlo Scan Tool 4.2");
        button->setObjectName("scanachterkant");
        check->setObjectName("bidprentmode");
        edit->setObjectName("fnedit");
        hidden->setObjectName("Panel2");
        top.setGeometry(100, 50, 400, 300);
        button->setGeometry(10, 20, 80, 30);
        check->setGeometry(10, 60, 120, 20);
        check->setChecked(true);
        edit->setGeometry(10, 90, 150, 22);
        hidden->hide();
        button->setEnabled(false);
    }
};

TEST(GeometryDump, NamedControlsWithScreenPlaceStateAndValue)
{
    Window w;
    w.top.show();
    const QString text = GeometryDumpText(&w.top);
    const QPoint origin = w.top.mapToGlobal(QPoint(0, 0));

    EXPECT_EQ(linesOf(text).first(), QStringLiteral("Scanform %1 %2 400 300 1 1 Vexlo Scan Tool 4.2")
                                         .arg(origin.x())
                                         .arg(origin.y()));
    EXPECT_EQ(lineNamed(text, "scanachterkant"),
              QStringLiteral("scanachterkant %1 %2 80 30 1 0 Scan\\nachterkant")
                  .arg(origin.x() + 10)
                  .arg(origin.y() + 20));
    EXPECT_EQ(lineNamed(text, "bidprentmode").section(' ', 5), "1 1 true");
    // A value with blanks stays whole at the end of the line.
    EXPECT_EQ(lineNamed(text, "fnedit").section(' ', 7), "kaart 7");
    EXPECT_EQ(lineNamed(text, "Panel2").section(' ', 5, 6), "0 1");
    // Lines of a memo stay on one line of the file.
    EXPECT_EQ(lineNamed(text, "Memo1").section(' ', 7), "Bidprentje\\nvan opa");
    // The preview tells the size of its picture, not of the control.
    EXPECT_EQ(lineNamed(text, "Image1").section(' ', 3), "100 100 1 1 30x20");
    // Unnamed widgets and Qt's inner parts are left out.
    for (const QString &line : linesOf(text))
        EXPECT_FALSE(line.isEmpty() || line.startsWith("qt_") || line.startsWith(' ')) << line.toStdString();
    EXPECT_EQ(linesOf(text).size(), 7);
}

TEST(GeometryDump, FileFollowsTheWindowOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("geometry.txt");
    {
        qunsetenv("KVNSCAN_DUMP_GEOMETRY");
        Window w;
        InstallGeometryDump(&w.top);
        w.top.show();
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(50);
        }
        EXPECT_FALSE(QFile::exists(path));
    }

    qputenv("KVNSCAN_DUMP_GEOMETRY", path.toLocal8Bit());
    Window w;
    InstallGeometryDump(&w.top);
    qunsetenv("KVNSCAN_DUMP_GEOMETRY");
    w.top.show();
    auto waitFor = [&](const QString &expected) {
        QElapsedTimer clock;
        clock.start();
        QString text;
        while (clock.elapsed() < 20000) {
            QCoreApplication::processEvents();
            QFile f(path);
            if (f.open(QIODevice::ReadOnly)) {
                text = QString::fromUtf8(f.readAll());
                if (lineNamed(text, "bidprentmode").endsWith(expected))
                    return true;
            }
            QThread::msleep(20);
        }
        ADD_FAILURE() << text.toStdString();
        return false;
    };
    ASSERT_TRUE(waitFor(" true"));
    // A later change of a control reaches the file too.
    w.check->setChecked(false);
    EXPECT_TRUE(waitFor(" false"));
}

} // namespace
